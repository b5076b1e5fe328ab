// The server's check of the login greeting (the block and its status
// codes are protocol/Framing.h's).
#ifndef VELORA_SERVER_SESSION_GREETING_H
#define VELORA_SERVER_SESSION_GREETING_H

#include <cstdint>

#include "protocol/Framing.h"

namespace velsrv {

// Checks the block's frame, then " PLATFORM CHARSET": a printable platform
// and the one charset served.
GreetingStatus CheckGreeting(const uint8_t block[kGreetingSize]);
// True for an accepted greeting of a cancel connection (its platform is
// the cancel extension's).
bool IsCancelGreeting(const uint8_t block[kGreetingSize]);

}  // namespace velsrv

#endif
