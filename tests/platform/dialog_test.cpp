// The dialog runtime with a scripted host: messages reach the procedure,
// the item calls work on the template's controls, and the password prompt
// fills the login buffers.
#include <gtest/gtest.h>

#include <cstring>

#include "odbc/PasswordDialog.h"
#include "platform/DialogSupport.h"
#include "support/scripted_dialog_host.h"

namespace {

LPCSTR Resource(int id) { return reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(id)); }

// Records messages; an empty field 400 disables OK; OK ends with the
// dialog's parameter, Cancel with 2.
std::vector<std::pair<UINT, WPARAM>> g_messages;
INT_PTR Recorder(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  g_messages.push_back({message, wParam});
  char text[16];
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    SendDlgItemMessageA(dialog, 400, EM_LIMITTEXT, 5, 0);
  } else if (message == WM_COMMAND && wParam == MAKEWPARAM(400, EN_CHANGE)) {
    EnableWindow(GetDlgItem(dialog, IDOK), GetDlgItemTextA(dialog, 400, text, sizeof text) > 0);
  } else if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam) == IDOK ? GetWindowLongPtrA(dialog, DWLP_USER) : 2);
  } else {
    return FALSE;
  }
  return TRUE;
}

// Runs a dialog on the host installed by the caller.
INT_PTR Show(int id = kSetupDialogId, DLGPROC proc = Recorder) {
  g_messages.clear();
  return DialogBoxParamA(nullptr, Resource(id), nullptr, proc, 77);
}

TEST(DialogTest, ProcedureGetsInitThenCommandsAndEndDialogGivesTheResult) {
  ScriptedDialogHost host;
  host.Type(400, "abcdefgh").Click(IDOK);
  EXPECT_EQ(77, Show());
  EXPECT_EQ((std::vector<std::pair<UINT, WPARAM>>{{WM_INITDIALOG, 0},
                                                  {WM_COMMAND, MAKEWPARAM(400, EN_CHANGE)},
                                                  {WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED)}}),
            g_messages);
  EXPECT_EQ("Velora ODBC Driver Setup", host.seen().at(0).caption);
  // An empty name disables OK: the click fails, Cancel ends.
  ScriptedDialogHost second;
  second.Type(400, "").Click(IDOK).Click(IDCANCEL);
  EXPECT_EQ(2, Show());
  EXPECT_EQ((std::vector<bool>{true, false, true}), second.results());
  ScriptedDialogHost givingUp;  // a host that gives up has the dialog cancelled
  givingUp.Stop();
  EXPECT_EQ(2, Show());
  EXPECT_EQ(MAKEWPARAM(IDCANCEL, BN_CLICKED), g_messages.back().second);
}

TEST(DialogTest, WithoutHostTemplateProcedureOrLiveDialogNothingIsShown) {
  setenv("VELODBC_DIALOG", "none", 1);
  EXPECT_EQ(-1, DialogBoxParamA(nullptr, Resource(kPasswordDialogId), nullptr, Recorder, 0));
  ScriptedDialogHost host;
  EXPECT_EQ(-1, Show(999));
  EXPECT_EQ(-1, Show(kPasswordDialogId, nullptr));
  EXPECT_TRUE(g_messages.empty());
  int notAWindow = 0;
  char buffer[4] = "abc";
  EXPECT_EQ(nullptr, GetDlgItem(&notAWindow, IDOK));
  EXPECT_FALSE(SetDlgItemTextA(&notAWindow, 400, "x"));
  EXPECT_EQ(0u, GetDlgItemTextA(&notAWindow, 400, buffer, sizeof buffer));
  EXPECT_STREQ("", buffer);
  EXPECT_FALSE(EndDialog(&notAWindow, 1));
}

INT_PTR CenteringProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  RECT before, after;
  GetWindowRect(dialog, &before);
  CenterDialog(dialog, 0, 0);  // keeps the size
  GetWindowRect(dialog, &after);
  EXPECT_EQ(before.right - before.left, after.right - after.left);
  EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - (after.right - after.left)) / 2, after.left);
  CenterDialog(dialog, 200, 100);
  GetWindowRect(dialog, &after);
  EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 200) / 2, after.left);
  EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 100) / 2, after.top);
  EXPECT_EQ(100, after.bottom - after.top);
  EndDialog(dialog, 5);
  return TRUE;
}

TEST(DialogTest, CenterDialogKeepsOrSetsTheSizeAndCentresOnTheScreen) {
  ScriptedDialogHost host;
  EXPECT_EQ(5, Show(kPasswordDialogId, CenteringProc));
}

// The user's name is shown read-only, the focus is on the password, which
// keeps at most 31 characters; Cancel leaves the buffers alone.
TEST(DialogTest, PasswordPrompt) {
  std::strcpy(g_loginUserName, "alice");
  std::memset(g_loginPassword, 0, sizeof g_loginPassword);
  ScriptedDialogHost host;
  host.Type(kPasswordUserField, "mallory").Type(kPasswordField, std::string(40, 'p')).Click(IDOK);
  EXPECT_EQ(1, RunPasswordDialog(nullptr));
  EXPECT_EQ("Input Password", host.seen().at(0).caption);
  EXPECT_EQ(kPasswordField, host.seen()[0].focus);
  EXPECT_FALSE(host.results()[0]);
  EXPECT_STREQ("alice", g_loginUserName);
  EXPECT_EQ(std::string(31, 'p'), g_loginPassword);
  ScriptedDialogHost second;
  second.Type(kPasswordField, "typed").Click(IDCANCEL);
  EXPECT_EQ(0, RunPasswordDialog(nullptr));
  EXPECT_EQ(std::string(31, 'p'), g_loginPassword);
  int window = 0;  // other messages and commands are not the procedure's
  EXPECT_EQ(FALSE, PasswordDialogProc(&window, 0x0200, 0, 0));
  EXPECT_EQ(FALSE, PasswordDialogProc(&window, WM_COMMAND, MAKEWPARAM(kPasswordField, EN_CHANGE), 0));
}

}  // namespace
