// The greeting block, its status and the frame headers.
#include "protocol/Framing.h"

#include <cstdio>
#include <cstring>

namespace {

void Put16(uint16_t value, uint8_t* out) {
  out[0] = static_cast<uint8_t>(value & 0xFF);
  out[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint32_t value, uint8_t* out) {
  Put16(static_cast<uint16_t>(value & 0xFFFF), out);
  Put16(static_cast<uint16_t>(value >> 16), out + 2);
}

uint16_t Get16(const uint8_t* in) { return static_cast<uint16_t>(in[0] | (in[1] << 8)); }

uint32_t Get32(const uint8_t* in) {
  return Get16(in) | (static_cast<uint32_t>(Get16(in + 2)) << 16);
}

}  // namespace

bool EncodeGreeting(const char* platform, const char* charset, uint8_t block[kGreetingSize]) {
  std::memset(block, 0, kGreetingSize);
  // One byte more than the block: the text needs no terminating NUL when
  // it fills the block up to its last byte.
  char text[kGreetingSize + 1];
  const int n = std::snprintf(text, sizeof text, "L%c %s %s", kProtocolVersion, platform, charset);
  if (n < 0 || n > kGreetingSize) return false;
  std::memcpy(block, text, static_cast<size_t>(n));
  return true;
}

GreetingStatus DecodeGreeting(const uint8_t block[kGreetingSize], const char** text,
                              size_t* length) {
  if (block[0] != 'L') return kGreetingMalformed;
  if (block[1] != kProtocolVersion) return kGreetingBadProtocol;
  if (block[2] != ' ') return kGreetingMalformed;
  int end = 3;
  while (end < kGreetingSize && block[end] != 0) ++end;
  for (int i = end; i < kGreetingSize; ++i)
    if (block[i] != 0) return kGreetingMalformed;
  *text = reinterpret_cast<const char*>(block + 3);
  *length = static_cast<size_t>(end - 3);
  return kGreetingAccepted;
}

void EncodeGreetingStatus(GreetingStatus status, uint8_t out[kGreetingStatusSize]) {
  Put16(static_cast<uint16_t>(status), out);
}

int16_t DecodeGreetingStatus(const uint8_t in[kGreetingStatusSize]) {
  return static_cast<int16_t>(Get16(in));
}

void EncodeRequestHeader(uint32_t length, uint16_t code, uint8_t out[kRequestHeaderSize]) {
  Put32(length, out);
  Put16(code, out + 4);
}

void DecodeRequestHeader(const uint8_t in[kRequestHeaderSize], uint32_t* length, uint16_t* code) {
  *length = Get32(in);
  *code = Get16(in + 4);
}

void EncodeReplyHeader(uint32_t length, uint8_t out[kReplyHeaderSize]) { Put32(length, out); }

uint32_t DecodeReplyHeader(const uint8_t in[kReplyHeaderSize]) { return Get32(in); }
