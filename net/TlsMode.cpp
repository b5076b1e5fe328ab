// The names of the TLS modes, shared by every build.
#include <cctype>

#include "net/Tls.h"

namespace {

bool SameName(const char* text, const char* name) {
  for (; *text && *name; ++text, ++name)
    if (std::tolower(static_cast<unsigned char>(*text)) != *name) return false;
  return *text == *name;
}

}  // namespace

bool ParseTlsMode(const char* text, TlsMode* mode) {
  const struct {
    const char* name;
    TlsMode mode;
  } modes[] = {{"", TlsMode::kOff},
               {"off", TlsMode::kOff},
               {"prefer", TlsMode::kPrefer},
               {"require", TlsMode::kRequire},
               {"verify-full", TlsMode::kVerifyFull}};
  for (const auto& m : modes) {
    if (SameName(text ? text : "", m.name)) {
      *mode = m.mode;
      return true;
    }
  }
  return false;
}
