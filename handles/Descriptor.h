// Descriptors: the four every statement has, which are views of what it
// already holds (the application row descriptor's records are its column
// bindings, the application and implementation parameter descriptors'
// the two sides of its parameter bindings, the implementation row
// descriptor's its result columns), and those an application allocates on
// a connection and associates with statements as their application row or
// parameter descriptor. Binding through a descriptor and through
// SQLBindCol or SQLBindParameter is therefore the same thing.
#ifndef VELORA_HANDLES_DESCRIPTOR_H
#define VELORA_HANDLES_DESCRIPTOR_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "base/HandleIndex.h"
#include "base/LinkedList.h"
#include "handles/ColumnBinding.h"
#include "handles/ErrorData.h"

class Connection;
class Statement;

enum class DescKind : uint8_t { kArd, kApd, kIrd, kIpd };

// The header fields that shape an array of rows or of parameter sets. The
// status array is the row or parameter operations for an application
// descriptor and the statuses for an implementation one.
struct ArrayHeader {
  SQLULEN arraySize = 1;
  SQLULEN bindType = SQL_BIND_BY_COLUMN;
  SQLLEN* bindOffsetPtr = nullptr;
  SQLUSMALLINT* arrayStatusPtr = nullptr;
  SQLULEN* rowsProcessedPtr = nullptr;
};

// A descriptor handle (SQLHDESC is its address). An implicit one is a
// member of its statement and becomes a known handle when the application
// first asks for it; an explicit one is on its connection's list.
class Descriptor : public HandleObject {
 public:
  static constexpr HandleKind kKind = HandleKind::kDescriptor;
  Descriptor(Statement* statement, DescKind kind)
      : HandleObject(kKind, nullptr), kind_(kind), statement_(statement) {}
  // An explicit descriptor of connection: an application descriptor.
  explicit Descriptor(Connection* connection)
      : HandleObject(kKind, nullptr), kind_(DescKind::kArd), connection_(connection) {}
  ~Descriptor() override = default;

  void ClearErrors() {
    if (errors.Count() != 0) errors.Clear();
  }
  int PostError(int rc, int32_t native, const char* sqlstate, const char* text, const char* file,
                int32_t line) {
    return errors.Post(rc, native, sqlstate, text, file, line);
  }

  DescKind Kind() const { return kind_; }
  bool Explicit() const { return statement_ == nullptr; }
  bool Application() const { return kind_ == DescKind::kArd || kind_ == DescKind::kApd; }
  // The statement of an implicit descriptor; null for an explicit one.
  Statement* OwningStatement() const { return statement_; }
  Connection* OwningConnection() const;

  // SQL_DESC_BIND_TYPE: the implicit row descriptor's is the statement's
  // SQL_BIND_TYPE option, which the ODBC 2 function sets as well.
  SQLULEN BindType() const;
  void SetBindType(SQLULEN type);

  // Links the result columns of every statement using this descriptor as
  // its row descriptor to its records again, after they changed.
  void RecordsChanged();
  // Frees an explicit descriptor: the statements that use it go back to
  // their own. The caller deletes it.
  void Dissociate();

  ErrorList errors;
  ArrayHeader header;
  // An explicit descriptor's records, in the form of column bindings
  // (type, data, octet length, indicator, precision and scale).
  ColumnBindingList records;

 private:
  DescKind kind_;
  Statement* statement_ = nullptr;    // the owner of an implicit one
  Connection* connection_ = nullptr;  // the owner of an explicit one
};

// Where element row of an array bound at base lies: column-wise (bindType
// SQL_BIND_BY_COLUMN) elements are elementSize bytes apart, row-wise
// bindType bytes; offset (the bind offset, 0 without one) is added. A null
// base stays null.
template <typename T>
T* ArrayElement(T* base, SQLULEN row, SQLULEN bindType, SQLLEN elementSize, SQLLEN offset) {
  if (base == nullptr) return nullptr;
  const SQLLEN stride =
      bindType == SQL_BIND_BY_COLUMN ? elementSize : static_cast<SQLLEN>(bindType);
  char* at = reinterpret_cast<char*>(base) + offset + stride * static_cast<SQLLEN>(row);
  return reinterpret_cast<T*>(at);
}
// The bytes of one value of cType in a column-wise array: the C type's
// size, or for characters, bytes and SQL_C_DEFAULT the buffer length.
SQLLEN ValueStride(SQLSMALLINT cType, SQLLEN bufferLength);

class DescriptorList : public TypedList<Descriptor> {
 public:
  ~DescriptorList() override = default;
};

#endif
