// Statement attributes kept in the headers of the statement's descriptors.
#include "odbc/descriptors/ArrayAttributes.h"

#include <sqlext.h>

#include <cstring>

#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Descriptor.h"
#include "handles/Statement.h"

namespace {

// The descriptor whose header field an attribute is, and which field.
enum class Field : uint8_t { kArraySize, kBindType, kOffset, kStatus, kProcessed, kHandle };
struct AttributeRow {
  SQLINTEGER attribute;
  DescKind kind;
  Field field;
};
constexpr AttributeRow kAttributes[] = {
    {SQL_ATTR_ROW_ARRAY_SIZE, DescKind::kArd, Field::kArraySize},
    {SQL_ATTR_ROW_BIND_TYPE, DescKind::kArd, Field::kBindType},
    {SQL_ATTR_ROW_BIND_OFFSET_PTR, DescKind::kArd, Field::kOffset},
    {SQL_ATTR_ROW_OPERATION_PTR, DescKind::kArd, Field::kStatus},
    {SQL_ATTR_ROW_STATUS_PTR, DescKind::kIrd, Field::kStatus},
    {SQL_ATTR_ROWS_FETCHED_PTR, DescKind::kIrd, Field::kProcessed},
    {SQL_ATTR_PARAMSET_SIZE, DescKind::kApd, Field::kArraySize},
    {SQL_ATTR_PARAM_BIND_TYPE, DescKind::kApd, Field::kBindType},
    {SQL_ATTR_PARAM_BIND_OFFSET_PTR, DescKind::kApd, Field::kOffset},
    {SQL_ATTR_PARAM_OPERATION_PTR, DescKind::kApd, Field::kStatus},
    {SQL_ATTR_PARAM_STATUS_PTR, DescKind::kIpd, Field::kStatus},
    {SQL_ATTR_PARAMS_PROCESSED_PTR, DescKind::kIpd, Field::kProcessed},
    {SQL_ATTR_APP_ROW_DESC, DescKind::kArd, Field::kHandle},
    {SQL_ATTR_APP_PARAM_DESC, DescKind::kApd, Field::kHandle},
    {SQL_ATTR_IMP_ROW_DESC, DescKind::kIrd, Field::kHandle},
    {SQL_ATTR_IMP_PARAM_DESC, DescKind::kIpd, Field::kHandle},
};

const AttributeRow* FindAttribute(SQLINTEGER attribute) {
  for (const AttributeRow& row : kAttributes) {
    if (row.attribute == attribute) return &row;
  }
  return nullptr;
}

// The descriptor in use of kind: the application ones may be explicit.
Descriptor& InUse(Statement* s, DescKind kind) {
  switch (kind) {
    case DescKind::kArd:
      return s->RowDescriptor();
    case DescKind::kApd:
      return s->ParamDescriptor();
    case DescKind::kIrd:
      return s->ird;
    default:
      return s->ipd;
  }
}

int Associate(Statement* s, bool ard, SQLPOINTER value) {
  if (value == SQL_NULL_HDESC) {
    s->Associate(nullptr, ard);
    return SQL_SUCCESS;
  }
  DescriptorList& explicitOnes = s->OwningConnection()->descriptors;
  for (Descriptor* d = explicitOnes.Head(); d != nullptr;
       d = static_cast<Descriptor*>(d->NextItem())) {
    if (d == value) {
      s->Associate(d, ard);
      return SQL_SUCCESS;
    }
  }
  // A statement's own descriptor belongs to it alone (its own one of the
  // same kind is as good as SQL_NULL_HDESC).
  if (value == (ard ? &s->ard : &s->apd)) {
    s->Associate(nullptr, ard);
    return SQL_SUCCESS;
  }
  return VEL_POST(s, SQL_ERROR, kDiagImplicitDescriptor);
}

// An implicit descriptor becomes a known handle when first handed out.
SQLHDESC HandOut(Statement* s, Descriptor* d) {
  if (!d->Explicit()) {
    LockGuard guard(Handles().Mutex());
    Handles().Insert(d, s->OwningConnection());
  }
  return d;
}

}  // namespace

int SetArrayAttrWorker(Statement* s, SQLINTEGER attribute, SQLPOINTER value, bool* handled) {
  const AttributeRow* row = FindAttribute(attribute);
  *handled = row != nullptr;
  if (row == nullptr) return SQL_SUCCESS;
  Descriptor& d = InUse(s, row->kind);
  const SQLULEN number = reinterpret_cast<SQLULEN>(value);
  switch (row->field) {
    case Field::kArraySize:
      if (number == 0) return VEL_POST(s, SQL_ERROR, kDiagInvalidArgument);
      d.header.arraySize = number;
      return SQL_SUCCESS;
    case Field::kBindType:
      d.SetBindType(number);
      return SQL_SUCCESS;
    case Field::kOffset:
      d.header.bindOffsetPtr = static_cast<SQLLEN*>(value);
      return SQL_SUCCESS;
    case Field::kStatus:
      d.header.arrayStatusPtr = static_cast<SQLUSMALLINT*>(value);
      return SQL_SUCCESS;
    case Field::kProcessed:
      d.header.rowsProcessedPtr = static_cast<SQLULEN*>(value);
      return SQL_SUCCESS;
    default:
      if (row->kind == DescKind::kIrd || row->kind == DescKind::kIpd)
        return VEL_POST(s, SQL_ERROR, kDiagImplicitDescriptor);
      return Associate(s, row->kind == DescKind::kArd, value);
  }
}

int GetArrayAttrWorker(Statement* s, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER* length,
                       bool* handled) {
  const AttributeRow* row = FindAttribute(attribute);
  *handled = row != nullptr;
  if (row == nullptr) return SQL_SUCCESS;
  Descriptor& d = InUse(s, row->kind);
  SQLULEN number = 0;
  void* pointer = nullptr;
  switch (row->field) {
    case Field::kArraySize:
      number = d.header.arraySize;
      break;
    case Field::kBindType:
      number = d.BindType();
      break;
    case Field::kOffset:
      pointer = d.header.bindOffsetPtr;
      break;
    case Field::kStatus:
      pointer = d.header.arrayStatusPtr;
      break;
    case Field::kProcessed:
      pointer = d.header.rowsProcessedPtr;
      break;
    default:
      pointer = HandOut(s, &d);
      break;
  }
  const bool isNumber = row->field == Field::kArraySize || row->field == Field::kBindType;
  if (value != nullptr) {
    if (isNumber) {
      std::memcpy(value, &number, sizeof number);
    } else {
      std::memcpy(value, &pointer, sizeof pointer);
    }
  }
  if (length != nullptr) *length = isNumber ? sizeof number : sizeof pointer;
  return SQL_SUCCESS;
}
