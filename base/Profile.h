// Profile files ("name.ini": [Section] and Key=Value lines) read with the
// Windows profile functions. On Windows they are the system's own (kernel32),
// which look for a file named without a directory in the Windows directory.
// Elsewhere Profile.cpp implements them, and the driver's own settings file
// "velodbc.ini" lives at the path in the environment variable VELODBC_INI,
// else at /etc/velodbc.ini.
#ifndef VELORA_BASE_PROFILE_H
#define VELORA_BASE_PROFILE_H

#ifdef _WIN32
#include <windows.h>
#else
#include <cstddef>

// Copies the value of key in section (names compared without regard to
// case; blanks around the value and a pair of enclosing quotes removed)
// into buffer, cut to size - 1 characters, or the default when the file,
// section or key is absent. Returns the number of characters stored.
unsigned GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, unsigned size, const char* fileName);
// The value's leading decimal number (with an optional minus sign), or
// defaultValue when the key is absent; a value without digits gives 0.
unsigned GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                               const char* fileName);

// Where a profile file named without a directory is looked for. Writes the
// path into buffer (cut to size) and returns buffer.
const char* ProfilePath(const char* fileName, char* buffer, std::size_t size);
#endif

#endif
