// Encoding, decoding and trace lines of the number, code, text, vector and
// value-size elements.
#include "protocol/BasicElements.h"

#include <cstdio>

#include "base/Check.h"
#include "base/Trace.h"
#include "protocol/ElementNames.h"
#include "protocol/WireCodec.h"

namespace {

bool Tracing() { return TraceEnabled('P', 2); }

// "name" followed by suffix, for titles of dumps and string lines.
void Title(char (&buffer)[128], int elementId, const char* suffix) {
  std::snprintf(buffer, sizeof buffer, "%s%s", ElementName(elementId), suffix);
}

}  // namespace

bool ShortElement::GetElement(ElementCursor* cursor, int* status) {
  if (!wire::Read(cursor, &value, status)) return false;
  Trace('P', 2, "%s.GetElement()=%d", ElementName(ElementId()), value);
  return true;
}

bool ShortElement::PutElement(ElementCursor* cursor, int* status) {
  Trace('P', 2, "%s.PutElement()=%d", ElementName(ElementId()), value);
  return wire::Write(cursor, value, status);
}

bool LongElement::GetElement(ElementCursor* cursor, int* status) {
  if (!wire::Read(cursor, &value, status)) return false;
  Trace('P', 2, "%s.GetElement()=%ld", ElementName(ElementId()), static_cast<long>(value));
  return true;
}

bool LongElement::PutElement(ElementCursor* cursor, int* status) {
  Trace('P', 2, "%s.PutElement()=%ld", ElementName(ElementId()), static_cast<long>(value));
  return wire::Write(cursor, value, status);
}

bool ULongElement::GetElement(ElementCursor* cursor, int* status) {
  if (!wire::Read(cursor, &value, status)) return false;
  Trace('P', 2, "%s.GetElement()=%lu", ElementName(ElementId()), static_cast<unsigned long>(value));
  return true;
}

bool ULongElement::PutElement(ElementCursor* cursor, int* status) {
  Trace('P', 2, "%s.PutElement()=%lu", ElementName(ElementId()), static_cast<unsigned long>(value));
  return wire::Write(cursor, value, status);
}

// The "enumerated" lines show the 16-bit code as it travels (so -1 shows
// as 65535); the element lines show the 32-bit value's symbol, or for an
// element without value names (errorCode) the number.
bool EnumElement::GetEnumeratedElement(ElementCursor* cursor, int* status, uint16_t* code) {
  if (!wire::Read(cursor, code, status)) return false;
  Trace('P', 2, "%s.GetEnumeratedElement()=%d", ElementName(ElementId()), *code);
  return true;
}

bool EnumElement::PutEnumeratedElement(ElementCursor* cursor, int* status) {
  uint16_t code = static_cast<uint16_t>(value);
  Trace('P', 2, "%s.PutEnumeratedElement()=%d", ElementName(ElementId()), code);
  return wire::Write(cursor, code, status);
}

bool EnumElement::GetElement(ElementCursor* cursor, int* status) {
  uint16_t code = 0;
  if (!GetEnumeratedElement(cursor, status, &code)) return false;
  value = static_cast<int16_t>(code);
  if (Tracing()) {
    const int id = ElementId();
    if (HasValueNames(id))
      Trace('P', 2, "%s.GetElement()=%s", ElementName(id), ValueName(id, value));
    else
      Trace('P', 2, "%s.GetElement()=%d", ElementName(id), static_cast<int>(value));
  }
  return true;
}

bool EnumElement::PutElement(ElementCursor* cursor, int* status) {
  if (Tracing()) {
    const int id = ElementId();
    if (HasValueNames(id))
      Trace('P', 2, "%s.PutElement()=%s", ElementName(id), ValueName(id, value));
    else
      Trace('P', 2, "%s.PutElement()=%d", ElementName(id), static_cast<int>(value));
  }
  return PutEnumeratedElement(cursor, status);
}

// A received length is taken as unsigned: a server text of 32768..65535
// bytes arrives whole instead of being dropped as a negative length.
bool StringElement::GetElement(ElementCursor* cursor, int* status) {
  ElementCursor start = *cursor;
  uint16_t n = 0;
  if (!wire::Read(cursor, &n, status)) return false;
  if (cursor->Left() < n) {
    *cursor = start;
    *status = kStatusCommunicationFailure;
    return false;
  }
  if (!value.SetString(reinterpret_cast<const char*>(cursor->position), static_cast<int32_t>(n))) {
    *cursor = start;
    *status = kStatusMemoryFailure;
    return false;
  }
  cursor->position += n;
  if (Tracing()) {
    char name[128];
    Title(name, ElementId(), ".GetElement()");
    TraceString('P', 2, name, value.TextOrEmpty());
  }
  return true;
}

bool StringElement::PutElement(ElementCursor* cursor, int* status) {
  if (!FitsOnWire()) {
    *status = kStatusValueTooLong;
    return false;
  }
  if (Tracing()) {
    char name[128];
    Title(name, ElementId(), ".PutElement()");
    // A password is never shown.
    TraceString('P', 2, name, ElementId() == El::kPassword ? "****" : value.TextOrEmpty());
  }
  uint16_t n = static_cast<uint16_t>(value.Length());
  if (cursor->Left() < static_cast<std::size_t>(n) + 2) {
    *status = kStatusInternalError;
    return false;
  }
  wire::Write(cursor, n, status);
  return wire::Give(cursor, value.TextOrEmpty(), n, status);
}

ShortVectorElement::~ShortVectorElement() { VelFree(values_); }

bool ShortVectorElement::Reset() { return SetCount(0); }

bool ShortVectorElement::SetCount(uint16_t n) {
  VelFree(values_);
  values_ = nullptr;
  count_ = 0;
  if (n == 0) return true;
  values_ = static_cast<uint16_t*>(VelAlloc(sizeof(uint16_t) * n));
  if (values_ == nullptr) return false;
  for (uint16_t i = 0; i < n; ++i) values_[i] = 0;
  count_ = n;
  return true;
}

void ShortVectorElement::SetAt(uint16_t index, uint16_t v) {
  VEL_CHECK_TEXT(index < count_, "idx < numElements", VEL_MODULE);
  values_[index] = v;
}

uint16_t ShortVectorElement::At(uint16_t index) const {
  VEL_CHECK_TEXT(index < count_, "idx < numElements", VEL_MODULE);
  return values_[index];
}

bool ShortVectorElement::GetElement(ElementCursor* cursor, int* status) {
  ElementCursor start = *cursor;
  uint16_t n = 0;
  if (!wire::Read(cursor, &n, status)) return false;
  std::size_t bytes = 2u * static_cast<std::size_t>(n);
  if (cursor->Left() < bytes) {
    *cursor = start;
    *status = kStatusCommunicationFailure;
    return false;
  }
  if (!SetCount(n)) {
    *cursor = start;
    *status = kStatusMemoryFailure;
    return false;
  }
  const uint8_t* data = cursor->position;
  wire::Take(cursor, values_, bytes, status);
  if (Tracing()) {
    char title[128];
    Title(title, ElementId(), ".GetElement()");
    if (n > 0) {
      TraceDump(title, data, bytes);
    } else {
      Trace('P', 2, "%s", title);
    }
  }
  return true;
}

bool ShortVectorElement::PutElement(ElementCursor* cursor, int* status) {
  std::size_t bytes = ElementSize();
  if (cursor->Left() < bytes) {
    *status = kStatusInternalError;
    return false;
  }
  const uint8_t* start = cursor->position;
  wire::Write(cursor, count_, status);
  wire::Give(cursor, values_, 2u * static_cast<std::size_t>(count_), status);
  if (Tracing()) {
    char title[128];
    Title(title, ElementId(), ".PutElement()");
    TraceDump(title, start, bytes);
  }
  return true;
}

bool NativeLengthValuesElement::GetElement(ElementCursor* cursor, int* status) {
  const uint8_t* start = cursor->position;
  if (!wire::Take(cursor, values, sizeof values, status)) return false;
  if (Tracing()) {
    char title[128];
    Title(title, kId, ".GetElement()");
    TraceDump(title, start, sizeof values);
  }
  return true;
}

bool NativeLengthValuesElement::PutElement(ElementCursor* cursor, int* status) {
  const uint8_t* start = cursor->position;
  if (!wire::Give(cursor, values, sizeof values, status)) return false;
  if (Tracing()) {
    char title[128];
    Title(title, kId, ".PutElement()");
    TraceDump(title, start, sizeof values);
  }
  return true;
}
