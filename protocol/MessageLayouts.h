// The message layouts: per message code (protocol/WireNumbers.h), the
// element numbers of the request header, request body and reply body (the
// reply header is always returnCode alone), and whether the reply is a
// result set.
#ifndef VELORA_PROTOCOL_MESSAGELAYOUTS_H
#define VELORA_PROTOCOL_MESSAGELAYOUTS_H

#include <cstdint>

#include "protocol/WireNumbers.h"

struct MessageLayout {
  // Each sequence ends at the first negative entry.
  static constexpr int kEnd = -1;
  uint16_t code;
  bool returnsResultSet;
  int8_t requestHeader[4];
  int8_t requestBody[8];
  int8_t replyBody[18];  // the connect reply has the most: one per offer
};

// The layout of a message code, or null for a code that is never sent.
const MessageLayout* FindMessageLayout(uint16_t code);

// Number of message codes in the layouts and the i-th of them (tests and
// fuzzing walk every message this way).
int MessageCount();
uint16_t MessageCodeAt(int index);

#endif
