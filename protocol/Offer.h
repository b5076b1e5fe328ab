// An offer a server appends to its connect reply: a 16-bit code after the
// last element of the reply (protocol/BLOCKS.md, protocol/KEYS.md); and a
// wish a driver appends to a request body, sent only when not 0
// (protocol/CATALOG3.md).
#ifndef VELORA_PROTOCOL_OFFER_H
#define VELORA_PROTOCOL_OFFER_H

#include "protocol/BasicElements.h"

// A server that does not know the offer ends its reply before it: a body
// that ends where this element would start decodes as 0 (nothing offered).
template <int Id>
class OfferElement final : public EnumElement {
 public:
  static constexpr int kId = Id;
  int ElementId() const override { return Id; }
  bool GetElement(ElementCursor* cursor, int* status) override {
    if (cursor->Left() == 0) {
      value = 0;
      return true;
    }
    return EnumElement::GetElement(cursor, status);
  }
  bool LeftOutOfRequest() const override { return value == 0; }
};

#endif
