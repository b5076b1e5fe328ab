// The terminal dialog host: shows a dialog on the process's controlling
// terminal (caption, read-only fields), asks for each writable field (a
// masked field without echo) and presses the default button; end of input
// presses Cancel.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/DialogHost.h"

namespace {

constexpr int kLineSize = 256;

void Put(int fd, const char* text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    ssize_t n = write(fd, text, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    left -= static_cast<std::size_t>(n);
  }
}

// Reads one line without its newline into line; false at end of input.
bool ReadLine(int fd, char* line, int size) {
  int used = 0;
  bool any = false;
  for (;;) {
    char ch;
    ssize_t n = read(fd, &ch, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      line[used] = '\0';
      return any;
    }
    any = true;
    if (ch == '\n' || ch == '\r') break;
    if (used < size - 1) line[used++] = ch;
  }
  line[used] = '\0';
  return true;
}

// Switches echo off on fd (saving the settings in *saved); false when fd
// is not a terminal. Typed-ahead input is kept.
bool EchoOff(int fd, termios* saved) {
  if (tcgetattr(fd, saved) != 0) return false;
  termios quiet = *saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  tcsetattr(fd, TCSANOW, &quiet);
  return true;
}

// A label's text as shown: without the mnemonic marks.
void Label(const char* text, char* out, int size) {
  int used = 0;
  for (const char* p = text ? text : ""; *p && used < size - 1; ++p) {
    if (*p != '&') out[used++] = *p;
  }
  out[used] = '\0';
}

int FindButton(HWND dialog, DialogItemKind kind) {
  DialogItemInfo info;
  for (int i = 0; DialogItemAt(dialog, i, &info); ++i) {
    if (info.kind == kind) return info.id;
  }
  return kind == kDialogDefaultButton ? IDOK : IDCANCEL;
}

class TerminalHost : public DialogHost {
 public:
  explicit TerminalHost(int fd) : fd_(fd) {}

  void Run(HWND dialog) override {
    const int cancel = IDCANCEL;
    Put(fd_, "\n");
    Put(fd_, DialogCaption(dialog));
    Put(fd_, "\n");
    char label[kLineSize] = "";
    DialogItemInfo info;
    for (int i = 0; DialogItemAt(dialog, i, &info) && !DialogHasEnded(dialog); ++i) {
      if (info.kind == kDialogStatic) {
        Label(info.text, label, sizeof label);
        continue;
      }
      if (info.kind == kDialogEdit) {
        if (!AskEdit(dialog, info, label)) {
          ClickDialogButton(dialog, cancel);
          return;
        }
      } else if (info.kind == kDialogCheckBox && info.enabled) {
        if (!AskCheck(dialog, info)) {
          ClickDialogButton(dialog, cancel);
          return;
        }
      }
      label[0] = '\0';
    }
    if (!DialogHasEnded(dialog) &&
        !ClickDialogButton(dialog, FindButton(dialog, kDialogDefaultButton))) {
      Put(fd_, "The dialog cannot be completed.\n");
      ClickDialogButton(dialog, FindButton(dialog, kDialogPushButton));
    }
  }

 private:
  bool AskEdit(HWND dialog, const DialogItemInfo& info, const char* label) {
    // Echo goes off before the prompt shows, so that nothing typed after
    // it can appear.
    termios saved;
    const bool secret = info.enabled && !(info.style & kStyleReadOnly) &&
                        (info.style & kStylePassword) && EchoOff(fd_, &saved);
    Put(fd_, "  ");
    Put(fd_, label);
    Put(fd_, " ");
    if (!info.enabled || (info.style & kStyleReadOnly)) {
      Put(fd_, info.text);
      Put(fd_, "\n");
      return true;
    }
    char line[kLineSize];
    if (info.style & kStylePassword) {
      const bool read = ReadLine(fd_, line, sizeof line);
      if (secret) tcsetattr(fd_, TCSANOW, &saved);
      if (!read) return false;
      TypeDialogText(dialog, info.id, line);
      std::memset(line, 0, sizeof line);
      return true;
    }
    if (info.text[0]) {
      Put(fd_, "[");
      Put(fd_, info.text);
      Put(fd_, "] ");
    }
    if (!ReadLine(fd_, line, sizeof line)) return false;
    // An empty answer keeps what the field shows.
    if (line[0]) TypeDialogText(dialog, info.id, line);
    return true;
  }

  bool AskCheck(HWND dialog, const DialogItemInfo& info) {
    char text[kLineSize];
    Label(info.text, text, sizeof text);
    Put(fd_, "  ");
    Put(fd_, text);
    Put(fd_, info.checked ? " (Y/n) " : " (y/N) ");
    char line[kLineSize];
    if (!ReadLine(fd_, line, sizeof line)) return false;
    bool want = info.checked;
    if (line[0] == 'y' || line[0] == 'Y') want = true;
    if (line[0] == 'n' || line[0] == 'N') want = false;
    if (want != info.checked) ClickDialogButton(dialog, info.id);
    return true;
  }

  int fd_;
};

}  // namespace

DialogHost* TerminalDialogHost() {
  // VELODBC_DIALOG=none keeps dialogs off a terminal (batch jobs started
  // from a shell).
  const char* setting = std::getenv("VELODBC_DIALOG");
  if (setting && std::strcmp(setting, "none") == 0) return nullptr;
  static int fd = -2;
  if (fd == -2) fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  // A process in the background of its terminal would be stopped by the
  // terminal as soon as it prompted: for it there is no terminal.
  if (tcgetpgrp(fd) != getpgrp()) return nullptr;
  static TerminalHost host(fd);
  return &host;
}
