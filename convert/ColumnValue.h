// One result column's current value in the server's form, converted on
// demand into the application's C types. One class per SQL type.
#ifndef VELORA_CONVERT_COLUMNVALUE_H
#define VELORA_CONVERT_COLUMNVALUE_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "base/LinkedList.h"
#include "protocol/ColumnDescription.h"

class ColumnBinding;
class FetchDataElement;

// Outcome of a conversion; the caller turns it into the ODBC result.
enum ConversionResult : int {
  kConversionFailed = 0,  // out of range, not convertible, buffer too small, not supported
  kConversionDone = 1,
  kConversionTruncated = 2,  // characters, bytes, fractional digits or time fields dropped
  kConversionNoMemory = 3,
  kConversionIntervalOverflow = 4,  // "22015": an interval's leading field does not fit
  kConversionInvalidText = 5,       // "22018": text that is not an interval of the C type
  kConversionRestricted = 6,        // "07006": no conversion between these types
};

// Outcome of Load.
enum LoadResult : int {
  kLoadNoMemory = 0,  // a value buffer could not be allocated
  kLoadDone = 1,
  // The row bytes are fewer than the layout needs (or a BCD digit is not a
  // digit): the reply is malformed. The held value is left empty (zero, or
  // no bytes), so later conversions read a defined value.
  kLoadMalformed = -1,
};

class ColumnValue : public ListItem {
 public:
  ~ColumnValue() override;

  ColumnBinding* binding = nullptr;          // not owned
  ColumnDescription* description = nullptr;  // owned
  // Declared length for fixed kinds (a CHAR value's bytes where its
  // characters take more); actual byte count of the loaded value for
  // VARCHAR, LONGVARCHAR, VARBINARY and LONGVARBINARY.
  uint32_t length = 0;
  FetchDataElement* data = nullptr;  // owned, set by the fetch code

  // Marks of the fetch code.
  enum Mark : uint8_t {
    kReadByGetData = 0x01,  // SQLGetData read it on the current row: it travels with the next
    kArrived = 0x02,        // its value came with the current row
    // A catalog column of SQL type codes read by an ODBC 3 application:
    // the date and time codes load as SQL_TYPE_DATE, TIME and TIMESTAMP.
    kOdbc3TypeCodes = 0x04,
    // The current row's value is loaded (a bound column's, by its transfer),
    // or kHeldNull: the current row's value is NULL. SQLGetData reads the
    // value from here.
    kHeld = 0x08,
    kHeldNull = 0x10,
  };
  void SetMark(Mark mark) { marks_ |= mark; }
  void ClearMark(Mark mark) { marks_ &= static_cast<uint8_t>(~mark); }
  bool HasMark(Mark mark) const { return (marks_ & mark) != 0; }

  // Every conversion reads the held value only. Conversions to SQL_C_CHAR
  // and SQL_C_BINARY never write past cbValueMax; fixed-size targets write
  // exactly the size of their C type. *pcbValue (when pcbValue is given)
  // receives the length produced or, for the character and binary targets,
  // the length that would be produced. On kConversionFailed nothing is
  // written to rgbValue. The base answers kConversionFailed for every pair
  // that the class does not support, writing nothing at all.
  virtual int GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const = 0;
  virtual int GetBit(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetTinyInt(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetShort(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetLong(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetFloat(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetDouble(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const = 0;
  virtual int GetDate(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetTime(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetTimestamp(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetUShort(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetULong(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetUTinyInt(void* rgbValue, SQLLEN* pcbValue) const;
  // 8-byte integers (SQL_C_SBIGINT, SQL_C_UBIGINT) for ODBC 3 applications.
  virtual int GetSBigInt(void* rgbValue, SQLLEN* pcbValue) const;
  virtual int GetUBigInt(void* rgbValue, SQLLEN* pcbValue) const;

  // The value as it is held, for the kinds whose character and binary
  // forms are its bytes (texts) or made from them (binary values, whose
  // characters are hexadecimal): *held bytes at *bytes, then NULs up to
  // *count (the value's length); what a reader of a long value in pieces
  // reads from directly. False for the other kinds (nothing is stored).
  virtual bool HeldBytes(const char** bytes, uint64_t* held, uint64_t* count) const;

  // Characters needed to show the column's values (the catalogue's, from
  // the description).
  uint32_t DisplaySize() const;
  // Replaces the held value from the column's row bytes; size is the number
  // of bytes available, and nothing past them is read. Returns a LoadResult.
  virtual int Load(const uint8_t* bytes, uint32_t size) = 0;

  int32_t SqlType() const { return description ? description->sqlDataType : 0; }

 private:
  uint8_t marks_ = 0;
};

// Creates the value class of description's SQL type (convert/SqlTypeTable)
// with its own copy of the description and `length` set for the
// fixed-length kinds. Returns nullptr when the type has no class
// (SQL_DECIMAL, SQL_DOUBLE, unknown codes) or memory runs out.
ColumnValue* CreateColumnValue(const ColumnDescription* description);

#endif
