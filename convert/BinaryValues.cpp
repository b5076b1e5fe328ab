// Loading and converting the binary values.
#include "convert/BinaryValues.h"

#include <cstring>

#include "convert/ValueOutput.h"
#include "protocol/ValueLayout.h"

BinaryValueBase::~BinaryValueBase() { VelFree(bytes_); }

int BinaryValueBase::GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  uint64_t next = 0;
  return PutPiece(PieceForm::kHexText,
                  {reinterpret_cast<const char*>(bytes_), bytes_ ? length : 0, length}, 0, rgbValue,
                  cbValueMax, pcbValue, &next);
}

int BinaryValueBase::GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  return PutCutBytes(bytes_, bytes_ ? length : 0, length, rgbValue, cbValueMax, pcbValue);
}

bool BinaryValueBase::HeldBytes(const char** bytes, uint64_t* held, uint64_t* count) const {
  if (bytes_ == nullptr && length > 0) return false;
  *bytes = reinterpret_cast<const char*>(bytes_);
  *held = *count = length;
  return true;
}

int BinaryValueBase::Hold(const uint8_t* source, uint32_t count) {
  VelFree(bytes_);
  bytes_ = static_cast<uint8_t*>(VelAlloc(count));
  if (!bytes_) return kLoadNoMemory;
  if (count > 0) std::memcpy(bytes_, source, count);
  return kLoadDone;
}

void BinaryValueBase::Drop() {
  VelFree(bytes_);
  bytes_ = nullptr;
}

// Fewer bytes than the declared length: the value is malformed. The held
// bytes are dropped; conversions then see the declared length of zeros.
int BinaryValue::Load(const uint8_t* bytes, uint32_t size) {
  const uint8_t* held = nullptr;
  uint32_t count = 0;
  if (!layout::DecodeBinary(layout::BinaryCountBytes(kSqlBinary), length, bytes, size, &held,
                            &count)) {
    Drop();
    return kLoadMalformed;
  }
  return Hold(held, count);
}

int BinaryValueBase::LoadCounted(int32_t sqlType, const uint8_t* bytes, uint32_t size) {
  Drop();
  length = 0;
  const uint8_t* held = nullptr;
  uint32_t count = 0;
  if (!layout::DecodeBinary(layout::BinaryCountBytes(sqlType), 0, bytes, size, &held, &count))
    return kLoadMalformed;
  const int result = Hold(held, count);
  if (result == kLoadDone) length = count;
  return result;
}

// A count beyond the bytes present: malformed; the value becomes empty.
int VarBinaryValue::Load(const uint8_t* bytes, uint32_t size) {
  return LoadCounted(kSqlVarBinary, bytes, size);
}

int LongVarBinaryValue::Load(const uint8_t* bytes, uint32_t size) {
  return LoadCounted(kSqlLongVarBinary, bytes, size);
}
