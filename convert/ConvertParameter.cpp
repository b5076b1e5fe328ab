// Parameter conversion: the converted value, and the dispatch by source kind
// (the kinds: ConvertParameterText, ConvertParameterNumber,
// ConvertParameterDateTime; the target forms: ConvertParameterForms).
#include "base/Unaligned.h"
#include "convert/ConvertParameter.h"

#include <cstring>

#include "base/Alloc.h"
#include "convert/IntervalValues.h"
#include "convert/ParameterJob.h"
#include "convert/SqlTypeTable.h"
#include "convert/WideText.h"
#include "protocol/IntervalText.h"
#include "protocol/ValueLayout.h"

ConvertedValue::~ConvertedValue() { VelFree(data_); }

void ConvertedValue::SetNull() {
  VelFree(data_);
  data_ = nullptr;
  length_ = 0;
  null_ = true;
  sentType_ = 0;
}

uint8_t* ConvertedValue::SetSized(uint32_t n) {
  uint8_t* block = static_cast<uint8_t*>(VelAlloc(n == 0 ? 1 : n));
  if (block == nullptr) return nullptr;
  std::memset(block, 0, n == 0 ? 1 : n);
  VelFree(data_);
  data_ = block;
  length_ = n;
  null_ = false;
  sentType_ = 0;
  return block;
}

bool ConvertedValue::SetBytes(const void* bytes, uint32_t n) {
  uint8_t* p = SetSized(n);
  if (p == nullptr) return false;
  if (n != 0) std::memcpy(p, bytes, n);
  return true;
}

bool ConvertedValue::SetText(const char* text, uint32_t n) {
  if (n == UINT32_MAX) return false;
  uint8_t* p = SetSized(layout::TextBytes(n));
  if (p == nullptr) return false;
  layout::EncodeText(text, n, p);
  return true;
}

void ConvertedValue::Take(ConvertedValue* other) {
  VelFree(data_);
  data_ = other->data_;
  length_ = other->length_;
  null_ = other->null_;
  sentType_ = other->sentType_;
  other->sentType_ = 0;
  other->data_ = nullptr;
  other->length_ = 0;
  other->null_ = true;
}

using paramjob::Done;
using paramjob::FromDateTime;
using paramjob::FromNumber;
using paramjob::FromStruct;
using paramjob::FromText;
using paramjob::FromWide;
using paramjob::Job;

namespace {

// Bytes of the value at data before its NUL (a wide text: its 0 unit).
uint64_t Measure(const void* data, bool wide) {
  if (!wide) return std::strlen(static_cast<const char*>(data));
  return WideBytes(data);
}

}  // namespace

bool CollectsPieces(SQLSMALLINT cType, int32_t sqlType) {
  if (cType == SQL_C_DEFAULT) cType = ParamDefaultCType(sqlType);
  return cType == SQL_C_CHAR || cType == SQL_C_BINARY || cType == SQL_C_WCHAR;
}

ParamOutcome ConvertParameter(const ParameterInput& in, const TypeSizes& sizes,
                              ConvertedValue* out) {
  const SqlTypeInfo* sql = FindParamSqlType(in.sqlType);
  SQLSMALLINT cType = in.cType;
  if (sql != nullptr && cType == SQL_C_DEFAULT) cType = ParamDefaultCType(in.sqlType);
  const ParamCTypeRow* c = FindParamCType(cType);
  // The server has no GUID type and keeps GUIDs as text: a SQL_GUID
  // parameter is sent as VARCHAR, from the C types ODBC converts to
  // SQL_GUID (text, wide text, SQLGUID).
  const bool guidText = sql == nullptr && in.sqlType == SQL_GUID && c != nullptr &&
                        (c->source == kSrcChar || c->source == kSrcWide || c->source == kSrcGuid);
  if (guidText) sql = FindParamSqlType(kSqlVarChar);
  // The length: NULL first, then the refused indicators, then the value's.
  uint64_t length = 0;
  const SQLLEN indicator = in.indicator != nullptr ? LoadUnaligned(in.indicator) : SQL_NTS;
  const bool measured =
      c != nullptr && (c->source == kSrcChar || c->source == kSrcBinary || c->source == kSrcWide);
  if (in.atExec) {
    length = in.collected < 0 ? 0 : static_cast<uint64_t>(in.collected);
  } else if (indicator < 0 && indicator != SQL_NTS) {
    const SQLLEN ind = indicator;
    if (ind == SQL_NULL_DATA) {
      out->SetNull();
      return kParamDone;
    }
    if (ind == SQL_DEFAULT_PARAM) return kParamProcedures;
    if (ind != SQL_DATA_AT_EXEC && ind > SQL_LEN_DATA_AT_EXEC_OFFSET) return kParamInvalidLength;
    length = ind == SQL_DATA_AT_EXEC ? 0 : static_cast<uint64_t>(SQL_LEN_DATA_AT_EXEC_OFFSET - ind);
  } else if (in.data != nullptr && measured) {
    length = indicator == SQL_NTS ? Measure(in.data, c->source == kSrcWide)
                                  : static_cast<uint64_t>(indicator);
  }
  if (in.data == nullptr) {
    out->SetNull();
    return kParamDone;
  }
  if (interval::IsSqlCode(cType) || (sql != nullptr && interval::IsSqlCode(sql->code))) {
    if (length >= UINT32_MAX) return kParamInvalidLength;
    return IntervalParameter(cType, sql, static_cast<const char*>(in.data),
                             static_cast<uint32_t>(length), out);
  }
  if (c == nullptr || sql == nullptr || !ParamPairConverts(c->source, sql->form))
    return kParamNotSupported;
  if (length >= UINT32_MAX) return kParamInvalidLength;
  ConvertedValue next;
  Job j{in, c, sql, sizes, &next, static_cast<const char*>(in.data), static_cast<uint32_t>(length)};
  ParamOutcome outcome = kParamDone;
  switch (c->source) {
    case kSrcWide:
      outcome = FromWide(j);
      break;
    case kSrcBinary:
      if (sql->sizeIndex != kSizeNone) {
        if (j.length != sizes.size[sql->sizeIndex]) return kParamBinaryLength;
        outcome = Done(next.SetBytes(in.data, j.length));
      } else if (sql->form == SqlForm::kText) {
        outcome = Done(next.SetText(j.text, j.length));
      } else {
        outcome = Done(next.SetBytes(in.data, j.length));
      }
      break;
    case kSrcChar:
      outcome = FromText(j, in.cType == SQL_C_DEFAULT);
      break;
    case kSrcNumeric:
    case kSrcGuid:
      outcome = FromStruct(j);
      break;
    case kSrcInteger:
    case kSrcFloating:
      outcome = FromNumber(j);
      break;
    default:
      outcome = FromDateTime(j);
      break;
  }
  if (outcome == kParamDone && guidText) next.SetSentType(kSqlVarChar);
  if (outcome == kParamDone) out->Take(&next);
  return outcome;
}
