// The users file: one "name:hash" line per user, the hash made by the
// system's crypt(3). Lines starting with "#" and empty lines are ignored.
#ifndef VELORA_SERVER_USERS_H
#define VELORA_SERVER_USERS_H

#include <string>

namespace velsrv {

// True when path holds a line for name whose hash matches password.
// Unreadable files and unknown names are false; *error explains a file
// that cannot be read.
bool CheckUser(const std::string& path, const std::string& name, const std::string& password,
               std::string* error);

// Checks the users file's permissions before the server starts. Returns
// false with *error set when others than its owner may write it (anyone
// could add a user); sets *warning (else leaves it empty) when others may
// read the hashes or the file cannot be read at all.
bool CheckUsersFile(const std::string& path, std::string* error, std::string* warning);

// Adds name with a fresh hash of password, replacing an existing line for
// it. The file is rewritten atomically with mode 0600. Returns false with
// *error set on failure.
bool AddUser(const std::string& path, const std::string& name, const std::string& password,
             std::string* error);

// Names may not be empty or hold ':', blanks or control characters.
bool ValidUserName(const std::string& name);

// The adduser subcommand: argv after "adduser". Returns the exit code.
int AddUserCommand(int argc, char** argv);

}  // namespace velsrv

#endif
