// Modal message boxes: USER32's on Windows; without a windowing system a
// box is shown as one line on standard error. Tests install a sink that
// captures the texts.
#ifndef VELORA_PLATFORM_MESSAGEBOX_H
#define VELORA_PLATFORM_MESSAGEBOX_H

// Button and icon flags, with the values the Windows interface gives them.
enum : unsigned {
  kMbOk = 0x0000,
  kMbIconStop = 0x0010,
  kMbIconExclamation = 0x0030,
};

// Shows text with caption and the given flags and returns the button chosen
// (1, "OK": the only button the driver offers). owner may be null.
int VelMessageBox(void* owner, const char* text, const char* caption, unsigned flags);

// The system's display of a box (MessageBoxPosix.cpp, MessageBoxWin32.cpp).
int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned flags);

// Receives every box instead of the default display while installed.
typedef void (*MessageBoxSink)(void* context, const char* caption, const char* text,
                               unsigned flags);
// Installs sink (null restores the default display on standard error).
void SetMessageBoxSink(MessageBoxSink sink, void* context);

#endif
