// The fixed parts of the wire, written once for both ends. All integers
// are little-endian.
//
// The login greeting is an unframed 80-byte block from the client: "L",
// the protocol version byte, " PLATFORM CHARSET", NULs to the end. The
// server answers it with a 16-bit status (0: go on with frames).
//
// A request frame opens with a 6-byte header: the body's length (32 bits)
// and the message code (16 bits). A reply frame opens with the body's
// length alone.
#ifndef VELORA_PROTOCOL_FRAMING_H
#define VELORA_PROTOCOL_FRAMING_H

#include <cstddef>
#include <cstdint>

class ClibConnection;

constexpr int kGreetingSize = 80;
constexpr uint8_t kProtocolVersion = 6;
constexpr int kGreetingStatusSize = 2;
constexpr int kRequestHeaderSize = 6;
constexpr int kReplyHeaderSize = 4;

// Greeting status codes (documented in the README).
enum GreetingStatus : int16_t {
  kGreetingAccepted = 0,
  kGreetingMalformed = 1,
  kGreetingBadProtocol = 2,
  kGreetingTooManyClients = 3,
  kGreetingBadCharset = 4,
  kGreetingNeedsTls = 5,  // plaintext from beyond loopback without --allow-plaintext
};

// Fills block with the greeting of this protocol version for platform and
// charset; false when the two do not fit.
[[nodiscard]] bool EncodeGreeting(const char* platform, const char* charset,
                                  uint8_t block[kGreetingSize]);
// Checks the block's frame: "L", the version, a blank, text, then only
// NULs. On kGreetingAccepted *text and *length give the text between the
// blank and the first NUL (platform and charset, unchecked).
GreetingStatus DecodeGreeting(const uint8_t block[kGreetingSize], const char** text,
                              size_t* length);
void EncodeGreetingStatus(GreetingStatus status, uint8_t out[kGreetingStatusSize]);
int16_t DecodeGreetingStatus(const uint8_t in[kGreetingStatusSize]);

// Reads one reply frame and drops it (the reply to a request whose
// answer is no longer wanted). False when the stream failed or the length
// is beyond any reply; the connection is then closed (out of step).
[[nodiscard]] bool DiscardReply(ClibConnection* connection);

// Client side: sends the greeting on connection and reads the server's
// status into *status; false when either fails on the socket.
[[nodiscard]] bool ExchangeGreeting(ClibConnection* connection, const char* platform,
                                    const char* charset, int16_t* status);

void EncodeRequestHeader(uint32_t length, uint16_t code, uint8_t out[kRequestHeaderSize]);
void DecodeRequestHeader(const uint8_t in[kRequestHeaderSize], uint32_t* length, uint16_t* code);
void EncodeReplyHeader(uint32_t length, uint8_t out[kReplyHeaderSize]);
uint32_t DecodeReplyHeader(const uint8_t in[kReplyHeaderSize]);

#endif
