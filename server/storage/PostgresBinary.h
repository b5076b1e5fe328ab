// Values in PostgreSQL's binary result format: which types are read that
// way, each value as the Value its text form gives, and the row layouts
// written straight from the binary fields.
#ifndef VELORA_SERVER_STORAGE_POSTGRESBINARY_H
#define VELORA_SERVER_STORAGE_POSTGRESBINARY_H

#include <libpq-fe.h>

#include <string>

#include "server/values/SqlTypes.h"
#include "server/storage/Storage.h"

namespace velsrv {

// Type identifiers of PostgreSQL's built-in types (pg_type.oid).
enum : Oid {
  kPgBool = 16,
  kPgBytea = 17,
  kPgChar = 18,
  kPgName = 19,
  kPgInt8 = 20,
  kPgInt2 = 21,
  kPgInt4 = 23,
  kPgText = 25,
  kPgOid = 26,
  kPgJson = 114,
  kPgXml = 142,
  kPgFloat4 = 700,
  kPgFloat8 = 701,
  kPgUnknown = 705,
  kPgBpchar = 1042,
  kPgVarchar = 1043,
  kPgDate = 1082,
  kPgTime = 1083,
  kPgTimestamp = 1114,
  kPgTimestampTz = 1184,
  kPgInterval = 1186,
  kPgTimeTz = 1266,
  kPgNumeric = 1700,
  kPgJsonb = 3802,
};

// True for the types whose binary values PgBinaryValue reads; a result
// with any other column is read in text form.
bool PgBinaryReadable(Oid type);

// The value of a binary field of type, the same Value the engine makes of
// the field's text form (dates and times as ISO text in UTC without their
// zone, numerics as decimal text, reals as the shortest text gives).
Value PgBinaryValue(Oid type, const char* data, int length);

// Writes a binary field of type straight in the row layout of column type
// (the bytes EncodeRowValue gives for PgBinaryValue): false when this type
// pair goes through the Value instead.
bool PgBinaryCell(Oid type, const char* data, int length, const SqlTypeDesc& column,
                  uint32_t maxLength, std::string* out, Status* status);

}  // namespace velsrv

#endif
