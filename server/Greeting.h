// The login greeting: an unframed 80-byte block from the client, answered
// with a 16-bit little-endian status.
#ifndef VELORA_SERVER_GREETING_H
#define VELORA_SERVER_GREETING_H

#include <cstdint>

namespace velsrv {

constexpr int kGreetingSize = 80;
constexpr uint8_t kProtocolVersion = 6;

// Greeting status codes (documented in the README).
enum GreetingStatus : int16_t {
  kGreetingAccepted = 0,
  kGreetingMalformed = 1,
  kGreetingBadProtocol = 2,
  kGreetingTooManyClients = 3,
  kGreetingBadCharset = 4,
  kGreetingNeedsTls = 5,  // plaintext from beyond loopback without --allow-plaintext
};

// Checks the block "L", the protocol byte, " PLATFORM CHARSET", NULs.
GreetingStatus CheckGreeting(const uint8_t block[kGreetingSize]);

}  // namespace velsrv

#endif
