// The users file: one "name:hash" or "name:hash:rights" line per user, the
// hash made by the system's crypt(3); rights is a comma-separated list of
// "read-only" and "datasource=NAME" (repeatable: the user may open only the
// data sources named). Lines starting with "#" and empty lines are ignored.
#ifndef VELORA_SERVER_ADMIN_USERS_H
#define VELORA_SERVER_ADMIN_USERS_H

#include <string>
#include <utility>
#include <vector>

namespace velsrv {

struct UserRights {
  bool readOnly = false;
  std::vector<std::string> dataSources;  // empty: every data source

  bool MayOpen(const std::string& dataSource) const;
  // The rights field of a users file line ("" for none).
  std::string Text() const;
  // Parses a rights field; false with *error naming a word it does not know.
  bool Parse(const std::string& text, std::string* error);
};

// True when path holds a line for name whose hash matches password; its
// rights go to *rights. Unreadable files, unknown names and lines with
// rights that cannot be read are false; *error explains a file or line
// that cannot be read.
bool CheckUser(const std::string& path, const std::string& name, const std::string& password,
               std::string* error, UserRights* rights = nullptr);

// Checks the users file's permissions before the server starts. Returns
// false with *error set when others than its owner may write it (anyone
// could add a user); sets *warning (else leaves it empty) when others may
// read the hashes or the file cannot be read at all.
bool CheckUsersFile(const std::string& path, std::string* error, std::string* warning);

// How EditUser changes a user's line.
enum class UserEdit {
  kAdd,       // a new user with password and rights; an existing name fails
  kReplace,   // a new or existing user, password and rights replaced
  kPassword,  // an existing user's password; the rights stay
  kRights,    // an existing user's rights; the password stays
  kRemove,    // an existing user's line goes
};

// Changes one user's line. The file is rewritten atomically with mode
// 0600 (keeping its owner when run as root); comments and other lines stay.
// Returns false with *error set on failure.
bool EditUser(const std::string& path, UserEdit edit, const std::string& name,
              const std::string& password, const UserRights& rights, std::string* error);

// EditUser's kReplace.
bool AddUser(const std::string& path, const std::string& name, const std::string& password,
             std::string* error, const UserRights& rights = UserRights());

// The names and rights of the file's users (never their hashes).
bool ListUsers(const std::string& path, std::vector<std::pair<std::string, UserRights>>* users,
               std::string* error);

// Names may not be empty or hold ':', blanks or control characters.
bool ValidUserName(const std::string& name);

// The users subcommands: argv after "users" (list, add, passwd, remove,
// grant), or after "adduser" (add or replace) when adduser is true.
// Returns the exit code.
int UsersCommand(int argc, char** argv, bool adduser);

}  // namespace velsrv

#endif
