// Building requests from the message layouts, sizing and encoding frames, and
// decoding bodies into the element lists.
#include "protocol/Request.h"

#include <initializer_list>

#include "base/Trace.h"
#include "protocol/BasicElements.h"
#include "protocol/MessageLayouts.h"
#include "protocol/ElementNames.h"
#include "protocol/Elements.h"
#include "protocol/Framing.h"

namespace {

bool AppendSequence(ElementList* list, const int8_t* ids, std::size_t capacity) {
  for (std::size_t i = 0; i < capacity && ids[i] != MessageLayout::kEnd; ++i) {
    Element* element = CreateElement(ids[i]);
    if (element == nullptr) return false;
    list->Append(element);
  }
  return true;
}

Element* Next(Element* e) { return static_cast<Element*>(e->NextItem()); }

}  // namespace

Request::~Request() { ReleaseFrame(); }

void Request::ReleaseFrame() {
  VelFree(frame_);
  frame_ = nullptr;
  frameLength_ = 0;
  frameCapacity_ = 0;
}

// A frame buffer large enough is used again: a request reset for message
// after message builds or reads each frame without allocating.
bool Request::Allocate(uint32_t length, int* status) {
  if (frame_ != nullptr && length <= frameCapacity_ && length != 0) {
    frameLength_ = length;
    return true;
  }
  ReleaseFrame();
  frame_ = static_cast<uint8_t*>(VelAlloc(length));
  if (frame_ == nullptr) {
    *status = kStatusMemoryFailure;
    return false;
  }
  frameLength_ = length;
  frameCapacity_ = length;
  return true;
}

bool Request::Reset() {
  for (ElementList* list : {&requestHeader_, &requestBody_, &replyHeader_, &replyBody_}) {
    for (Element* e = list->Head(); e != nullptr; e = Next(e))
      if (!e->Reset()) return false;
  }
  constexpr uint32_t kKeptFrameBytes = 64u << 10;
  if (frameCapacity_ > kKeptFrameBytes) ReleaseFrame();
  frameLength_ = 0;
  size_ = 0;
  flags_ &= ~kWrittenFlag;
  return true;
}

void Request::Build(uint16_t code) {
  const MessageLayout* layout = FindMessageLayout(code);
  const int8_t returnCode[] = {El::kReturnCode, MessageLayout::kEnd};
  bool ok = layout != nullptr &&
            AppendSequence(&requestHeader_, layout->requestHeader, sizeof layout->requestHeader) &&
            AppendSequence(&requestBody_, layout->requestBody, sizeof layout->requestBody) &&
            AppendSequence(&replyHeader_, returnCode, sizeof returnCode) &&
            AppendSequence(&replyBody_, layout->replyBody, sizeof layout->replyBody);
  if (!ok) flags_ |= kFailedFlag;
}

void Request::SetStatementId(uint32_t id) {
  Element* first = requestHeader_.Head();
  if (first != nullptr && first->ElementId() == El::kStatementId) {
    static_cast<ULongElement*>(first)->value = id;
  }
}

int32_t Request::ReturnCode() {
  Element* first = replyHeader_.Head();
  if (first == nullptr || first->ElementId() != El::kReturnCode) return -1;
  return static_cast<EnumElement*>(first)->value;
}

Element* Request::FindElement(int elementId) {
  ElementList* lists[] = {&requestHeader_, &requestBody_, &replyHeader_, &replyBody_};
  for (ElementList* list : lists) {
    for (Element* e = list->Head(); e != nullptr; e = Next(e)) {
      if (e->ElementId() == elementId) return e;
    }
  }
  return nullptr;
}

// Sizes the frame exactly, then encodes: prefix bytes of frame header (6
// for a request: length and code; 4 for a reply: length), then the
// elements of the two lists in order (a request's without those it leaves
// out, which are last).
bool Request::Encode(ElementList* first, ElementList* second, uint32_t prefix, int* status) {
  const bool request = prefix == kRequestHeaderSize;
  uint64_t size = 0;
  for (ElementList* list : {first, second}) {
    for (Element* e = list->Head(); e != nullptr; e = Next(e)) {
      if (request && e->LeftOutOfRequest()) continue;
      if (!e->FitsOnWire()) {
        Trace('P', 1, "%s does not fit its element; nothing is sent", ElementName(e->ElementId()));
        *status = kStatusValueTooLong;
        return false;
      }
      size += e->ElementSize();
    }
  }
  if (size > kMaxBodyLength) {
    Trace('P', 1, "frame body of %llu bytes exceeds %lu; nothing is sent",
          static_cast<unsigned long long>(size), static_cast<unsigned long>(kMaxBodyLength));
    *status = kStatusBodyTooLong;
    return false;
  }
  size_ = 0;
  if (!Allocate(static_cast<uint32_t>(size) + prefix, status)) return false;
  size_ = static_cast<uint32_t>(size);
  if (prefix == kRequestHeaderSize)
    EncodeRequestHeader(size_, MessageCode(), frame_);
  else
    EncodeReplyHeader(size_, frame_);
  ElementCursor cursor{frame_ + prefix, frame_ + frameLength_};
  for (ElementList* list : {first, second}) {
    for (Element* e = list->Head(); e != nullptr; e = Next(e)) {
      if (request && e->LeftOutOfRequest()) continue;
      if (!e->PutElement(&cursor, status)) return false;
    }
  }
  return true;
}

bool Request::BuildFrame(int* status) {
  return Encode(&requestHeader_, &requestBody_, kRequestHeaderSize, status);
}

bool Request::EncodeReply(int* status) {
  return Encode(&replyHeader_, &replyBody_, kReplyHeaderSize, status);
}

// Decoding only reads through the cursor; the cast serves the cursor type
// that encoding shares.
bool Request::Decode(ElementList* first, ElementList* second, const uint8_t* body, uint32_t size,
                     int* status, bool reply) {
  ElementCursor cursor{const_cast<uint8_t*>(body), body + size};
  for (ElementList* list : {first, second}) {
    for (Element* e = list->Head(); e != nullptr; e = Next(e)) {
      if (e->GetElement(&cursor, status)) continue;
      if (*status != kStatusCommunicationFailure) return false;
      // A server answers a failed request with its return code alone.
      if (reply && e != replyHeader_.Head() && ReturnCode() != 0) return true;
      Trace('P', 1, "body of %lu bytes ends inside %s", static_cast<unsigned long>(size),
            ElementName(e->ElementId()));
      return false;
    }
  }
  return true;
}

bool Request::DecodeReplyBody(const uint8_t* body, uint32_t size, int* status) {
  return Decode(&replyHeader_, &replyBody_, body, size, status, true);
}

bool Request::DecodeRequestBody(const uint8_t* body, uint32_t size, int* status) {
  return Decode(&requestHeader_, &requestBody_, body, size, status, false);
}
