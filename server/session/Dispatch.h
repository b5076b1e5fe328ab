// Decodes one request with the shared protocol classes, runs it on the
// session and encodes the reply frame.
#ifndef VELORA_SERVER_SESSION_DISPATCH_H
#define VELORA_SERVER_SESSION_DISPATCH_H

#include <cstdint>
#include <string>

#include "server/session/Session.h"

namespace velsrv {

// Handles the request with message code and body (size bytes, after the
// 6-byte frame header). On success stores the complete reply frame in
// *reply and returns true. Returns false, with the reason in *why, for an
// unknown message code, a body that does not decode, or the outcomes of
// parameter sets that ran but cannot be sent: the client's session then
// ends without a reply.
bool Dispatch(Session* session, uint16_t code, const uint8_t* body, uint32_t size,
              std::string* reply, std::string* why);

}  // namespace velsrv

#endif
