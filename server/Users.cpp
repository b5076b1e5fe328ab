// Users file reading, password hashing with crypt(3) and the adduser
// subcommand, which reads the password without echo.
#include "server/Users.h"

#include <crypt.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace velsrv {

namespace {

bool ReadLines(const std::string& path, std::vector<std::string>* lines, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read users file " + path + ": " + std::strerror(errno);
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(line);
  }
  return true;
}

// Compares without stopping at the first difference.
bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::string Hash(const std::string& password, const char* setting) {
  std::unique_ptr<crypt_data> data(new crypt_data());
  const char* out = crypt_rn(password.c_str(), setting, data.get(), sizeof(crypt_data));
  if (!out || out[0] == '*') return "";
  return out;
}

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

const char kAddUserUsage[] =
    "usage: velora-server adduser --users FILE [--password-stdin] [--read-only]\n"
    "                             [--datasource NAME]... NAME\n";
const char kReadOnly[] = "read-only";
const char kDataSource[] = "datasource=";

}  // namespace

bool UserRights::MayOpen(const std::string& dataSource) const {
  if (dataSources.empty()) return true;
  for (const std::string& name : dataSources)
    if (name == dataSource) return true;
  return false;
}

std::string UserRights::Text() const {
  std::string text = readOnly ? kReadOnly : "";
  for (const std::string& name : dataSources)
    text += (text.empty() ? "" : ",") + (kDataSource + name);
  return text;
}

bool UserRights::Parse(const std::string& text, std::string* error) {
  *this = UserRights();
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(',', at);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(at, end - at);
    at = end + 1;
    if (word == kReadOnly) {
      readOnly = true;
    } else if (word.compare(0, sizeof kDataSource - 1, kDataSource) == 0 &&
               word.size() >= sizeof kDataSource) {
      dataSources.push_back(word.substr(sizeof kDataSource - 1));
    } else if (!word.empty()) {
      *error = "unknown right \"" + word + "\"";
      return false;
    }
  }
  return true;
}

bool ValidUserName(const std::string& name) {
  if (name.empty() || name.size() > 255) return false;
  for (char c : name)
    if (c == ':' || static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
  return true;
}

bool CheckUser(const std::string& path, const std::string& name, const std::string& password,
               std::string* error, UserRights* rights) {
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  for (const std::string& line : lines) {
    if (line.empty() || line[0] == '#') continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos || line.compare(0, colon, name) != 0 || colon != name.size())
      continue;
    std::string stored = line.substr(colon + 1);
    size_t end = stored.find(':');
    UserRights found;
    // A line whose rights cannot be read admits nobody: a typing error
    // must not hand out more than was meant.
    if (end != std::string::npos && !found.Parse(stored.substr(end + 1), error)) {
      *error = "users file " + path + ", user " + name + ": " + *error;
      return false;
    }
    if (end != std::string::npos) stored.resize(end);
    if (stored.empty() || !SameText(Hash(password, stored.c_str()), stored)) return false;
    if (rights) *rights = found;
    return true;
  }
  // An unknown name costs a hash as well, so that response times do not
  // tell which names exist.
  char salt[CRYPT_GENSALT_OUTPUT_SIZE];
  if (crypt_gensalt_rn(nullptr, 0, nullptr, 0, salt, sizeof salt)) Hash(password, salt);
  return false;
}

bool CheckUsersFile(const std::string& path, std::string* error, std::string* warning) {
  warning->clear();
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || access(path.c_str(), R_OK) != 0) {
    *warning = "cannot read users file " + path + ": " + std::strerror(errno) +
               "; every login will be refused";
    return true;
  }
  if (st.st_mode & (S_IWGRP | S_IWOTH)) {
    *error = "users file " + path + " may be written by others than its owner (mode " +
             std::to_string((st.st_mode >> 6) & 7) + std::to_string((st.st_mode >> 3) & 7) +
             std::to_string(st.st_mode & 7) + "); make it private, for example chmod 600";
    return false;
  }
  if (st.st_mode & (S_IRGRP | S_IROTH))
    *warning = "users file " + path +
               " may be read by others than its owner; chmod 600 keeps its hashes private";
  return true;
}

bool AddUser(const std::string& path, const std::string& name, const std::string& password,
             std::string* error, const UserRights& rights) {
  if (!ValidUserName(name)) {
    *error = "invalid user name (no blanks, colons or control characters)";
    return false;
  }
  char salt[CRYPT_GENSALT_OUTPUT_SIZE];
  if (!crypt_gensalt_rn(nullptr, 0, nullptr, 0, salt, sizeof salt)) {
    *error = std::string("cannot make a salt: ") + std::strerror(errno);
    return false;
  }
  std::string hash = Hash(password, salt);
  if (hash.empty()) {
    *error = "crypt(3) failed";
    return false;
  }
  std::vector<std::string> lines;
  if (access(path.c_str(), F_OK) == 0 && !ReadLines(path, &lines, error)) return false;
  std::ostringstream text;
  bool replaced = false;
  const std::string rightsText = rights.Text();
  if (!rightsText.empty()) hash += ":" + rightsText;
  for (const std::string& line : lines) {
    size_t colon = line.find(':');
    if (!line.empty() && line[0] != '#' && colon == name.size() &&
        line.compare(0, colon, name) == 0) {
      if (!replaced) text << name << ':' << hash << '\n';
      replaced = true;
      continue;
    }
    text << line << '\n';
  }
  if (!replaced) text << name << ':' << hash << '\n';
  // The new file is made afresh: an existing file at the temporary name
  // (left over, or planted with other permissions or as a link) is
  // removed first, and O_EXCL refuses one that appears in between.
  std::string temp = path + ".tmp." + std::to_string(getpid());
  unlink(temp.c_str());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot write " + temp + ": " + std::strerror(errno);
    return false;
  }
  std::string data = text.str();
  bool ok = write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  ok = (fsync(fd) == 0) && ok;
  ok = (close(fd) == 0) && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

int AddUserCommand(int argc, char** argv) {
  std::string users, name;
  UserRights rights;
  bool fromStdin = false;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--users" && i + 1 < argc) {
      users = argv[++i];
    } else if (a.compare(0, 8, "--users=") == 0) {
      users = a.substr(8);
    } else if (a == "--password-stdin") {
      fromStdin = true;
    } else if (a == "--read-only") {
      rights.readOnly = true;
    } else if (a == "--datasource" && i + 1 < argc && ValidUserName(argv[i + 1]) &&
               std::strchr(argv[i + 1], ',') == nullptr) {
      rights.dataSources.push_back(argv[++i]);
    } else if (!a.empty() && a[0] != '-' && name.empty()) {
      name = a;
    } else {
      std::fprintf(stderr, "velora-server adduser: unexpected argument %s\n", a.c_str());
      return 2;
    }
  }
  if (users.empty() || name.empty()) {
    std::fprintf(stderr, "%s", kAddUserUsage);
    return 2;
  }
  std::string password;
  if (fromStdin) {
    if (!ReadPassword(0, "", &password)) {
      std::fprintf(stderr, "velora-server adduser: no password on standard input\n");
      return 1;
    }
  } else {
    int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) {
      std::fprintf(stderr, "velora-server adduser: no terminal; use --password-stdin\n");
      return 1;
    }
    std::string again;
    bool ok = ReadPassword(tty, "Password: ", &password) && ReadPassword(tty, "Again: ", &again);
    close(tty);
    if (!ok || password != again) {
      std::fprintf(stderr, "velora-server adduser: the passwords differ\n");
      return 1;
    }
  }
  std::string error;
  if (!AddUser(users, name, password, &error, rights)) {
    std::fprintf(stderr, "velora-server adduser: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "velora-server adduser: user %s written to %s\n", name.c_str(),
               users.c_str());
  return 0;
}

}  // namespace velsrv
