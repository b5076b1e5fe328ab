// Starting and stopping velora-server for tests.
#include "support/velora_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The port once the server has written it completely (digits and a newline,
// or digits in a file the server has closed).
int ReadPort(const std::string& path) {
  std::string text = ReadFile(path);
  int port = std::atoi(text.c_str());
  return (port > 0 && port < 65536) ? port : 0;
}

}  // namespace

bool VeloraServer::WriteUsers(const std::string& path) {
  // The server's own subcommand hashes the passwords, read from its
  // standard input.
  for (const auto& user : users_) {
    std::string command = std::string(VEL_SERVER_PATH) + " adduser --users '" + path +
                          "' --password-stdin '" + user.first + "' >>'" + folder_ +
                          "/server.log' 2>&1";
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe) return false;
    std::fprintf(pipe, "%s\n", user.second.c_str());
    if (pclose(pipe) != 0) {
      error_ = "adding user " + user.first + " failed: " + Log();
      return false;
    }
  }
  return true;
}

bool VeloraServer::Start() {
  char folder[] = "/tmp/velora-server-XXXXXX";
  if (!mkdtemp(folder)) {
    error_ = "cannot make a folder";
    return false;
  }
  folder_ = folder;
  const std::string portFile = folder_ + "/port";
  const std::string usersFile = folder_ + "/users";
  if (!users_.empty() && !WriteUsers(usersFile)) return false;

  int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch >= 0) inotify_add_watch(watch, folder_.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);

  std::vector<std::string> args = {VEL_SERVER_PATH, "--address", "127.0.0.1", "--port", "0",
                                   "--port-file", portFile, "--database", folder_ + "/test.db"};
  if (!users_.empty()) {
    args.push_back("--users");
    args.push_back(usersFile);
  }
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // The server goes with the test program, however that ends (a crash,
    // a time-out kill): no server outlives its test.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(126);
    std::FILE* log = std::fopen((folder_ + "/server.log").c_str(), "a");
    if (log) {
      dup2(fileno(log), 1);
      dup2(fileno(log), 2);
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pid_ < 0) {
    error_ = "fork failed";
    if (watch >= 0) close(watch);
    return false;
  }
  // Wait for the port file, bounded; every file event (or a slice of the
  // time limit, in case an event was missed) checks the file again.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    port_ = ReadPort(portFile);
    if (port_) break;
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "server exited: " + Log();
      break;
    }
    if (watch >= 0) {
      pollfd p = {watch, POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        char events[4096];
        while (read(watch, events, sizeof events) > 0) {
        }
      }
    } else {
      poll(nullptr, 0, 50);
    }
  }
  if (watch >= 0) close(watch);
  if (!port_) {
    if (error_.empty()) error_ = "no port within ten seconds: " + Log();
    Stop();
    return false;
  }
  return true;
}

void VeloraServer::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      poll(nullptr, 0, 20);
    }
    pid_ = -1;
  }
  if (!folder_.empty()) {
    std::string command = "rm -rf '" + folder_ + "'";
    int ignored = std::system(command.c_str());
    (void)ignored;
    folder_.clear();
  }
}

std::string VeloraServer::Log() const { return ReadFile(folder_ + "/server.log"); }

int UnusedLoopbackPort() {
  // The socket stays bound, never listening, for the rest of the program:
  // a connect to the port is refused, and no other program running at the
  // same time (another test, a server given port 0) can take the port.
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  } else {
    close(s);
  }
  return port;
}
