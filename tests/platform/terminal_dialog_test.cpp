// The terminal dialog host on a pseudo-terminal: a child process whose
// controlling terminal is the pty runs the password prompt while the test
// plays the person at the keyboard.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc/PasswordDialog.h"
#include "platform/DialogHost.h"

namespace {

// Reads what arrives on fd until text has been seen or five seconds pass.
std::string ReadUntil(int fd, const std::string& text, std::string* all) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (all->find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[256];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    all->append(buffer, static_cast<size_t>(n));
  }
  return *all;
}

// Runs the prompt in a child whose controlling terminal is a new pty; the
// child exits with the dialog's result + 10 and, after OK, 50 + the
// password's length, checking the password itself.
struct Child {
  pid_t pid = -1;
  int master = -1;
};

Child StartPrompt(const char* expectedPassword) {
  Child c;
  c.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (c.master < 0 || grantpt(c.master) != 0 || unlockpt(c.master) != 0) return c;
  const std::string slaveName = ptsname(c.master);
  c.pid = fork();
  if (c.pid == 0) {
    setsid();
    int slave = open(slaveName.c_str(), O_RDWR);  // becomes the controlling terminal
    if (slave < 0) _exit(2);
    ioctl(slave, TIOCSCTTY, 0);
    unsetenv("VELODBC_DIALOG");
    SetDialogHost(nullptr);
    std::strcpy(g_loginUserName, "alice");
    INT_PTR result = RunPasswordDialog(nullptr);
    if (result == 1 && std::strcmp(g_loginPassword, expectedPassword) != 0) _exit(3);
    _exit(static_cast<int>(result) + 10);
  }
  return c;
}

// The child's exit code, waiting at most five seconds (then it is killed
// and the answer is -1).
int WaitExit(pid_t pid) {
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    poll(nullptr, 0, 10);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Wait(const Child& c) {
  const int code = WaitExit(c.pid);
  close(c.master);
  return code;
}

TEST(TerminalDialogTest, ShowsCaptionAndUserAndReadsThePasswordWithoutEcho) {
  Child c = StartPrompt("hunter2");
  ASSERT_GT(c.pid, 0);
  std::string shown;
  ReadUntil(c.master, "Password: ", &shown);
  EXPECT_NE(shown.find("Input Password"), std::string::npos) << shown;
  EXPECT_NE(shown.find("User Name: alice"), std::string::npos) << shown;
  ASSERT_EQ(write(c.master, "hunter2\n", 8), 8);
  // The terminal echoes only the newline.
  std::string rest;
  ReadUntil(c.master, "\n", &rest);
  EXPECT_EQ(Wait(c), 11);
  EXPECT_EQ((shown + rest).find("hunter2"), std::string::npos) << shown + rest;
}

TEST(TerminalDialogTest, EndOfInputCancels) {
  Child c = StartPrompt("");
  ASSERT_GT(c.pid, 0);
  std::string shown;
  ReadUntil(c.master, "Password: ", &shown);
  char eof = 4;  // ^D on an empty line
  ASSERT_EQ(write(c.master, &eof, 1), 1);
  EXPECT_EQ(Wait(c), 10);
}

// A job in the background of its terminal (started with "&") would be
// stopped by the terminal the moment it touched it: no dialog is shown
// there, and the login goes on as without a terminal.
TEST(TerminalDialogTest, BackgroundJobGetsNoDialog) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slaveName = ptsname(master);
  pid_t shell = fork();
  if (shell == 0) {
    // The "shell": a session on the pty, in its foreground.
    setsid();
    int slave = open(slaveName.c_str(), O_RDWR);
    if (slave < 0) _exit(2);
    ioctl(slave, TIOCSCTTY, 0);
    pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);  // its own process group: a background job
      unsetenv("VELODBC_DIALOG");
      SetDialogHost(nullptr);
      std::strcpy(g_loginUserName, "alice");
      _exit(RunPasswordDialog(nullptr) == -1 ? 0 : 1);
    }
    setpgid(job, job);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    for (;;) {
      pid_t got = waitpid(job, &status, WNOHANG | WUNTRACED);
      if (got == job && WIFSTOPPED(status)) break;  // stopped by the terminal
      if (got == job) _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 4);
      if (std::chrono::steady_clock::now() > deadline) break;
      poll(nullptr, 0, 10);
    }
    kill(job, SIGKILL);
    waitpid(job, &status, 0);
    _exit(3);
  }
  ASSERT_GT(shell, 0);
  EXPECT_EQ(WaitExit(shell), 0);
  close(master);
}

TEST(TerminalDialogTest, NoTerminalNoDialog) {
  pid_t pid = fork();
  if (pid == 0) {
    setsid();  // no controlling terminal any more
    unsetenv("VELODBC_DIALOG");
    SetDialogHost(nullptr);
    _exit(TerminalDialogHost() == nullptr && RunPasswordDialog(nullptr) == -1 ? 0 : 1);
  }
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitExit(pid), 0);
}

}  // namespace
