// Starting and stopping velora-server for tests.
#include "support/velora_server.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>

#include "support/socket_io.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Checks done() every 20 ms for at most seconds; true once it holds.
template <class Done>
bool Until(Done done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    poll(nullptr, 0, 20);
  }
}

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

int AddServerUser(const std::string& users, const std::string& name, const std::string& password,
                  const std::string& log, const std::string& rights) {
  std::string command = std::string(VEL_SERVER_PATH) + " adduser --users '" + users + "' --password-stdin " + rights +
                        " '" + name + "' >>'" + log + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "w");
  if (!pipe) return -1;
  std::fprintf(pipe, "%s\n", password.c_str());
  int status = pclose(pipe);
  return status == -1 ? -1 : ExitStatus(status);
}

bool MakeTestCertificate(const std::string& stem, const std::string& name) {
  const std::string command =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
      "-subj /CN=" +
      name + " -addext subjectAltName=DNS:" + name + " -keyout '" + stem + ".key' -out '" + stem +
      ".pem' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

VeloraServer::VeloraServer() {
  char folder[] = "/tmp/velora-server-XXXXXX";
  if (mkdtemp(folder)) folder_ = folder;
}

VeloraServer::~VeloraServer() {
  Stop();
  if (folder_.empty()) return;
  std::string command = "rm -rf '" + folder_ + "'";
  int ignored = std::system(command.c_str());
  (void)ignored;
}

bool VeloraServer::Start(const std::vector<std::string>& extra) {
  if (folder_.empty()) {
    error_ = "cannot make a folder";
    return false;
  }
  const std::string portFile = folder_ + "/port", usersFile = folder_ + "/users";
  const std::string logFile = folder_ + "/server.log";
  // A server started again waits for its own port, not the last one's.
  unlink(portFile.c_str());
  port_ = 0;
  if (location_.empty()) location_ = TestStorage().empty() ? folder_ + "/test.db" : FreshPostgresSchema();
  if (location_.empty()) {
    error_ = "cannot make a schema in " + TestStorage();
    return false;
  }
  std::vector<std::string> args = {VEL_SERVER_PATH, "--address", "127.0.0.1", "--port", "0", "--port-file", portFile,
                                   // where the data is kept
                                   TestStorage().empty() ? "--database" : "--storage", location_};
  // The server's own subcommand hashes the passwords.
  for (const auto& user : users_) {
    if (AddServerUser(usersFile, user.name, user.password, logFile, user.rights) != 0) {
      error_ = "adding user " + user.name + " failed: " + Log();
      return false;
    }
  }
  if (!users_.empty()) args.insert(args.end(), {"--users", usersFile});
  args.insert(args.end(), extra.begin(), extra.end());
  // Everything the child needs is made before the fork: the child of a
  // threaded program may only call async-signal-safe functions.
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  std::FILE* log = std::fopen(logFile.c_str(), "ae");
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // The server goes with the test program, however that ends (a crash,
    // a time-out kill).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(126);
    if (log) {
      dup2(fileno(log), 1);
      dup2(fileno(log), 2);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (log) std::fclose(log);
  if (pid_ < 0) error_ = "fork failed";
  // The server writes its port file whole (a rename): wait for it, bounded.
  Until(
      [&] {
        int port = std::atoi(ReadFile(portFile).c_str()), status;
        if (port > 0 && port < 65536) {
          port_ = port;
        } else if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
          pid_ = -1;
          exitStatus_ = ExitStatus(status);
          error_ = "server exited: " + Log();
        }
        return port_ || pid_ <= 0;
      },
      10);
  // Connections to "localhost" on this port must not reach another test's
  // server listening on ::1.
  if (port_ && std::find(extra.begin(), extra.end(), "--address") == extra.end())
    ipv6Guard_ = ReserveIpv6Loopback(static_cast<uint16_t>(port_));
  if (port_) return true;
  if (error_.empty()) error_ = "no port within ten seconds: " + Log();
  Stop();
  return false;
}

int VeloraServer::Stop(int signal) {
  if (ipv6Guard_ >= 0) close(ipv6Guard_);
  ipv6Guard_ = -1;
  if (pid_ <= 0) return exitStatus_;
  kill(pid_, signal);
  int status = 0;
  if (!Until([&] { return waitpid(pid_, &status, WNOHANG) != 0; }, 5)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    status = -1;
  }
  pid_ = -1;
  exitStatus_ = status == -1 ? -1 : ExitStatus(status);
  return exitStatus_;
}

std::string VeloraServer::Log() const { return ReadFile(folder_ + "/server.log"); }

bool VeloraServer::WaitForLog(const std::string& text) const {
  return Until([&] { return Log().find(text) != std::string::npos; }, 10);
}

std::string TestStorage() {
  const char* storage = std::getenv("VEL_TEST_STORAGE");
  return storage ? storage : "";
}

std::string FreshPostgresSchema() {
  static int serial = 0;
  std::string schema = "t" + std::to_string(getpid()) + "_" + std::to_string(++serial);
  std::string command = "psql -qX '" + TestStorage() + "' -c 'CREATE SCHEMA " + schema + "' >/dev/null";
  if (std::system(command.c_str()) != 0) return "";
  return TestStorage() + "&options=-csearch_path%3D" + schema;
}

std::string ForStorage(const std::string& sql) {
  if (!OnPostgres() || sql.compare(0, 16, "/* PostgreSQL */") == 0) return sql;
  static const std::pair<std::regex, const char*> kWords[] = {
      {std::regex("\\bLONGVARCHAR\\b", std::regex::icase), "TEXT"},
      {std::regex("\\b(LONGVARBINARY|VARBINARY\\(\\d+\\)|BINARY\\(\\d+\\))", std::regex::icase), "BYTEA"},
      {std::regex("\\bTINYINT\\b", std::regex::icase), "SMALLINT"},
      {std::regex("\\bBIT\\b", std::regex::icase), "BOOLEAN"},
      {std::regex("\\bX'([0-9A-F]*)'", std::regex::icase), "'\\x$1'::bytea"},
  };
  std::string out = sql;
  for (const auto& word : kWords) out = std::regex_replace(out, word.first, word.second);
  return out;
}

int UnusedLoopbackPort() {
  // The socket stays bound, never listening, for the rest of the program:
  // a connect to the port is refused, and no other program running at the
  // same time (another test, a server given port 0) can take the port.
  // The same port stays bound on ::1 as well; a port taken there by another
  // program is left bound (so it is not offered again) and another is drawn.
  for (int tries = 0; tries < 20; ++tries) {
    uint16_t port = 0;
    if (LoopbackSocket(&port, false) < 0) return 0;
    if (ReserveIpv6Loopback(port) >= 0 || errno != EADDRINUSE) return port;
  }
  return 0;
}
