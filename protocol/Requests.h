// The concrete messages of the protocol, one class per message code. Their
// element sequences come from the catalogue (protocol/Catalog.cpp); the
// elements themselves are reached with Request::Get<...Element>().
#ifndef VELORA_PROTOCOL_REQUESTS_H
#define VELORA_PROTOCOL_REQUESTS_H

#include <cstdint>

#include "base/String.h"
#include "protocol/Catalog.h"
#include "protocol/Elements.h"
#include "protocol/Request.h"

// A message of the catalogue: its constructor appends the elements of
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

// X(code, ClassName): every message except the connect request, which has
// an operation of its own.
#define VEL_CATALOG_REQUESTS(X)      \
  X(0, AllocStatementRequest)        \
  X(4, ColumnsRequest)               \
  X(8, DisconnectRequest)            \
  X(9, GetErrorRequest)              \
  X(10, ExecDirectRequest)           \
  X(11, ExecuteRequest)              \
  X(13, FetchRequest)                \
  X(15, FreeStatementRequest)        \
  X(16, GetCursorNameRequest)        \
  X(17, GetDataRequest)              \
  X(18, GetRowNumberRequest)         \
  X(19, GetTypeInfoRequest)          \
  X(23, PrepareRequest)              \
  X(25, RowCountRequest)             \
  X(26, SetAccessModeRequest)        \
  X(27, SetAutocommitRequest)        \
  X(28, SetConcurrencyRequest)       \
  X(29, SetCursorNameRequest)        \
  X(30, SetCursorTypeRequest)        \
  X(31, SetMaxLengthRequest)         \
  X(32, SetMaxRowsRequest)           \
  X(33, SetNoscanRequest)            \
  X(35, SetRetrieveDataRequest)      \
  X(36, SetRowsetSizeRequest)        \
  X(38, SetIsolationRequest)         \
  X(39, SetUseBookmarksRequest)      \
  X(40, SpecialColumnsRequest)       \
  X(41, StatisticsRequest)           \
  X(43, TablesRequest)               \
  X(44, TransactRequest)

#define VEL_DECLARE_REQUEST(code, Name) using Name = CatalogRequest<code>;
VEL_CATALOG_REQUESTS(VEL_DECLARE_REQUEST)
#undef VEL_DECLARE_REQUEST

// Code 5: data source, user name and password in the header; the reply
// brings the server's version text and its thirteen value sizes.
class ConnectRequest : public CatalogRequest<5> {
 public:
  // Copies the three texts into the header elements in that order; false
  // when a copy runs out of memory (or the request failed to build).
  bool SetLogin(const String& dataSource, const String& userName, const String& password);
};

#endif
