// Runs a real velora-server for a test: on a free loopback port, with its
// own database and (optionally) users file in a private folder that goes
// with the object. No server outlives its test program.
#ifndef VELORA_TESTS_SUPPORT_VELORA_SERVER_H
#define VELORA_TESTS_SUPPORT_VELORA_SERVER_H

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

class VeloraServer {
 public:
  VeloraServer();   // makes the private folder
  ~VeloraServer();  // stops the server and removes the folder
  VeloraServer(const VeloraServer&) = delete;
  VeloraServer& operator=(const VeloraServer&) = delete;

  // Adds a user (name, password, adduser's rights options such as
  // "--read-only") to the users file written at Start; with no users the
  // server accepts every login.
  void AddUser(const std::string& name, const std::string& password, const std::string& rights = "") {
    users_.push_back({name, password, rights});
  }

  // Starts the server binary (VEL_SERVER_PATH) with its port file, database
  // (test.db in Folder(), or over PostgreSQL a schema of its own, see
  // TestStorage()) and users file in Folder(), then the extra arguments; waits at most ten
  // seconds for its port. False, with Error() telling why, when it does not
  // come up (its log stays readable).
  bool Start(const std::vector<std::string>& extra = {});
  // Sends signal and waits (SIGKILL after five seconds). Returns the exit
  // status (128 + signal number when a signal ended it, -1 when it had to
  // be killed), also for a server that ended by itself; 0 if never started.
  // SIGINT stops at once (SIGTERM would let open cursors finish first).
  int Stop(int signal = SIGINT);

  // The database the server uses (at Start); another server given it with
  // UseLocation before its Start shares it.
  const std::string& Location() const { return location_; }
  void UseLocation(const std::string& location) { location_ = location; }
  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  std::string PortText() const { return std::to_string(port_); }
  const std::string& Folder() const { return folder_; }
  const std::string& Error() const { return error_; }
  // The server's standard error so far.
  std::string Log() const;
  // Waits (at most ten seconds) until the log contains text.
  bool WaitForLog(const std::string& text) const;

 private:
  struct User {
    std::string name, password, rights;
  };
  std::vector<User> users_;
  pid_t pid_ = -1;
  int port_ = 0;
  int ipv6Guard_ = -1;  // the port held on ::1 while the server runs on 127.0.0.1
  int exitStatus_ = 0;
  std::string folder_;
  std::string location_;
  std::string error_;
};

// The storage the tests run over: the PostgreSQL URI in VEL_TEST_STORAGE,
// or empty for SQLite files.
std::string TestStorage();
// A new, empty schema of the VEL_TEST_STORAGE database, as a URI whose
// sessions work in it; empty when it cannot be made.
std::string FreshPostgresSchema();
inline bool OnPostgres() { return !TestStorage().empty(); }
// sql as written for SQLite, in PostgreSQL's words when the tests run over
// it: ODBC's type names PostgreSQL lacks (LONGVARCHAR, BINARY(n), BIT, ...)
// and X'..' byte literals. Texts beginning with "/* PostgreSQL */" are
// PostgreSQL's already.
std::string ForStorage(const std::string& sql);

// "velora-server adduser --users users --password-stdin rights name" with
// the password on standard input; its exit status. Output goes to log.
int AddServerUser(const std::string& users, const std::string& name, const std::string& password,
                  const std::string& log = "/dev/null", const std::string& rights = "");

// Makes a self-signed certificate for the host name (stem.pem) and its key
// (stem.key) with the openssl tool; false when that fails.
bool MakeTestCertificate(const std::string& stem, const std::string& name);

// A loopback port on which nothing listens and nothing else can: it stays
// bound (not listening) until the program ends.
int UnusedLoopbackPort();

#endif
