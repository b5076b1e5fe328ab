// Test helpers: one wire sample per element kind (non-zero in every field),
// filling an element from its kind's sample, and encoding or decoding an
// element to or from bytes.
#ifndef VELORA_TESTS_PROTOCOL_FILL_H
#define VELORA_TESTS_PROTOCOL_FILL_H

#include <string>

#include "protocol/Elements.h"
#include "support/bytes.h"

// The sample bytes of e's kind; "" for a kind it does not know.
inline std::string SampleOf(Element* e) {
  const char* hex = "";
  if (dynamic_cast<ShortElement*>(e)) hex = "9c ff";
  if (dynamic_cast<LongElement*>(e)) hex = "90 ee fe ff";
  if (dynamic_cast<ULongElement*>(e)) hex = "01 00 00 80";
  if (dynamic_cast<EnumElement*>(e)) hex = "fb ff";
  if (dynamic_cast<StringElement*>(e)) hex = "05 00 'te' e4 ' x'";
  if (dynamic_cast<ShortVectorElement*>(e)) hex = "03 00 01 ff 02 ff 03 ff";
  if (dynamic_cast<NativeLengthValuesElement*>(e))
    hex = "0a 00 01 00 06 00 0c 00 08 00 08 00 04 00 0c 00 04 00 02 00 06 00 10 00 01 00";
  if (dynamic_cast<CancelKeyElement*>(e)) hex = "01 02 03 04 05 06 07 88";
  // count, then each answer's 16-bit information type and 32-bit value
  if (dynamic_cast<InfoAnswersElement*>(e)) hex = "02 00 32 00 59 14 00 00 73 00 21 00 00 80";
  // column, null flag, 32-bit length, bytes
  if (dynamic_cast<FetchDataElement*>(e)) hex = "02 00 00 04 00 00 00 01 02 00 03";
  if (dynamic_cast<FetchDataSetElement*>(e))
    hex = "03 00 01 00 00 03 00 00 00 'row' 02 00 01 00 00 00 00 03 00 00 01 00 00 00 'x'";
  // row count, then each row as a fetchDataSet
  if (dynamic_cast<RowBlockElement*>(e)) hex = "02 00 01 00 01 00 00 02 00 00 00 'ab' 00 00";
  // number, SQL type, null flag, 32-bit length, bytes
  if (dynamic_cast<ParameterDataElement*>(e)) hex = "01 00 fb ff 00 03 00 00 00 10 20 30";
  if (dynamic_cast<ParameterDataSetElement*>(e))
    hex = "02 00 01 00 0c 00 00 03 00 00 00 'abc' 02 00 04 00 01 00 00 00 00";
  // set count, then each set as a parameterDataSetElement
  if (dynamic_cast<ParameterSetsElement*>(e)) hex = "02 00 01 00 01 00 04 00 00 04 00 00 00 01 02 03 04 00 00";
  // outcome count; return code, row count, and after an error its record
  if (dynamic_cast<BatchOutcomesElement*>(e))
    hex = "02 00 00 00 01 00 00 00 ff ff ff ff ff ff 05 00 '23000' 05 00 03 00 'dup' 01 00 'f' 0c 00";
  // Per column: name, length, nullability, owner, precision, scale, table,
  // SQL type, updatable.
  if (dynamic_cast<ResultSetDescriptionElement*>(e)) {
    hex =
        "02 00 02 00 'ID' 0a 00 00 00 01 00 00 00 14 00 00 00 02 00 01 00 'T' 04 00 01 00"
        " 04 00 'NAME' 0b 00 00 00 00 00 05 00 'owner' 15 00 00 00 03 00 01 00 'T' 0c 00 00 00";
  }
  return FromHex(hex);
}

// The bytes of e's encoding ("" when encoding fails).
inline std::string Encode(Element* e, int* status = nullptr) {
  std::string out(e->ElementSize(), '\0');
  int local = -1;
  ElementCursor c{reinterpret_cast<uint8_t*>(&out[0]), reinterpret_cast<uint8_t*>(&out[0]) + out.size()};
  if (!e->PutElement(&c, status ? status : &local)) return "";
  return c.position == reinterpret_cast<uint8_t*>(&out[0]) + out.size() ? out : "size mismatch";
}

// Decodes bytes into e; returns the bytes consumed, or -1 with *status.
inline long Decode(Element* e, const std::string& bytes, int* status) {
  std::string copy = bytes;
  uint8_t* start = reinterpret_cast<uint8_t*>(&copy[0]);
  ElementCursor c{start, start + copy.size()};
  return e->GetElement(&c, status) ? static_cast<long>(c.position - start) : -1;
}

// Fills e from its kind's sample; false when that fails.
inline bool FillElement(Element* e) {
  int status = -1;
  std::string sample = SampleOf(e);
  return !sample.empty() && Decode(e, sample, &status) == static_cast<long>(sample.size());
}

#endif
