// The terminal dialog host on a pseudo-terminal: a child process whose
// controlling terminal is the pty runs the password prompt while the test
// plays the person at the keyboard.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "odbc/PasswordDialog.h"
#include "platform/DialogHost.h"

namespace {

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

// The exit code of pid, waiting at most five seconds (then it is killed
// and the answer is -1).
int WaitExit(pid_t pid) {
  int status = 0;
  for (auto deadline = Clock::now() + std::chrono::seconds(5); waitpid(pid, &status, WNOHANG) == 0;
       poll(nullptr, 0, 10)) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

TEST(TerminalDialogTest, ShowsCaptionAndUserAndReadsThePasswordWithoutEcho) {
  Child c(true, [] { return Prompt("hunter2"); });
  ASSERT_GT(c.pid, 0);
  std::string shown;
  ReadUntil(c.master, "Password: ", &shown);
  EXPECT_NE(std::string::npos, shown.find("Input Password")) << shown;
  EXPECT_NE(std::string::npos, shown.find("User Name: alice")) << shown;
  ASSERT_EQ(8, write(c.master, "hunter2\n", 8));
  ReadUntil(c.master, "\n", &shown);  // the terminal echoes only the newline
  EXPECT_EQ(11, c.Exit());
  EXPECT_EQ(std::string::npos, shown.find("hunter2")) << shown;
}

TEST(TerminalDialogTest, EndOfInputCancels) {
  Child c(true, [] { return Prompt(""); });
  ASSERT_GT(c.pid, 0);
  std::string shown;
  ReadUntil(c.master, "Password: ", &shown);
  ASSERT_EQ(1, write(c.master, "\x04", 1));  // ^D on an empty line
  EXPECT_EQ(10, c.Exit());
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
    int status = 0;
    for (auto deadline = Clock::now() + std::chrono::seconds(5); Clock::now() < deadline;
         poll(nullptr, 0, 10)) {
      pid_t got = waitpid(job, &status, WNOHANG | WUNTRACED);
      if (got == job && WIFSTOPPED(status)) break;  // stopped by the terminal
      if (got == job) return WIFEXITED(status) ? WEXITSTATUS(status) : 4;
    }
    kill(job, SIGKILL);
    waitpid(job, &status, 0);
    return 3;
  });
  ASSERT_GT(shell.pid, 0);
  EXPECT_EQ(0, shell.Exit());
  Child alone(false, [] { return TerminalDialogHost() == nullptr && Prompt("") == 9 ? 0 : 1; });
  ASSERT_GT(alone.pid, 0);
  EXPECT_EQ(0, alone.Exit());
}

}  // namespace
