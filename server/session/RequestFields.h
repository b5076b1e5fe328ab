// Reading a request's elements and filling a reply's, for the message
// handlers (Dispatch.cpp).
#ifndef VELORA_SERVER_SESSION_REQUESTFIELDS_H
#define VELORA_SERVER_SESSION_REQUESTFIELDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/Elements.h"
#include "protocol/Request.h"
#include "server/session/Session.h"

namespace velsrv {

// The element's text; empty when the message has no such element.
std::string Text(StringElement* e);
// Sets the element's text, cut to the longest a string element carries;
// false when memory runs out.
[[nodiscard]] bool SetText(StringElement* e, const std::string& text);
// The request's statement identifier (0: none, the connection).
uint32_t Id(Request* r);
// The value of the request's element T (0 when it has none).
template <class T>
int32_t Code(Request* r) {
  T* e = r->Get<T>();
  return e ? e->value : 0;
}
// The result set description reply element; false when memory runs out.
bool SetDescription(Request* r, const std::vector<ColumnOut>& columns,
                    ResultSetDescriptionElement* into = nullptr);
std::vector<ParamIn> Parameters(Request* r);
// The column numbers a fetch asks for.
std::vector<uint16_t> Wanted(Request* r);
// Appends one value to a fetch reply; false when memory runs out.
bool PutCell(FetchDataList* list, const CellOut& cell);
// The get-error reply's elements, which the fetch-block reply shares.
void PutDiagnostic(Request* r, const Diagnostic& d);

}  // namespace velsrv

#endif
