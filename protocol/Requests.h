// The concrete messages of the protocol, one class per message code. Their
// element sequences come from the message layouts (protocol/MessageLayouts.cpp); the
// elements themselves are reached with Request::Get<...Element>().
#ifndef VELORA_PROTOCOL_REQUESTS_H
#define VELORA_PROTOCOL_REQUESTS_H

#include <cstdint>

#include "base/String.h"
#include "protocol/MessageLayouts.h"
#include "protocol/Elements.h"
#include "protocol/Request.h"

// A message of the layouts: its constructor appends the elements of
// code's sequences in a zero state (Failed() when one cannot be created).
template <uint16_t Code>
class CatalogRequest : public Request {
 public:
  static constexpr uint16_t kCode = Code;
  CatalogRequest() { Build(Code); }
  uint16_t MessageCode() const override { return Code; }
  bool ReturnsResultSet() const override {
    const MessageLayout* layout = FindMessageLayout(Code);
    return layout != nullptr && layout->returnsResultSet;
  }
};

// AllocStatementRequest, ColumnsRequest, ...: one class per message code.
#define VEL_DECLARE_REQUEST(code, Name) using Name##Request = CatalogRequest<Msg::k##Name>;
VEL_MESSAGES(VEL_DECLARE_REQUEST)
#undef VEL_DECLARE_REQUEST

// Data source, user name and password in the header; the reply
// brings the server's version text and its thirteen value sizes.
class ConnectRequest : public CatalogRequest<Msg::kConnect> {
 public:
  // Copies the three texts into the header elements in that order; false
  // when a copy runs out of memory (or the request failed to build).
  bool SetLogin(const String& dataSource, const String& userName, const String& password);
};

#endif
