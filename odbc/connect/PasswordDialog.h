// The password prompt of SQLDriverConnect (dialog 1004) and the
// user-name and password buffers it fills.
#ifndef VELORA_ODBC_CONNECT_PASSWORDDIALOG_H
#define VELORA_ODBC_CONNECT_PASSWORDDIALOG_H

#include "handles/Frame.h"
#include "platform/Dialog.h"

constexpr int kLoginNameSize = 32;

// Filled by SQLDriverConnect and by the dialog's OK. One pair per thread:
// the dialog runs on the thread of the login it serves, and logins on
// other threads go on at the same time.
extern thread_local char g_loginUserName[kLoginNameSize];
extern thread_local char g_loginPassword[kLoginNameSize];

// The dialog procedure: WM_INITDIALOG shows the user name passed as lParam
// (a NUL-terminated text) and puts the focus on the password; OK copies
// both fields into the buffers above and ends with 1; Cancel ends with 0.
INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the prompt modally over parent with the user-name buffer as its
// parameter. Returns 1 (OK), 0 (Cancel) or -1 (no dialog can be shown).
INT_PTR RunPasswordDialog(HWND parent);

// The dialog procedure under the name the library exports.
VEL_EXPORT INT_PTR CALLBACK PswdDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#endif
