// Greeting validation.
#include "server/Greeting.h"

#include <cctype>
#include <string>

namespace velsrv {

GreetingStatus CheckGreeting(const uint8_t block[kGreetingSize]) {
  if (block[0] != 'L') return kGreetingMalformed;
  if (block[1] != kProtocolVersion) return kGreetingBadProtocol;
  if (block[2] != ' ') return kGreetingMalformed;
  int end = 3;
  while (end < kGreetingSize && block[end] != 0) ++end;
  for (int i = end; i < kGreetingSize; ++i)
    if (block[i] != 0) return kGreetingMalformed;
  std::string text(reinterpret_cast<const char*>(block + 3), end - 3);
  size_t blank = text.find(' ');
  if (blank == std::string::npos || blank == 0 || blank + 1 >= text.size())
    return kGreetingMalformed;
  std::string platform = text.substr(0, blank);
  std::string charset = text.substr(blank + 1);
  if (charset.find(' ') != std::string::npos) return kGreetingMalformed;
  for (char c : platform)
    if (!std::isgraph(static_cast<unsigned char>(c))) return kGreetingMalformed;
  std::string lower;
  for (char c : charset) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower != "iso8859-1") return kGreetingBadCharset;
  return kGreetingAccepted;
}

}  // namespace velsrv
