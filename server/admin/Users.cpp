// Users file reading, editing and password hashing with crypt(3).
#include "server/admin/Users.h"

#include <crypt.h>
#include <fcntl.h>
#include <sys/stat.h>
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

bool ListUsers(const std::string& path, std::vector<std::pair<std::string, UserRights>>* users,
               std::string* error) {
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  for (const std::string& line : lines) {
    size_t colon = line.find(':');
    if (line.empty() || line[0] == '#' || colon == std::string::npos) continue;
    size_t end = line.find(':', colon + 1);
    UserRights rights;
    if (end != std::string::npos && !rights.Parse(line.substr(end + 1), error))
      return *error = "users file " + path + ", user " + line.substr(0, colon) + ": " + *error,
             false;
    users->push_back({line.substr(0, colon), rights});
  }
  return true;
}

bool EditUser(const std::string& path, UserEdit edit, const std::string& name,
              const std::string& password, const UserRights& rights, std::string* error) {
  if (!ValidUserName(name)) {
    *error = "invalid user name (no blanks, colons or control characters)";
    return false;
  }
  std::string hash;
  if (edit == UserEdit::kAdd || edit == UserEdit::kReplace || edit == UserEdit::kPassword) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn(nullptr, 0, nullptr, 0, salt, sizeof salt)) {
      *error = std::string("cannot make a salt: ") + std::strerror(errno);
      return false;
    }
    hash = Hash(password, salt);
    if (hash.empty()) {
      *error = "crypt(3) failed";
      return false;
    }
  }
  std::vector<std::string> lines;
  struct stat old {};
  const bool exists = stat(path.c_str(), &old) == 0;
  if (exists && !ReadLines(path, &lines, error)) return false;
  std::ostringstream text;
  bool found = false;
  for (const std::string& line : lines) {
    size_t colon = line.find(':');
    if (line.empty() || line[0] == '#' || colon != name.size() ||
        line.compare(0, colon, name) != 0) {
      text << line << '\n';
      continue;
    }
    if (found) continue;  // a repeated name: the first line counts
    found = true;
    // The line's hash and rights, each kept unless this edit replaces it.
    std::string stored = line.substr(colon + 1), storedRights;
    size_t end = stored.find(':');
    if (end != std::string::npos) storedRights = stored.substr(end + 1), stored.resize(end);
    if (edit == UserEdit::kRemove) continue;
    if (edit == UserEdit::kRights) hash = stored;
    std::string r = edit == UserEdit::kPassword ? storedRights : rights.Text();
    if (edit != UserEdit::kAdd) text << name << ':' << hash << (r.empty() ? "" : ":") << r << '\n';
  }
  if (found && edit == UserEdit::kAdd) {
    *error = "user " + name + " exists already (passwd changes the password, grant the rights)";
    return false;
  }
  if (!found && edit != UserEdit::kAdd && edit != UserEdit::kReplace) {
    *error = "no user " + name + " in " + path;
    return false;
  }
  if (!found) {
    std::string r = rights.Text();
    text << name << ':' << hash << (r.empty() ? "" : ":") << r << '\n';
  }
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
  // An administrator editing the server's file as root leaves it with the
  // server's owner, which must still read it.
  if (exists && geteuid() == 0 && fchown(fd, old.st_uid, old.st_gid) != 0) {
    *error = "cannot keep the owner of " + path + ": " + std::strerror(errno);
    close(fd);
    unlink(temp.c_str());
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

bool AddUser(const std::string& path, const std::string& name, const std::string& password,
             std::string* error, const UserRights& rights) {
  return EditUser(path, UserEdit::kReplace, name, password, rights, error);
}

}  // namespace velsrv
