// Greeting validation.
#include "server/session/Greeting.h"

#include <cctype>
#include <string>

#include "protocol/Extensions.h"

namespace velsrv {

GreetingStatus CheckGreeting(const uint8_t block[kGreetingSize]) {
  const char* start = nullptr;
  size_t length = 0;
  const GreetingStatus framed = DecodeGreeting(block, &start, &length);
  if (framed != kGreetingAccepted) return framed;
  std::string text(start, length);
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

bool IsCancelGreeting(const uint8_t block[kGreetingSize]) {
  const char* start = nullptr;
  size_t length = 0;
  const std::string platform = std::string(kCancelPlatform) + " ";
  return CheckGreeting(block) == kGreetingAccepted &&
         DecodeGreeting(block, &start, &length) == kGreetingAccepted &&
         std::string(start, length).compare(0, platform.size(), platform) == 0;
}

}  // namespace velsrv
