// The dialog runtime with a scripted host: messages reach the procedure,
// the item calls work on the template's controls, and the password prompt
// fills the login buffers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "odbc/PasswordDialog.h"
#include "platform/DialogSupport.h"
#include "support/scripted_dialog_host.h"

namespace {

LPCSTR Resource(int id) { return reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(id)); }

struct Recorder {
  static std::vector<std::pair<UINT, WPARAM>> messages;
  static INT_PTR Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    messages.push_back({message, wParam});
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SendDlgItemMessageA(dialog, 400, EM_LIMITTEXT, 5, 0);
      return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == 400 && HIWORD(wParam) == EN_CHANGE) {
      char text[16];
      EnableWindow(GetDlgItem(dialog, IDOK), GetDlgItemTextA(dialog, 400, text, sizeof text) > 0);
      return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
      EndDialog(dialog, LOWORD(wParam) == IDOK ? GetWindowLongPtrA(dialog, DWLP_USER) : 2);
      return TRUE;
    }
    return FALSE;
  }
};
std::vector<std::pair<UINT, WPARAM>> Recorder::messages;

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Recorder::messages.clear();
    std::memset(g_loginUserName, 0, sizeof g_loginUserName);
    std::memset(g_loginPassword, 0, sizeof g_loginPassword);
  }
};

TEST_F(DialogTest, ProcedureGetsInitThenCommandsAndEndDialogGivesTheResult) {
  ScriptedDialogHost host;
  host.Type(400, "abcdefgh").Click(IDOK);
  INT_PTR result = DialogBoxParamA(nullptr, Resource(kSetupDialogId), nullptr, Recorder::Proc, 77);
  EXPECT_EQ(result, 77);
  ASSERT_EQ(Recorder::messages.size(), 3u);
  EXPECT_EQ(Recorder::messages[0].first, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(Recorder::messages[1].second, MAKEWPARAM(400, EN_CHANGE));
  EXPECT_EQ(Recorder::messages[2].second, MAKEWPARAM(IDOK, BN_CLICKED));
  ASSERT_EQ(host.seen().size(), 1u);
  EXPECT_EQ(host.seen()[0].caption, "Velora ODBC Driver Setup");
}

TEST_F(DialogTest, DisabledButtonsAndReadOnlyFieldsRefuseTheUser) {
  ScriptedDialogHost host;
  // Typing an empty name disables OK; the click then fails and Cancel ends.
  host.Type(400, "").Click(IDOK).Click(IDCANCEL);
  EXPECT_EQ(DialogBoxParamA(nullptr, Resource(kSetupDialogId), nullptr, Recorder::Proc, 1), 2);
  ASSERT_EQ(host.results().size(), 3u);
  EXPECT_TRUE(host.results()[0]);
  EXPECT_FALSE(host.results()[1]);
  EXPECT_TRUE(host.results()[2]);
}

TEST_F(DialogTest, HostThatGivesUpGetsTheDialogCancelled) {
  ScriptedDialogHost host;
  host.Stop();
  EXPECT_EQ(DialogBoxParamA(nullptr, Resource(kSetupDialogId), nullptr, Recorder::Proc, 1), 2);
  EXPECT_EQ(Recorder::messages.back().second, MAKEWPARAM(IDCANCEL, BN_CLICKED));
}

TEST_F(DialogTest, WithoutHostTemplateOrProcedureNoDialogIsShown) {
  setenv("VELODBC_DIALOG", "none", 1);
  EXPECT_EQ(DialogBoxParamA(nullptr, Resource(kPasswordDialogId), nullptr, Recorder::Proc, 0), -1);
  EXPECT_TRUE(Recorder::messages.empty());
  ScriptedDialogHost host;
  EXPECT_EQ(DialogBoxParamA(nullptr, Resource(999), nullptr, Recorder::Proc, 0), -1);
  EXPECT_EQ(DialogBoxParamA(nullptr, Resource(kPasswordDialogId), nullptr, nullptr, 0), -1);
}

TEST_F(DialogTest, ItemCallsOutsideALiveDialogFail) {
  int notAWindow = 0;
  EXPECT_EQ(GetDlgItem(&notAWindow, IDOK), nullptr);
  EXPECT_FALSE(SetDlgItemTextA(&notAWindow, 400, "x"));
  char buffer[4] = "abc";
  EXPECT_EQ(GetDlgItemTextA(&notAWindow, 400, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_FALSE(EndDialog(&notAWindow, 1));
}

INT_PTR CenteringProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  RECT before, after;
  GetWindowRect(dialog, &before);
  CenterDialog(dialog, 0, 0);
  GetWindowRect(dialog, &after);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(after.left, (GetSystemMetrics(SM_CXSCREEN) - (after.right - after.left)) / 2);
  CenterDialog(dialog, 200, 100);
  GetWindowRect(dialog, &after);
  EXPECT_EQ(after.left, (GetSystemMetrics(SM_CXSCREEN) - 200) / 2);
  EXPECT_EQ(after.top, (GetSystemMetrics(SM_CYSCREEN) - 100) / 2);
  EXPECT_EQ(after.bottom - after.top, 100);
  EndDialog(dialog, 5);
  return TRUE;
}

TEST_F(DialogTest, CenterDialogKeepsOrSetsTheSizeAndCentresOnTheScreen) {
  ScriptedDialogHost host;
  EXPECT_EQ(DialogBoxParamA(nullptr, Resource(kPasswordDialogId), nullptr, CenteringProc, 0), 5);
}

TEST_F(DialogTest, PasswordPromptShowsUserFocusesPasswordAndOkFillsBuffers) {
  std::strcpy(g_loginUserName, "alice");
  ScriptedDialogHost host;
  host.Type(kPasswordUserField, "mallory").Type(kPasswordField, "s3cret").Click(IDOK);
  EXPECT_EQ(RunPasswordDialog(nullptr), 1);
  ASSERT_EQ(host.seen().size(), 1u);
  EXPECT_EQ(host.seen()[0].caption, "Input Password");
  EXPECT_EQ(host.seen()[0].texts.at(kPasswordUserField), "alice");
  EXPECT_EQ(host.seen()[0].focus, kPasswordField);
  EXPECT_FALSE(host.results()[0]);  // the user-name field is read-only
  EXPECT_STREQ(g_loginUserName, "alice");
  EXPECT_STREQ(g_loginPassword, "s3cret");
}

TEST_F(DialogTest, PasswordPromptKeepsAtMost31CharactersAndCancelLeavesBuffers) {
  ScriptedDialogHost host;
  host.Type(kPasswordField, std::string(40, 'p')).Click(IDOK);
  EXPECT_EQ(RunPasswordDialog(nullptr), 1);
  EXPECT_EQ(std::string(g_loginPassword), std::string(31, 'p'));

  std::memset(g_loginPassword, 0, sizeof g_loginPassword);
  ScriptedDialogHost second;
  second.Type(kPasswordField, "typed").Click(IDCANCEL);
  EXPECT_EQ(RunPasswordDialog(nullptr), 0);
  EXPECT_STREQ(g_loginPassword, "");
}

TEST_F(DialogTest, PasswordProcedureIgnoresOtherMessagesAndCommands) {
  int window = 0;
  EXPECT_EQ(PasswordDialogProc(&window, 0x0200, 0, 0), FALSE);
  EXPECT_EQ(PasswordDialogProc(&window, WM_COMMAND, MAKEWPARAM(kPasswordField, EN_CHANGE), 0), FALSE);
}

}  // namespace
