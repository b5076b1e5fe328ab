// The users subcommands of velora-server: they edit the users file and
// read passwords without echo; nothing they print holds a hash.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "server/admin/Options.h"
#include "server/admin/Users.h"

namespace velsrv {

namespace {

// Reads one line from fd; echo is switched off when fd is a terminal.
bool ReadPassword(int fd, const char* prompt, std::string* out) {
  bool terminal = isatty(fd);
  termios saved{};
  if (terminal) {
    std::fprintf(stderr, "%s", prompt);
    std::fflush(stderr);
    tcgetattr(fd, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  out->clear();
  char c;
  bool got = false;
  ssize_t n;
  while ((n = read(fd, &c, 1)) == 1) {
    got = true;
    if (c == '\n') break;
    out->push_back(c);
  }
  if (terminal) {
    tcsetattr(fd, TCSAFLUSH, &saved);
    std::fprintf(stderr, "\n");
  }
  if (!out->empty() && out->back() == '\r') out->pop_back();
  return got;
}

const char kUsersUsage[] =
    "usage: velora-server users [--users FILE | --config FILE] list\n"
    "       velora-server users [--users FILE | --config FILE] add [--password-stdin]\n"
    "                           [--read-only] [--datasource NAME]... NAME\n"
    "       velora-server users [--users FILE | --config FILE] passwd [--password-stdin] NAME\n"
    "       velora-server users [--users FILE | --config FILE] grant [--read-only]\n"
    "                           [--datasource NAME]... NAME\n"
    "       velora-server users [--users FILE | --config FILE] remove NAME\n";

int Fail(const std::string& command, const std::string& text, int status) {
  std::fprintf(stderr, "velora-server %s: %s\n", command.c_str(), text.c_str());
  return status;
}

}  // namespace

int UsersCommand(int argc, char** argv, bool adduser) {
  const std::string command = adduser ? "adduser" : "users";
  std::string users, config, sub = adduser ? "adduser" : "", name, error;
  if (argc >= 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "help") == 0)) {
    std::fputs(kUsersUsage, stdout);
    return 0;
  }
  UserRights rights;
  bool fromStdin = false, rightsGiven = false;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    const bool hasNext = i + 1 < argc;
    if (a == "--users" && hasNext) {
      users = argv[++i];
    } else if (a.compare(0, 8, "--users=") == 0) {
      users = a.substr(8);
    } else if (a == "--config" && hasNext) {
      config = argv[++i];
    } else if (a == "--password-stdin") {
      fromStdin = true;
    } else if (a == "--read-only") {
      rights.readOnly = rightsGiven = true;
    } else if (a == "--datasource" && hasNext && ValidUserName(argv[i + 1]) &&
               std::strchr(argv[i + 1], ',') == nullptr) {
      rights.dataSources.push_back(argv[++i]);
      rightsGiven = true;
    } else if (!a.empty() && a[0] != '-' && sub.empty()) {
      sub = a;
    } else if (!a.empty() && a[0] != '-' && name.empty() && sub != "list") {
      name = a;
    } else {
      return Fail(command, "unexpected argument \"" + a + "\" (velora-server users --help)", 2);
    }
  }
  if (users.empty() && !config.empty()) {
    Options options;
    if (!ReadConfigFile(config, &options, &error)) return Fail(command, error, 2);
    users = options.users;
    if (users.empty()) return Fail(command, config + " names no users file", 2);
  }
  const bool known = sub == "adduser" || sub == "list" || sub == "add" || sub == "passwd" ||
                     sub == "remove" || sub == "grant";
  if (!known)
    return Fail(command, "unknown subcommand \"" + sub + "\" (list, add, passwd, remove, grant)",
                2);
  if (users.empty()) return Fail(command, "--users FILE or --config FILE is needed", 2);
  if (sub != "list" && name.empty()) return Fail(command, sub + " needs a user name", 2);
  if ((sub == "passwd" || sub == "remove") && rightsGiven)
    return Fail(command, sub + " takes no rights (grant sets them)", 2);
  if (sub == "list") {
    std::vector<std::pair<std::string, UserRights>> list;
    if (!ListUsers(users, &list, &error)) return Fail(command, error, 1);
    for (const auto& user : list) {
      const std::string text = user.second.Text();
      std::printf("%s\t%s\n", user.first.c_str(), text.empty() ? "-" : text.c_str());
    }
    return 0;
  }
  std::string password;
  if (sub == "adduser" || sub == "add" || sub == "passwd") {
    if (fromStdin) {
      if (!ReadPassword(0, "", &password)) return Fail(command, "no password on standard input", 1);
    } else {
      int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
      if (tty < 0) return Fail(command, "no terminal; use --password-stdin", 1);
      std::string again;
      bool ok = ReadPassword(tty, "Password: ", &password) && ReadPassword(tty, "Again: ", &again);
      close(tty);
      if (!ok || password != again) return Fail(command, "the passwords differ", 1);
    }
  }
  const UserEdit edit = sub == "adduser"  ? UserEdit::kReplace
                        : sub == "add"    ? UserEdit::kAdd
                        : sub == "passwd" ? UserEdit::kPassword
                        : sub == "grant"  ? UserEdit::kRights
                                          : UserEdit::kRemove;
  if (!EditUser(users, edit, name, password, rights, &error)) return Fail(command, error, 1);
  std::fprintf(stderr, "velora-server %s: user %s %s %s\n", command.c_str(), name.c_str(),
               edit == UserEdit::kRemove ? "removed from" : "written to", users.c_str());
  return 0;
}

}  // namespace velsrv
