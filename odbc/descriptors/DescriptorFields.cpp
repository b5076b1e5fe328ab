// Descriptor fields and records, read from and written to what the
// statement holds: column bindings (row descriptors and explicit ones),
// parameter bindings (the statement's parameter descriptors) and result
// columns (the implementation row descriptor).
//
// SQL_DESC_OCTET_LENGTH_PTR (where a length goes) and
// SQL_DESC_INDICATOR_PTR (where SQL_NULL_DATA goes) are two fields;
// SQLBindCol and SQLBindParameter set both to one pointer.
// The implementation parameter descriptor's SQL_DESC_LENGTH,
// SQL_DESC_OCTET_LENGTH and (for other than character and binary types)
// SQL_DESC_PRECISION are all the parameter's column size.
#include <sqlext.h>

#include <cstring>

#include "convert/ColumnValue.h"
#include "convert/ParameterTable.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Descriptor.h"
#include "handles/Statement.h"
#include "odbc/descriptors/ColumnAttributes.h"
#include "odbc/descriptors/Descriptors.h"
#include "protocol/SqlTypeCatalog.h"

SQLSMALLINT VerboseType(SQLSMALLINT t) { return VerboseSqlType(t); }
SQLSMALLINT DateTimeIntervalCode(SQLSMALLINT t) { return DateTimeSubcode(t); }

bool IntervalPrecision(SQLSMALLINT type, SQLLEN size, SQLLEN digits, SQLSMALLINT field,
                       SQLLEN* value) {
  if (type < SQL_INTERVAL_YEAR || type > SQL_INTERVAL_MINUTE_TO_SECOND) return false;
  // Further fields and whether seconds are among them, by interval code.
  static const uint8_t kFurther[] = {0, 0, 0, 0, 0, 0, 1, 1, 2, 3, 1, 2, 1};
  const int code = type - SQL_INTERVAL_YEAR;
  const bool seconds = type == SQL_INTERVAL_SECOND || type == SQL_INTERVAL_DAY_TO_SECOND ||
                       type == SQL_INTERVAL_HOUR_TO_SECOND || type == SQL_INTERVAL_MINUTE_TO_SECOND;
  if (!seconds || digits < 0) digits = 0;
  if (field == SQL_DESC_PRECISION) {
    *value = digits;
  } else {
    const SQLLEN leading = size - 3 * kFurther[code] - (digits > 0 ? digits + 1 : 0);
    *value = leading > 0 ? leading : 0;
  }
  return true;
}

namespace {

// The storage of one record: one of the three is set.
struct Record {
  ColumnBinding* row = nullptr;
  ParameterBinding* param = nullptr;
  ColumnValue* column = nullptr;
};

ColumnBindingList* RowRecords(Descriptor* d) {
  if (d->Explicit()) return &d->records;
  return d->Kind() == DescKind::kArd ? &d->OwningStatement()->bindings : nullptr;
}

ParameterBindingList* ParamRecords(Descriptor* d) {
  if (d->Explicit() || d->Kind() == DescKind::kArd || d->Kind() == DescKind::kIrd) return nullptr;
  return &d->OwningStatement()->parameters.Bindings();
}

SQLSMALLINT Count(Descriptor* d) {
  uint32_t count = 0;
  if (ColumnBindingList* rows = RowRecords(d)) {
    for (ColumnBinding* b = rows->Head(); b != nullptr;
         b = static_cast<ColumnBinding*>(b->NextItem())) {
      if (b->columnNumber > count) count = b->columnNumber;
    }
  } else if (ParameterBindingList* params = ParamRecords(d)) {
    count = params->Tail() != nullptr ? params->Tail()->ipar : 0;
  } else {
    count = d->OwningStatement()->cursor.ColumnCount();
  }
  return static_cast<SQLSMALLINT>(count > 32767 ? 32767 : count);
}

// Record rec (from 1), made when make and it is missing (the implementation
// row descriptor's never are); all null when missing or out of memory.
Record Find(Descriptor* d, SQLSMALLINT rec, bool make) {
  Record r;
  const uint16_t n = static_cast<uint16_t>(rec);
  if (ColumnBindingList* rows = RowRecords(d)) {
    r.row = rows->Find(n);
    if (r.row == nullptr && make) {
      r.row = new (std::nothrow) ColumnBinding(n, SQL_C_DEFAULT, nullptr, 0, nullptr);
      if (r.row != nullptr) rows->Append(r.row);
    }
  } else if (ParameterBindingList* params = ParamRecords(d)) {
    r.param = make ? params->FindOrAdd(n) : params->Find(n);
  } else {
    r.column = d->OwningStatement()->Column(n);
  }
  return r;
}

// A result column's type as descriptors give it: the date and time types
// in their ODBC 3 codes.
SQLSMALLINT ColumnType(const ColumnValue* v) {
  const int32_t t = v->SqlType();
  return static_cast<SQLSMALLINT>(t >= SQL_DATE && t <= SQL_TIMESTAMP ? t + 82 : t);
}
bool CharacterOrBinary(SQLSMALLINT t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
         t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR || t == SQL_BINARY || t == SQL_VARBINARY ||
         t == SQL_LONGVARBINARY;
}

// What a field holds and where it is found.
enum class Width : uint8_t { kSmall, kInteger, kLen, kPointer, kText };
enum Has : uint8_t { kApp = 1, kIrd = 2, kIpd = 4, kAll = 7 };
struct FieldRow {
  SQLSMALLINT field;
  Width width;
  bool header;
  uint8_t has;          // the descriptor kinds that have it
  bool column = false;  // the implementation row descriptor's answer is SQLColAttribute's
};
constexpr FieldRow kFields[] = {
    {SQL_DESC_ALLOC_TYPE, Width::kSmall, true, kAll},
    {SQL_DESC_ARRAY_SIZE, Width::kLen, true, kApp},
    {SQL_DESC_ARRAY_STATUS_PTR, Width::kPointer, true, kAll},
    {SQL_DESC_BIND_OFFSET_PTR, Width::kPointer, true, kApp},
    {SQL_DESC_BIND_TYPE, Width::kInteger, true, kApp},
    {SQL_DESC_COUNT, Width::kSmall, true, kAll},
    {SQL_DESC_ROWS_PROCESSED_PTR, Width::kPointer, true, kIrd | kIpd},
    {SQL_DESC_TYPE, Width::kSmall, false, kAll},
    {SQL_DESC_CONCISE_TYPE, Width::kSmall, false, kAll},
    {SQL_DESC_DATETIME_INTERVAL_CODE, Width::kSmall, false, kAll},
    {SQL_DESC_DATETIME_INTERVAL_PRECISION, Width::kInteger, false, kAll},
    {SQL_DESC_DATA_PTR, Width::kPointer, false, kApp},
    {SQL_DESC_INDICATOR_PTR, Width::kPointer, false, kApp},
    {SQL_DESC_OCTET_LENGTH_PTR, Width::kPointer, false, kApp},
    {SQL_DESC_OCTET_LENGTH, Width::kLen, false, kAll},
    {SQL_DESC_LENGTH, Width::kLen, false, kAll},
    {SQL_DESC_PRECISION, Width::kSmall, false, kAll},
    {SQL_DESC_SCALE, Width::kSmall, false, kAll},
    {SQL_DESC_PARAMETER_TYPE, Width::kSmall, false, kIpd},
    {SQL_DESC_NULLABLE, Width::kSmall, false, kIrd | kIpd},
    {SQL_DESC_NAME, Width::kText, false, kIrd | kIpd},
    {SQL_DESC_UNNAMED, Width::kSmall, false, kIrd | kIpd},
    {SQL_DESC_AUTO_UNIQUE_VALUE, Width::kInteger, false, kIrd, true},
    {SQL_DESC_BASE_COLUMN_NAME, Width::kText, false, kIrd, true},
    {SQL_DESC_BASE_TABLE_NAME, Width::kText, false, kIrd, true},
    {SQL_DESC_CASE_SENSITIVE, Width::kInteger, false, kIrd | kIpd, true},
    {SQL_DESC_CATALOG_NAME, Width::kText, false, kIrd, true},
    {SQL_DESC_DISPLAY_SIZE, Width::kLen, false, kIrd, true},
    {SQL_DESC_FIXED_PREC_SCALE, Width::kSmall, false, kIrd | kIpd, true},
    {SQL_DESC_LABEL, Width::kText, false, kIrd, true},
    {SQL_DESC_LITERAL_PREFIX, Width::kText, false, kIrd, true},
    {SQL_DESC_LITERAL_SUFFIX, Width::kText, false, kIrd, true},
    {SQL_DESC_LOCAL_TYPE_NAME, Width::kText, false, kIrd | kIpd, true},
    {SQL_DESC_NUM_PREC_RADIX, Width::kInteger, false, kIrd | kIpd, true},
    {SQL_DESC_SCHEMA_NAME, Width::kText, false, kIrd, true},
    {SQL_DESC_SEARCHABLE, Width::kSmall, false, kIrd, true},
    {SQL_DESC_TABLE_NAME, Width::kText, false, kIrd, true},
    {SQL_DESC_TYPE_NAME, Width::kText, false, kIrd | kIpd, true},
    {SQL_DESC_UNSIGNED, Width::kSmall, false, kIrd | kIpd, true},
    {SQL_DESC_UPDATABLE, Width::kSmall, false, kIrd, true},
};

uint8_t KindBit(const Descriptor* d) {
  return d->Application() ? kApp : d->Kind() == DescKind::kIrd ? kIrd : kIpd;
}

const FieldRow* FindField(const Descriptor* d, SQLSMALLINT field) {
  for (const FieldRow& row : kFields) {
    if (row.field == field) return (row.has & KindBit(d)) != 0 ? &row : nullptr;
  }
  return nullptr;
}

// The type fields of a record of concise type t: true with *value set for
// SQL_DESC_TYPE, SQL_DESC_CONCISE_TYPE and SQL_DESC_DATETIME_INTERVAL_CODE.
bool TypeField(SQLSMALLINT t, SQLSMALLINT field, SQLLEN* value) {
  switch (field) {
    case SQL_DESC_TYPE:
      *value = VerboseType(t);
      return true;
    case SQL_DESC_CONCISE_TYPE:
      *value = t;
      return true;
    case SQL_DESC_DATETIME_INTERVAL_CODE:
      *value = DateTimeIntervalCode(t);
      return true;
    default:
      return false;
  }
}
bool IsTypeField(SQLSMALLINT field) {
  SQLLEN unused = 0;
  return TypeField(SQL_C_DEFAULT, field, &unused);
}

// A header field's value (pointers as their address).
SQLLEN HeaderValue(Descriptor* d, SQLSMALLINT field) {
  const ArrayHeader& h = d->header;
  switch (field) {
    case SQL_DESC_ALLOC_TYPE:
      return d->Explicit() ? SQL_DESC_ALLOC_USER : SQL_DESC_ALLOC_AUTO;
    case SQL_DESC_ARRAY_SIZE:
      return static_cast<SQLLEN>(h.arraySize);
    case SQL_DESC_ARRAY_STATUS_PTR:
      return reinterpret_cast<SQLLEN>(h.arrayStatusPtr);
    case SQL_DESC_BIND_OFFSET_PTR:
      return reinterpret_cast<SQLLEN>(h.bindOffsetPtr);
    case SQL_DESC_BIND_TYPE:
      return static_cast<SQLLEN>(d->BindType());
    case SQL_DESC_COUNT:
      return Count(d);
    default:
      return reinterpret_cast<SQLLEN>(h.rowsProcessedPtr);
  }
}

// A record field's value; a missing record reads as an unbound one.
SQLLEN RecordValue(const Record& r, SQLSMALLINT field) {
  SQLSMALLINT type = SQL_C_DEFAULT;
  if (r.row != nullptr) type = r.row->fCType;
  if (r.param != nullptr) type = r.param->fCType;
  if (r.column != nullptr) type = ColumnType(r.column);
  SQLLEN value = 0;
  if (TypeField(type, field, &value)) return value;
  switch (field) {
    case SQL_DESC_DATA_PTR:
      return reinterpret_cast<SQLLEN>(r.row     ? r.row->rgbValue
                                      : r.param ? r.param->rgbValue
                                                : nullptr);
    case SQL_DESC_INDICATOR_PTR:
      return reinterpret_cast<SQLLEN>(r.row     ? r.row->indicator
                                      : r.param ? r.param->indicator
                                                : nullptr);
    case SQL_DESC_OCTET_LENGTH_PTR:
      return reinterpret_cast<SQLLEN>(r.row     ? r.row->pcbValue
                                      : r.param ? r.param->pcbValue
                                                : nullptr);
    case SQL_DESC_OCTET_LENGTH:
      if (r.column != nullptr) return ColumnOctetLength(*r.column->description);
      return r.row ? r.row->cbValueMax : r.param ? r.param->cbValueMax : 0;
    case SQL_DESC_PRECISION:
    case SQL_DESC_DATETIME_INTERVAL_PRECISION:
      if (r.column != nullptr) {
        const ColumnDescription& d = *r.column->description;
        if (IntervalPrecision(type, static_cast<SQLLEN>(d.precision), d.scale, field, &value))
          return value;
        return field == SQL_DESC_PRECISION ? static_cast<SQLLEN>(d.precision) : 0;
      }
      if (field != SQL_DESC_PRECISION) return 0;
      return r.row ? r.row->precision : r.param ? r.param->appPrecision : 0;
    case SQL_DESC_SCALE:
      if (r.column != nullptr) return r.column->description->scale;
      return r.row ? r.row->scale : r.param ? r.param->appScale : 0;
    default:
      return 0;
  }
}

// The implementation parameter descriptor's view of a binding.
SQLLEN IpdValue(const ParameterBinding* b, SQLSMALLINT field) {
  const SQLSMALLINT type = b ? b->fSqlType : SQL_VARCHAR;
  const SQLLEN size = b ? static_cast<SQLLEN>(b->cbColDef) : 0;
  SQLLEN value = 0;
  if (TypeField(type, field, &value)) return value;
  switch (field) {
    case SQL_DESC_LENGTH:
    case SQL_DESC_OCTET_LENGTH:
      return size;
    case SQL_DESC_PRECISION:
    case SQL_DESC_DATETIME_INTERVAL_PRECISION:
      if (IntervalPrecision(type, size, b ? b->ibScale : 0, field, &value)) return value;
      if (field != SQL_DESC_PRECISION) return 0;
      return CharacterOrBinary(type) ? 0 : size;
    case SQL_DESC_SCALE:
      return b ? b->ibScale : 0;
    case SQL_DESC_PARAMETER_TYPE:
      return b ? b->fParamType : SQL_PARAM_INPUT;
    case SQL_DESC_NULLABLE:
      return SQL_NULLABLE;
    case SQL_DESC_UNNAMED:
      return SQL_UNNAMED;
    default:
      break;
  }
  // The qualities of the parameter's type, as a column's of that type.
  const SqlTypeInfo* info = FindSqlTypeInfo(SentSqlType(type));
  switch (field) {
    case SQL_DESC_UNSIGNED:
      return info == nullptr || info->isUnsigned ? SQL_TRUE : SQL_FALSE;
    case SQL_DESC_CASE_SENSITIVE:
      return info && IsCaseSensitive(*info) ? SQL_TRUE : SQL_FALSE;
    case SQL_DESC_NUM_PREC_RADIX:
      return info && !info->isUnsigned ? info->radix : 0;
    default:  // SQL_DESC_FIXED_PREC_SCALE: no money types
      return 0;
  }
}

SQLLEN IrdValue(const Statement& s, const ColumnValue* v, const FieldRow& row) {
  const ColumnDescription* c = v->description;
  if (row.column) {
    const AttributeRow* attribute = FindAttribute(static_cast<uint16_t>(row.field));
    return attribute != nullptr ? ColumnAttributeNumber(s, *v, attribute->source) : 0;
  }
  switch (row.field) {
    case SQL_DESC_LENGTH:
      return ColumnSize(*v);
    case SQL_DESC_NULLABLE:
      return c->nullability;
    case SQL_DESC_UNNAMED:
      return c->columnName.Length() == 0 ? SQL_UNNAMED : SQL_NAMED;
    default:
      return RecordValue(Record{nullptr, nullptr, const_cast<ColumnValue*>(v)}, row.field);
  }
}

// Copies the n bytes of text into value: "01004" when cut.
int PutText(Descriptor* d, const char* text, uint32_t n, SQLPOINTER value, SQLINTEGER bufferLength,
            SQLINTEGER* stringLength) {
  if (stringLength != nullptr) *stringLength = static_cast<SQLINTEGER>(n);
  if (value == nullptr || bufferLength <= 0) return SQL_SUCCESS;
  const uint32_t fits = n < static_cast<uint32_t>(bufferLength) ? n : bufferLength - 1;
  if (fits != 0) std::memcpy(value, text, fits);
  static_cast<char*>(value)[fits] = '\0';
  return fits < n ? VEL_POST(d, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated) : SQL_SUCCESS;
}

void PutNumber(const FieldRow& row, SQLLEN number, SQLPOINTER value, SQLINTEGER* stringLength) {
  SQLINTEGER size = 0;
  if (row.width == Width::kSmall) {
    const SQLSMALLINT v = static_cast<SQLSMALLINT>(number);
    if (value) std::memcpy(value, &v, size = sizeof v);
  } else if (row.width == Width::kInteger) {
    const SQLINTEGER v = static_cast<SQLINTEGER>(number);
    if (value) std::memcpy(value, &v, size = sizeof v);
  } else {
    if (value) std::memcpy(value, &number, size = sizeof number);
  }
  if (stringLength != nullptr) *stringLength = size;
}

}  // namespace

namespace {

// Field's value in record rec (checked) as a number.
SQLLEN FieldNumber(Descriptor* d, SQLSMALLINT rec, SQLSMALLINT field) {
  const Record r = Find(d, rec, false);
  if (d->Kind() == DescKind::kIpd && !d->Explicit()) return IpdValue(r.param, field);
  if (r.column != nullptr) return IrdValue(*d->OwningStatement(), r.column, *FindField(d, field));
  return RecordValue(r, field);
}

// A record number the call may name: the bookmark record (0) of a row
// descriptor or an explicit one; never of an implementation descriptor
// nor, when set, of the statement's own parameter descriptor.
bool RecordAllowed(const Descriptor* d, SQLSMALLINT rec, bool set) {
  if (rec > 0) return true;
  if (rec < 0 || d->Kind() == DescKind::kIrd || d->Kind() == DescKind::kIpd) return false;
  return !set || d->Explicit() || d->Kind() == DescKind::kArd;
}

// Whether an application record may be bound as it stands: a C type the
// driver knows, and SQL_C_NUMERIC's digits within a numeric's.
bool Consistent(SQLSMALLINT cType, SQLSMALLINT precision, SQLSMALLINT scale) {
  if (!IsCType(cType)) return false;
  if (cType != SQL_C_NUMERIC || precision == 0) return true;
  return precision > 0 && precision <= SQL_MAX_NUMERIC_LEN * 2 + 6 && scale >= 0 &&
         scale <= precision;
}

// Deletes the records above count; adds (unbound) records up to it.
bool SetCount(Descriptor* d, SQLSMALLINT count) {
  const uint16_t keep = static_cast<uint16_t>(count < 0 ? 0 : count);
  if (ColumnBindingList* rows = RowRecords(d)) {
    ColumnBinding* b = rows->Head();
    while (b != nullptr) {
      ColumnBinding* next = static_cast<ColumnBinding*>(b->NextItem());
      if (b->columnNumber > keep) rows->Delete(b);
      b = next;
    }
    d->RecordsChanged();
  } else if (ParameterBindingList* params = ParamRecords(d)) {
    while (params->Tail() != nullptr && params->Tail()->ipar > keep) params->Delete(params->Tail());
  }
  if (keep == 0 || Count(d) == count) return true;
  const Record r = Find(d, count, true);
  if (r.row != nullptr) d->RecordsChanged();
  return r.row != nullptr || r.param != nullptr;
}

int SetHeader(Descriptor* d, SQLSMALLINT field, SQLPOINTER value) {
  ArrayHeader& h = d->header;
  const SQLULEN number = reinterpret_cast<SQLULEN>(value);
  switch (field) {
    case SQL_DESC_ARRAY_SIZE:
      if (number == 0) return VEL_POST(d, SQL_ERROR, kDiagInvalidArgument);
      h.arraySize = number;
      break;
    case SQL_DESC_ARRAY_STATUS_PTR:
      h.arrayStatusPtr = static_cast<SQLUSMALLINT*>(value);
      break;
    case SQL_DESC_BIND_OFFSET_PTR:
      h.bindOffsetPtr = static_cast<SQLLEN*>(value);
      break;
    case SQL_DESC_BIND_TYPE:
      d->SetBindType(number);
      break;
    case SQL_DESC_ROWS_PROCESSED_PTR:
      h.rowsProcessedPtr = static_cast<SQLULEN*>(value);
      break;
    case SQL_DESC_COUNT:
      if (d->Kind() == DescKind::kIrd) return VEL_POST(d, SQL_ERROR, kDiagReadOnlyDescriptor);
      if (static_cast<SQLSMALLINT>(number) < 0) return VEL_POST(d, SQL_ERROR, kDiagDescriptorIndex);
      if (!SetCount(d, static_cast<SQLSMALLINT>(number)))
        return VEL_POST(d, SQL_ERROR, kDiagMemory);
      break;
    default:  // SQL_DESC_ALLOC_TYPE
      return VEL_POST(d, SQL_ERROR, kDiagDescriptorField);
  }
  return SQL_SUCCESS;
}

// A type given as SQL_DESC_TYPE or SQL_DESC_CONCISE_TYPE, or a date and
// time subcode given to a date or time type: the concise type to keep.
SQLSMALLINT NewType(SQLSMALLINT field, SQLSMALLINT held, SQLLEN number) {
  if (field != SQL_DESC_DATETIME_INTERVAL_CODE) return static_cast<SQLSMALLINT>(number);
  if (number < SQL_CODE_DATE || number > SQL_CODE_TIMESTAMP) return held;
  return static_cast<SQLSMALLINT>(ConciseSqlType(held, static_cast<int32_t>(number)));
}

void SetIpd(ParameterBinding* b, SQLSMALLINT field, SQLLEN number) {
  if (IsTypeField(field)) {
    b->fSqlType = NewType(field, b->fSqlType, number);
    return;
  }
  switch (field) {
    case SQL_DESC_LENGTH:
      b->cbColDef = static_cast<SQLULEN>(number);
      break;
    case SQL_DESC_OCTET_LENGTH:
      if (CharacterOrBinary(b->fSqlType)) b->cbColDef = static_cast<SQLULEN>(number);
      break;
    case SQL_DESC_PRECISION:
      if (!CharacterOrBinary(b->fSqlType)) b->cbColDef = static_cast<SQLULEN>(number);
      break;
    case SQL_DESC_SCALE:
      b->ibScale = static_cast<SQLSMALLINT>(number);
      break;
    case SQL_DESC_PARAMETER_TYPE:
      b->fParamType = static_cast<SQLSMALLINT>(number);
      break;
    default:  // names and nullability: parameters are neither named nor described
      break;
  }
}

// An application record's field: type, buffers and numeric digits. Any
// field but the three pointers unbinds the record (its data pointer goes);
// the data pointer binds it when the record is consistent ("HY021").
template <typename Binding>
int SetApp(Descriptor* d, Binding* b, SQLSMALLINT* precision, SQLSMALLINT* scale, SQLSMALLINT field,
           SQLPOINTER value) {
  const SQLLEN number = reinterpret_cast<SQLLEN>(value);
  if (field != SQL_DESC_DATA_PTR && field != SQL_DESC_INDICATOR_PTR &&
      field != SQL_DESC_OCTET_LENGTH_PTR)
    b->rgbValue = nullptr;
  if (field == SQL_DESC_DATA_PTR && value != nullptr && !Consistent(b->fCType, *precision, *scale))
    return VEL_POST(d, SQL_ERROR, kDiagInconsistentDescriptor);
  if (IsTypeField(field)) {
    b->fCType = NewType(field, b->fCType, number);
    return SQL_SUCCESS;
  }
  switch (field) {
    case SQL_DESC_DATA_PTR:
      b->rgbValue = value;
      break;
    case SQL_DESC_INDICATOR_PTR:
      b->indicator = static_cast<SQLLEN*>(value);
      break;
    case SQL_DESC_OCTET_LENGTH_PTR:
      b->pcbValue = static_cast<SQLLEN*>(value);
      break;
    case SQL_DESC_OCTET_LENGTH:
      b->cbValueMax = number;
      break;
    case SQL_DESC_PRECISION:
      *precision = static_cast<SQLSMALLINT>(number);
      break;
    case SQL_DESC_SCALE:
      *scale = static_cast<SQLSMALLINT>(number);
      break;
    default:  // SQL_DESC_LENGTH: the octet length is what a buffer has
      break;
  }
  return SQL_SUCCESS;
}

}  // namespace

int GetDescFieldWorker(Descriptor* d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                       SQLINTEGER bufferLength, SQLINTEGER* stringLength) {
  const FieldRow* row = FindField(d, field);
  if (row == nullptr) return VEL_POST(d, SQL_ERROR, kDiagDescriptorField);
  if (row->header) {
    PutNumber(*row, HeaderValue(d, field), value, stringLength);
    return SQL_SUCCESS;
  }
  if (row->width == Width::kText) {
    const char* text = nullptr;
    uint32_t n = 0;
    const int rc = GetDescTextWorker(d, rec, field, &text, &n);
    if (rc != SQL_SUCCESS) return rc;
    if (bufferLength < 0) return VEL_POST(d, SQL_ERROR, kDiagInvalidLength);
    return PutText(d, text, n, value, bufferLength, stringLength);
  }
  if (!RecordAllowed(d, rec, false)) return VEL_POST(d, SQL_ERROR, kDiagDescriptorIndex);
  if (rec > Count(d)) return SQL_NO_DATA_FOUND;
  PutNumber(*row, FieldNumber(d, rec, field), value, stringLength);
  return SQL_SUCCESS;
}

int GetDescTextWorker(Descriptor* d, SQLSMALLINT rec, SQLSMALLINT field, const char** text,
                      uint32_t* length) {
  *text = nullptr;
  *length = 0;
  const FieldRow* row = FindField(d, field);
  if (row == nullptr || row->width != Width::kText)
    return VEL_POST(d, SQL_ERROR, kDiagDescriptorField);
  *text = "";
  if (!RecordAllowed(d, rec, false)) return VEL_POST(d, SQL_ERROR, kDiagDescriptorIndex);
  if (rec > Count(d)) return SQL_NO_DATA_FOUND;
  const Record r = Find(d, rec, false);
  if (r.column == nullptr) {  // parameters have no names, only types
    const SQLSMALLINT type = r.param ? r.param->fSqlType : SQL_VARCHAR;
    if (field == SQL_DESC_TYPE_NAME || field == SQL_DESC_LOCAL_TYPE_NAME)
      *text = SqlTypeName(SentSqlType(type));
    *length = static_cast<uint32_t>(std::strlen(*text));
    return SQL_SUCCESS;
  }
  const AttributeRow* attribute =
      FindAttribute(field == SQL_DESC_NAME ? SQL_COLUMN_NAME : static_cast<uint16_t>(field));
  if (attribute != nullptr) *text = ColumnAttributeText(*r.column, attribute->source, length);
  return SQL_SUCCESS;
}

int SetDescFieldWorker(Descriptor* d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                       SQLINTEGER bufferLength) {
  (void)bufferLength;  // SQL_DESC_NAME of a parameter is not kept
  const FieldRow* row = FindField(d, field);
  if (row == nullptr) return VEL_POST(d, SQL_ERROR, kDiagDescriptorField);
  const bool statusField =
      field == SQL_DESC_ARRAY_STATUS_PTR || field == SQL_DESC_ROWS_PROCESSED_PTR;
  if (d->Kind() == DescKind::kIrd && !statusField)
    return VEL_POST(d, SQL_ERROR, kDiagReadOnlyDescriptor);
  if (row->header) return SetHeader(d, field, value);
  if (!RecordAllowed(d, rec, true)) return VEL_POST(d, SQL_ERROR, kDiagDescriptorIndex);
  const Record r = Find(d, rec, true);
  if (r.row == nullptr && r.param == nullptr) return VEL_POST(d, SQL_ERROR, kDiagMemory);
  if (d->Kind() == DescKind::kIpd && !d->Explicit()) {
    SetIpd(r.param, field, reinterpret_cast<SQLLEN>(value));
  } else if (r.row != nullptr) {
    const int rc = SetApp(d, r.row, &r.row->precision, &r.row->scale, field, value);
    d->RecordsChanged();
    return rc;
  } else {
    return SetApp(d, r.param, &r.param->appPrecision, &r.param->appScale, field, value);
  }
  return SQL_SUCCESS;
}

int GetDescRecWorker(Descriptor* d, SQLSMALLINT rec, SQLCHAR* name, SQLSMALLINT bufferLength,
                     SQLSMALLINT* stringLength, SQLSMALLINT* type, SQLSMALLINT* subType,
                     SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                     SQLSMALLINT* nullable) {
  if (!RecordAllowed(d, rec, false)) return VEL_POST(d, SQL_ERROR, kDiagDescriptorIndex);
  if (rec > Count(d)) return SQL_NO_DATA_FOUND;
  int rc = SQL_SUCCESS;
  const Record r = Find(d, rec, false);
  if (name != nullptr || stringLength != nullptr) {
    const String* text = r.column != nullptr ? &r.column->description->columnName : nullptr;
    SQLINTEGER n = 0;
    rc = PutText(d, text ? text->TextOrEmpty() : "", text ? text->Length() : 0, name, bufferLength,
                 &n);
    if (stringLength != nullptr) *stringLength = static_cast<SQLSMALLINT>(n);
  }
  const bool implementation = !d->Application();
  if (type) *type = static_cast<SQLSMALLINT>(FieldNumber(d, rec, SQL_DESC_TYPE));
  if (subType)
    *subType = static_cast<SQLSMALLINT>(FieldNumber(d, rec, SQL_DESC_DATETIME_INTERVAL_CODE));
  if (length) *length = FieldNumber(d, rec, SQL_DESC_OCTET_LENGTH);
  if (precision) *precision = static_cast<SQLSMALLINT>(FieldNumber(d, rec, SQL_DESC_PRECISION));
  if (scale) *scale = static_cast<SQLSMALLINT>(FieldNumber(d, rec, SQL_DESC_SCALE));
  if (nullable)
    *nullable = implementation ? static_cast<SQLSMALLINT>(FieldNumber(d, rec, SQL_DESC_NULLABLE))
                               : SQL_NULLABLE_UNKNOWN;
  return rc;
}

int SetDescRecWorker(Descriptor* d, SQLSMALLINT rec, SQLSMALLINT type, SQLSMALLINT subType,
                     SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data,
                     SQLLEN* stringLength, SQLLEN* indicator) {
  const auto number = [](SQLLEN v) { return reinterpret_cast<SQLPOINTER>(v); };
  int rc = SetDescFieldWorker(d, rec, SQL_DESC_TYPE, number(type), 0);
  if (rc == SQL_SUCCESS && type == SQL_DATETIME)
    rc = SetDescFieldWorker(d, rec, SQL_DESC_DATETIME_INTERVAL_CODE, number(subType), 0);
  if (rc == SQL_SUCCESS) rc = SetDescFieldWorker(d, rec, SQL_DESC_OCTET_LENGTH, number(length), 0);
  if (rc == SQL_SUCCESS) rc = SetDescFieldWorker(d, rec, SQL_DESC_PRECISION, number(precision), 0);
  if (rc == SQL_SUCCESS) rc = SetDescFieldWorker(d, rec, SQL_DESC_SCALE, number(scale), 0);
  if (rc != SQL_SUCCESS || !d->Application()) return rc;
  rc = SetDescFieldWorker(d, rec, SQL_DESC_OCTET_LENGTH_PTR, stringLength, 0);
  if (rc == SQL_SUCCESS) rc = SetDescFieldWorker(d, rec, SQL_DESC_INDICATOR_PTR, indicator, 0);
  if (rc == SQL_SUCCESS) rc = SetDescFieldWorker(d, rec, SQL_DESC_DATA_PTR, data, 0);
  return rc;
}

int CopyDescWorker(Descriptor* source, Descriptor* target) {
  if (target->Kind() == DescKind::kIrd && !target->Explicit())
    return VEL_POST(target, SQL_ERROR, kDiagReadOnlyDescriptor);
  static const SQLSMALLINT kHeader[] = {SQL_DESC_ARRAY_SIZE, SQL_DESC_BIND_TYPE,
                                        SQL_DESC_BIND_OFFSET_PTR, SQL_DESC_ARRAY_STATUS_PTR,
                                        SQL_DESC_ROWS_PROCESSED_PTR};
  for (SQLSMALLINT field : kHeader) {
    if (FindField(source, field) == nullptr || FindField(target, field) == nullptr) continue;
    const int rc =
        SetHeader(target, field, reinterpret_cast<SQLPOINTER>(HeaderValue(source, field)));
    if (rc != SQL_SUCCESS) return rc;
  }
  // The type first: the lengths and digits of a parameter depend on it.
  static const SQLSMALLINT kRecord[] = {
      SQL_DESC_CONCISE_TYPE,     SQL_DESC_OCTET_LENGTH,  SQL_DESC_LENGTH,
      SQL_DESC_PRECISION,        SQL_DESC_SCALE,         SQL_DESC_PARAMETER_TYPE,
      SQL_DESC_OCTET_LENGTH_PTR, SQL_DESC_INDICATOR_PTR, SQL_DESC_DATA_PTR};
  SetCount(target, 0);
  const SQLSMALLINT count = Count(source);
  for (SQLSMALLINT rec = 1; rec <= count; ++rec) {
    const Record r = Find(source, rec, false);
    if (r.row == nullptr && r.param == nullptr && r.column == nullptr) continue;
    for (SQLSMALLINT field : kRecord) {
      if (FindField(source, field) == nullptr || FindField(target, field) == nullptr) continue;
      const SQLLEN value = FieldNumber(source, rec, field);
      const int rc = SetDescFieldWorker(target, rec, field, reinterpret_cast<SQLPOINTER>(value), 0);
      if (rc != SQL_SUCCESS) return rc;
    }
  }
  return SQL_SUCCESS;
}

int AllocDescWorker(Connection* c, SQLHDESC* phdesc) {
  if (phdesc == nullptr) return VEL_POST(c, SQL_ERROR, kDiagInvalidArgument);
  *phdesc = SQL_NULL_HDESC;
  if (!c->LoggedIn()) return VEL_POST(c, SQL_ERROR, kDiagConnectionNotOpen);
  Descriptor* d = new (std::nothrow) Descriptor(c);
  if (d == nullptr || !d->errors.Reserve()) {
    delete d;
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  c->descriptors.Append(d);
  {
    LockGuard guard(Handles().Mutex());
    Handles().Insert(d, c);
  }
  *phdesc = d;
  return SQL_SUCCESS;
}

int FreeDescWorker(Descriptor* d) {
  if (!d->Explicit()) return VEL_POST(d, SQL_ERROR, kDiagImplicitDescriptor);
  d->Dissociate();
  d->OwningConnection()->descriptors.Delete(d);
  return SQL_SUCCESS;
}
