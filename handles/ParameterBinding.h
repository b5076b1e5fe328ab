// What SQLBindParameter records: one bound parameter, the application
// memory its value is read from at execution time, and the value as last
// converted. The statement owns the list.
//
// Descriptors (ODBC 3) are views of this list, not copies: the application
// parameter descriptor reads and writes the application side of each
// binding (fCType, rgbValue, cbValueMax, pcbValue, indicator), the implementation
// parameter descriptor its SQL side (fParamType, fSqlType, cbColDef,
// ibScale). See handles/ColumnBinding.h for the row descriptors.
#ifndef VELORA_HANDLES_PARAMETERBINDING_H
#define VELORA_HANDLES_PARAMETERBINDING_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <new>

#include "base/Alloc.h"
#include "base/LinkedList.h"
#include "base/Unaligned.h"
#include "convert/ConvertParameter.h"

class ParameterBinding : public ListItem {
 public:
  ParameterBinding() = default;
  ~ParameterBinding() override { DropPieces(); }

  // Frees the pieces collected by SQLPutData and forgets the data given
  // at execution.
  void DropPieces() {
    if (ownsPieces) VelFree(const_cast<void*>(putData));
    putData = nullptr;
    collected = 0;
    capacity = 0;
    ownsPieces = false;
    putNull = false;
  }
  // True when the length indicator asks for the value at execution.
  bool AtExec() const {
    if (pcbValue == nullptr) return false;
    const SQLLEN length = LoadUnaligned(pcbValue);
    return length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET;
  }

  SQLSMALLINT fCType = 0;
  ConvertedValue converted;       // NULL until converted
  const void* putData = nullptr;  // the value given at execution, or null
  SQLLEN collected = 0;           // bytes collected from SQLPutData
  SQLLEN capacity = 0;            // bytes the collecting block holds
  bool ownsPieces = false;        // putData is the driver's block
  bool putNull = false;           // SQLPutData gave SQL_NULL_DATA
  SQLLEN* pcbValue = nullptr;     // the application's; may be null
  SQLLEN* indicator = nullptr;    // SQL_DESC_INDICATOR_PTR; may be null
  SQLPOINTER rgbValue = nullptr;  // the application's; read at execution
  uint16_t ipar = 0;
  SQLULEN cbColDef = 0;
  SQLSMALLINT fParamType = 0;
  SQLSMALLINT ibScale = 0;
  SQLSMALLINT fSqlType = 0;
  SQLLEN cbValueMax = 0;
  // The application descriptor's precision and scale (SQL_C_NUMERIC),
  // set through a descriptor only.
  SQLSMALLINT appPrecision = 0;
  SQLSMALLINT appScale = 0;
};

// The statement's bindings, at most one per parameter number, ascending.
class ParameterBindingList : public TypedList<ParameterBinding> {
 public:
  ~ParameterBindingList() override = default;

  // The binding of ipar, or null. Moves the list's cursor.
  ParameterBinding* Find(uint16_t ipar) {
    for (ParameterBinding* b = First(); b != nullptr; b = Next()) {
      if (b->ipar == ipar) return b;
    }
    return nullptr;
  }
  // The binding of ipar, made in its place (an input parameter of
  // SQL_C_DEFAULT and SQL_VARCHAR, no buffers) when there is none; null
  // when memory runs out.
  ParameterBinding* FindOrAdd(uint16_t ipar) {
    ParameterBinding* b = Head();
    while (b != nullptr && b->ipar < ipar) b = static_cast<ParameterBinding*>(b->NextItem());
    if (b != nullptr && b->ipar == ipar) return b;
    ParameterBinding* made = new (std::nothrow) ParameterBinding;
    if (made == nullptr) return nullptr;
    made->ipar = ipar;
    made->fCType = SQL_C_DEFAULT;
    made->fSqlType = SQL_VARCHAR;
    made->fParamType = SQL_PARAM_INPUT;
    if (b == nullptr) {
      Append(made);
    } else {
      InsertBefore(b, made);
    }
    return made;
  }
};

#endif
