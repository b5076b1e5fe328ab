// libFuzzer target: arbitrary row bytes loaded into every value class and
// converted to every C type into exactly sized buffers (AddressSanitizer
// catches any read or write outside them). Byte 0 picks the SQL type,
// bytes 1-2 the declared length, byte 3 the character and binary buffer
// size; the rest is the row.
#include <cstdlib>
#include <cstring>

#include "convert/ConvertColumnValue.h"
#include "support/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int32_t types[] = {SQL_CHAR,  SQL_VARCHAR, SQL_LONGVARCHAR, SQL_BINARY,  SQL_VARBINARY, SQL_LONGVARBINARY,
                           SQL_BIT,   SQL_TINYINT, SQL_SMALLINT,    SQL_INTEGER, SQL_BIGINT,    SQL_REAL,
                           SQL_FLOAT, SQL_NUMERIC, SQL_DATE,        SQL_TIME,    SQL_TIMESTAMP};
  const SQLSMALLINT cTypes[] = {SQL_C_CHAR,    SQL_C_BINARY, SQL_C_BIT,   SQL_C_STINYINT,  SQL_C_UTINYINT,
                                SQL_C_SSHORT,  SQL_C_USHORT, SQL_C_SLONG, SQL_C_ULONG,     SQL_C_FLOAT,
                                SQL_C_DOUBLE,  SQL_C_DATE,   SQL_C_TIME,  SQL_C_TIMESTAMP, SQL_C_SBIGINT,
                                SQL_C_UBIGINT, SQL_C_DEFAULT};
  if (size < 4) return 0;
  ColumnDescription d;
  d.sqlDataType = types[data[0] % (sizeof types / sizeof types[0])];
  d.length = static_cast<uint32_t>(data[1] | data[2] << 8);
  d.precision = data[2];
  ColumnValue* value = CreateColumnValue(&d);
  if (!value) __builtin_trap();
  const uint32_t rowSize = static_cast<uint32_t>(size - 4);
  uint8_t* row = static_cast<uint8_t*>(std::malloc(rowSize ? rowSize : 1));
  if (rowSize) std::memcpy(row, data + 4, rowSize);
  int loaded = value->Load(rowSize ? row : nullptr, rowSize);
  if (loaded != kLoadDone && loaded != kLoadMalformed && loaded != kLoadNoMemory) __builtin_trap();
  for (SQLSMALLINT cType : cTypes) {
    SQLLEN cb = data[3];
    size_t room = cType == SQL_C_CHAR || cType == SQL_C_BINARY || cType == SQL_C_DEFAULT ? size_t(cb) : 16;
    if (cType == SQL_C_DEFAULT && room < 16) room = 16, cb = 16;
    uint8_t* out = static_cast<uint8_t*>(std::malloc(room ? room : 1));
    SQLLEN pcb = SQL_NO_TOTAL;
    int result = ConvertColumnValue(value, cType, room ? out : nullptr, cb, &pcb);
    if (result < kConversionFailed || result > kConversionNoMemory) __builtin_trap();
    std::free(out);
  }
  std::free(row);
  delete value;
  return 0;
}
