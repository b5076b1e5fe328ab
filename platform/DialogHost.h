// Who plays the user of a modal dialog: a host. The runtime hands the
// host a dialog that has had WM_INITDIALOG; the host reads the controls
// and acts through the calls below until the dialog procedure ends the
// dialog. Tests install a scripted host; otherwise a process with a
// controlling terminal gets the terminal host, and a process without one
// cannot show dialogs at all.
#ifndef VELORA_PLATFORM_DIALOGHOST_H
#define VELORA_PLATFORM_DIALOGHOST_H

#include "platform/Dialog.h"
#include "platform/DialogTemplate.h"

class DialogHost {
 public:
  virtual ~DialogHost() = default;
  // Plays the user until DialogHasEnded(dialog) or the host gives up; a
  // dialog still open when Run returns is cancelled by the runtime
  // (WM_COMMAND with IDCANCEL).
  virtual void Run(HWND dialog) = 0;
};

// Installs host for every later dialog; null goes back to the default.
void SetDialogHost(DialogHost* host);
// The installed host, else the terminal host when the process is in the
// foreground of its controlling terminal (and VELODBC_DIALOG is not
// "none"), else null.
DialogHost* CurrentDialogHost();
// The terminal host, or null when /dev/tty cannot be opened or the
// process is not in the foreground of its terminal.
DialogHost* TerminalDialogHost();

// What a host can see of a control.
struct DialogItemInfo {
  int id;
  DialogItemKind kind;
  unsigned style;
  const char* text;
  bool enabled;
  bool checked;
};

const char* DialogCaption(HWND dialog);
// Fills *info for the control at index (template order); false past the end.
bool DialogItemAt(HWND dialog, int index, DialogItemInfo* info);
// The user types text into edit id (replacing its text, cut at the edit's
// limit) and the procedure gets EN_CHANGE. False for a control that is not
// an enabled, writable edit.
bool TypeDialogText(HWND dialog, int id, const char* text);
// The user clicks button id (a check box toggles first) and the procedure
// gets BN_CLICKED. False for a control that is not an enabled button.
bool ClickDialogButton(HWND dialog, int id);
bool DialogHasEnded(HWND dialog);

#endif
