// libFuzzer target: arbitrary bytes decoded as the reply body (or request
// body) of every message code, with optional allocation failure; decoded
// messages are encoded again. Input: byte 0 picks the message, byte 1 the
// direction, byte 2 an allocation to fail (0: none), the rest is the body.
#include <cstddef>
#include <cstdint>

#include "base/Alloc.h"
#include "protocol/MessageLayouts.h"
#include "protocol/Request.h"
#include "support/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  uint16_t code = MessageCodeAt(data[0] % MessageCount());
  bool reply = (data[1] & 1) == 0;
  Request* request = Request::CreateRequest(code);
  if (request == nullptr) __builtin_trap();
  const uint8_t* body = data + 3;
  uint32_t length = static_cast<uint32_t>(size - 3);
  if (data[2] != 0) SetAllocFailAfter(data[2] - 1);
  int status = -1;
  bool decoded =
      reply ? request->DecodeReplyBody(body, length, &status) : request->DecodeRequestBody(body, length, &status);
  if (!decoded && status != kStatusCommunicationFailure && status != kStatusMemoryFailure) __builtin_trap();
  if (decoded) {
    status = -1;
    bool encoded = reply ? request->EncodeReply(&status) : request->BuildFrame(&status);
    if (!encoded && status != kStatusMemoryFailure && status != kStatusValueTooLong) __builtin_trap();
  }
  ResetAllocFailure();
  delete request;
  return 0;
}
