// Encoding and decoding of parameterSets and batchOutcomes.
#include "protocol/Batch.h"

#include <cstring>

#include "base/Alloc.h"
#include "base/Trace.h"
#include "protocol/BasicElements.h"
#include "protocol/DataSets.h"
#include "protocol/ElementNames.h"
#include "protocol/FetchData.h"
#include "protocol/WireCodec.h"

namespace {

// Advances over n bytes; false (status 0) when fewer are left.
bool Skip(ElementCursor* cursor, uint64_t n, int* status) {
  if (cursor->Left() < n) {
    *status = kStatusCommunicationFailure;
    return false;
  }
  cursor->position += n;
  return true;
}

// One parameterDataSetElement encoding.
bool SkipSet(ElementCursor* cursor, int* status) {
  return SkipValueSet(cursor, ParameterDataElement::kHeadBytes, status);
}

bool SkipText(ElementCursor* cursor, int* status) {
  uint16_t n = 0;
  return wire::Read(cursor, &n, status) && Skip(cursor, n, status);
}

// One outcome: return code, row count, and the record unless the code is 0.
bool SkipOutcome(ElementCursor* cursor, int* status) {
  int16_t rc = 0;
  if (!wire::Read(cursor, &rc, status) || !Skip(cursor, 4, status)) return false;
  if (rc == 0) return true;
  return SkipText(cursor, status) && Skip(cursor, 2, status) && SkipText(cursor, status) &&
         SkipText(cursor, status) && Skip(cursor, 2, status);
}

// A text of an outcome: its length (cut to what a string element
// carries) and its bytes.
void PutText(ElementCursor* cursor, const char* text, uint16_t length, int* status) {
  const uint16_t n = length > kMaxStringElementLength ? kMaxStringElementLength : length;
  wire::Write(cursor, n, status);
  wire::Give(cursor, text, n, status);
}

void GetText(ElementCursor* cursor, const char** text, uint16_t* length, int* status) {
  wire::Read(cursor, length, status);
  *text = reinterpret_cast<const char*>(cursor->position);
  cursor->position += *length;
}

uint16_t Cut(uint16_t n) {
  return n > kMaxStringElementLength ? static_cast<uint16_t>(kMaxStringElementLength) : n;
}

}  // namespace

bool ParameterSetsElement::GetElement(ElementCursor* cursor, int* status) {
  return TakeItems(cursor, status, SkipSet);
}

bool ParameterSetsElement::BeginSet() {
  if (count_ >= kMaxItems || !Reserve(2)) return false;
  setStart_ = length_;
  setValues_ = 0;
  length_ += 2;
  return true;
}

bool ParameterSetsElement::AppendValue(uint16_t number, int32_t sqlType, const void* data,
                                       uint32_t length, bool isNull) {
  if (setValues_ == UINT16_MAX || !Reserve(9ull + length)) return false;
  int status = 0;
  ElementCursor cursor = WriteCursor();
  wire::Write(&cursor, number, &status);
  wire::Write(&cursor, static_cast<uint16_t>(sqlType), &status);
  ValueBytes::Put(&cursor, isNull, data, length, &status);
  length_ += 9 + length;
  ++setValues_;
  return true;
}

void ParameterSetsElement::EndSet() {
  std::memcpy(bytes_ + setStart_, &setValues_, 2);
  ++count_;
}

void ParameterSetsElement::DropSet() { length_ = setStart_; }

bool ParameterSetsElement::NextSet(uint16_t* values) {
  if (taken_ >= count_) return false;
  std::memcpy(values, bytes_ + offset_, 2);
  offset_ += 2;
  ++taken_;
  return true;
}

void ParameterSetsElement::NextValue(uint16_t* number, int16_t* sqlType, bool* isNull,
                                     const uint8_t** data, uint32_t* length) {
  // GetElement has checked every set: the bytes are there.
  uint8_t head[9];
  std::memcpy(head, bytes_ + offset_, sizeof head);
  std::memcpy(number, head, 2);
  std::memcpy(sqlType, head + 2, 2);
  *isNull = head[4] != 0;
  std::memcpy(length, head + 5, 4);
  *data = bytes_ + offset_ + 9;
  offset_ += 9 + *length;
}

bool BatchOutcomesElement::GetElement(ElementCursor* cursor, int* status) {
  return TakeItems(cursor, status, SkipOutcome);
}

bool BatchOutcomesElement::Append(const BatchOutcome& o) {
  uint64_t size = 6;
  if (o.returnCode != 0)
    size += 10ull + Cut(o.sqlstateLength) + Cut(o.textLength) + Cut(o.fileLength);
  if (count_ >= kMaxItems || !Reserve(size)) return false;
  int status = 0;
  ElementCursor cursor = WriteCursor();
  wire::Write(&cursor, o.returnCode, &status);
  wire::Write(&cursor, o.rows, &status);
  if (o.returnCode != 0) {
    PutText(&cursor, o.sqlstate, o.sqlstateLength, &status);
    wire::Write(&cursor, static_cast<uint16_t>(o.native), &status);
    PutText(&cursor, o.text, o.textLength, &status);
    PutText(&cursor, o.file, o.fileLength, &status);
    wire::Write(&cursor, o.line, &status);
  }
  length_ += static_cast<uint32_t>(size);
  ++count_;
  return true;
}

bool BatchOutcomesElement::Next(BatchOutcome* o) {
  if (taken_ >= count_) return false;
  // GetElement has checked every outcome: the bytes are there.
  int status = 0;
  ElementCursor cursor = ReadCursor();
  *o = BatchOutcome();
  wire::Read(&cursor, &o->returnCode, &status);
  wire::Read(&cursor, &o->rows, &status);
  if (o->returnCode != 0) {
    GetText(&cursor, &o->sqlstate, &o->sqlstateLength, &status);
    int16_t native = 0;  // as the get-error reply's errorCode
    wire::Read(&cursor, &native, &status);
    o->native = native;
    GetText(&cursor, &o->text, &o->textLength, &status);
    GetText(&cursor, &o->file, &o->fileLength, &status);
    wire::Read(&cursor, &o->line, &status);
  }
  offset_ = static_cast<uint32_t>(cursor.position - bytes_);
  ++taken_;
  return true;
}
