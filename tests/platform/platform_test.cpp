// The platform layer without a windowing system: message boxes on standard
// error or a sink; the dialog runtime with a scripted host; the terminal
// host on a pseudo-terminal, where a child process whose controlling
// terminal is the pty runs the password prompt while the test plays the
// person at the keyboard.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <functional>

#include "odbc/connect/PasswordDialog.h"
#include "platform/DialogSupport.h"
#include "support/capture.h"
#include "support/scripted_dialog_host.h"

namespace {

// The button and what one box shows on standard error without a sink.
std::string ShownOnStandardError(const char* text, const char* caption) {
  testing::internal::CaptureStderr();
  int button = VelMessageBox(nullptr, text, caption, kMbOk | kMbIconStop);
  return std::to_string(button) + ":" + testing::internal::GetCapturedStderr();
}

TEST(MessageBoxTest, OneLineOnStandardErrorUnlessASinkIsInstalled) {
  EXPECT_EQ("1:VELODBC: Receive failed. errno 10054: [10054] Connection reset by peer\n",
            ShownOnStandardError("Receive failed.\nerrno 10054: [10054] Connection reset by peer", "VELODBC"));
  {
    BoxCapture boxes;
    EXPECT_EQ("1:", ShownOnStandardError("text", "caption"));
    EXPECT_EQ(std::vector<std::string>{"caption"}, boxes.captions);
    EXPECT_EQ(std::vector<std::string>{"text"}, boxes.texts);
  }
  // Removed: a null text and caption are shown as empty, not dereferenced.
  EXPECT_EQ("1:: \n", ShownOnStandardError(nullptr, nullptr));
}

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
  EXPECT_EQ(
      (std::vector<std::pair<UINT, WPARAM>>{
          {WM_INITDIALOG, 0}, {WM_COMMAND, MAKEWPARAM(400, EN_CHANGE)}, {WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED)}}),
      g_messages);
  EXPECT_EQ("Velora ODBC Driver Setup", host.seen().at(0).caption);
  // An empty name disables OK: the click fails, Cancel ends.
  ScriptedDialogHost second;
  second.Type(400, "").Click(IDOK).Click(IDCANCEL);
  EXPECT_EQ(2, Show());
  EXPECT_EQ((std::vector<bool>{true, false, true}), second.results());
  ScriptedDialogHost givingUp;  // a host out of actions has the dialog cancelled
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
// keeps at most 31 characters. (Cancel: the session tests.)
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
}

using Clock = std::chrono::steady_clock;

// Appends what arrives on fd to *all until text has been seen or five
// seconds pass.
void ReadUntil(int fd, const std::string& text, std::string* all) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (all->find(text) == std::string::npos && Clock::now() < deadline) {
    pollfd p = {fd, POLLIN, 0};
    char buffer[256];
    ssize_t n = poll(&p, 1, 100) > 0 ? read(fd, buffer, sizeof buffer) : 0;
    if (n < 0) break;
    all->append(buffer, static_cast<size_t>(n));
  }
}

// The exit code of pid, waiting at most five seconds; -1 when it stopped
// (flags WUNTRACED) or did not end in time: then it is killed.
int WaitExit(pid_t pid, int flags = 0) {
  int status = 0;
  pid_t got = 0;
  for (auto end = Clock::now() + std::chrono::seconds(5); got == 0 && Clock::now() < end; poll(nullptr, 0, 10))
    got = waitpid(pid, &status, WNOHANG | flags);
  if (got == pid && WIFEXITED(status)) return WEXITSTATUS(status);
  if (got != pid || WIFSTOPPED(status)) kill(pid, SIGKILL), waitpid(pid, &status, 0);
  return -1;
}

// The prompt as a child would run it, with no host but the terminal:
// its result + 10, or 3 when OK gave a password other than expected.
int Prompt(const char* expected) {
  unsetenv("VELODBC_DIALOG");
  SetDialogHost(nullptr);
  std::strcpy(g_loginUserName, "alice");
  INT_PTR result = RunPasswordDialog(nullptr);
  return result == 1 && std::strcmp(g_loginPassword, expected) != 0 ? 3 : int(result) + 10;
}

// Forks a child that leads a new session whose controlling terminal is a
// new pty (none when pty is false) and exits with body's answer.
struct Child {
  Child(bool pty, const std::function<int()>& body) {
    master = pty ? posix_openpt(O_RDWR | O_NOCTTY) : -1;
    if (pty && (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)) return;
    const std::string slave = pty ? ptsname(master) : "";
    pid = fork();
    if (pid != 0) return;
    setsid();
    if (pty) {
      int fd = open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
      if (fd < 0 || ioctl(fd, TIOCSCTTY, 0) != 0) _exit(2);
    }
    _exit(body());
  }
  int Exit() {
    int code = WaitExit(pid);
    if (master >= 0) close(master);
    return code;
  }
  pid_t pid = -1;
  int master = -1;
};

// The prompt shows its caption and the user; the typed password is read
// without echo (OK: 1), end of input (^D on an empty line) cancels (0).
TEST(TerminalDialogTest, PasswordPromptOnTheTerminal) {
  // clang-format off
  const struct { std::string typed; int exit; } rows[] = {{"hunter2\n", 11}, {"\x04", 10}};
  // clang-format on
  for (auto& r : rows) {
    Child c(true, [] { return Prompt("hunter2"); });
    ASSERT_GT(c.pid, 0);
    std::string shown, echoed;
    ReadUntil(c.master, "Password: ", &shown);
    EXPECT_NE(std::string::npos, shown.find("Input Password")) << shown;
    EXPECT_NE(std::string::npos, shown.find("User Name: alice")) << shown;
    ASSERT_EQ(static_cast<ssize_t>(r.typed.size()), write(c.master, r.typed.data(), r.typed.size()));
    if (r.exit == 11) ReadUntil(c.master, "\n", &echoed);  // only the newline is echoed
    EXPECT_EQ(r.exit, c.Exit());
    EXPECT_EQ(std::string::npos, echoed.find("hunter2")) << echoed;
  }
}

// A job in the background of its terminal (started with "&") would be
// stopped by the terminal the moment it touched it: no dialog is shown
// there (-1), as for a process without a terminal. The child here is the
// shell, in the pty's foreground; it reports what its job did.
TEST(TerminalDialogTest, BackgroundJobOrNoTerminalGetsNoDialog) {
  Child shell(true, [] {
    pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);  // its own process group: a background job
      _exit(Prompt("") == 9 ? 0 : 1);
    }
    setpgid(job, job);
    return WaitExit(job, WUNTRACED);  // -1 when stopped by the terminal
  });
  ASSERT_GT(shell.pid, 0);
  EXPECT_EQ(0, shell.Exit());
  Child alone(false, [] { return TerminalDialogHost() == nullptr && Prompt("") == 9 ? 0 : 1; });
  ASSERT_GT(alone.pid, 0);
  EXPECT_EQ(0, alone.Exit());
}

}  // namespace
