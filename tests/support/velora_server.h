// Runs a real velora-server for a test: on a free loopback port, with its
// own database and (optionally) users file in a private folder, stopped
// when the object goes away.
#ifndef VELORA_TESTS_SUPPORT_VELORA_SERVER_H
#define VELORA_TESTS_SUPPORT_VELORA_SERVER_H

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

class VeloraServer {
 public:
  VeloraServer() = default;
  ~VeloraServer() { Stop(); }
  VeloraServer(const VeloraServer&) = delete;
  VeloraServer& operator=(const VeloraServer&) = delete;

  // Adds a user (name, password) to the users file written at Start; with
  // no users the server accepts every login.
  void AddUser(const std::string& name, const std::string& password) {
    users_.emplace_back(name, password);
  }

  // Starts the server binary (path from VEL_SERVER_PATH) and waits, at most
  // ten seconds, for it to write its port. False, with Error() telling why,
  // when it does not come up.
  bool Start();
  // Stops the server (SIGTERM, then SIGKILL after five seconds) and removes
  // its folder. Safe to call twice.
  void Stop();

  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  std::string PortText() const { return std::to_string(port_); }
  const std::string& Folder() const { return folder_; }
  const std::string& Error() const { return error_; }
  // The server's standard error, read back from its log file.
  std::string Log() const;

 private:
  bool WriteUsers(const std::string& path);

  std::vector<std::pair<std::string, std::string>> users_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string folder_;
  std::string error_;
};

// A loopback port on which nothing listens and nothing else can: it stays
// bound (not listening) until the program ends.
int UnusedLoopbackPort();

#endif
