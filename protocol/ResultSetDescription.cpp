// Encoding and decoding of resultSetDescription through its nine embedded
// sub-elements, which also write the per-column trace lines.
#include "protocol/ResultSetDescription.h"

#include "base/Trace.h"
#include "protocol/ElementNames.h"
#include "protocol/WireCodec.h"

namespace {
// Fixed bytes of one column: three text lengths, two 32-bit numbers and
// four 16-bit fields.
const uint32_t kColumnFixedBytes = 3 * 2 + 2 * 4 + 4 * 2;
}  // namespace

ResultSetDescriptionElement::~ResultSetDescriptionElement() { delete columns_; }

ColumnDescriptionList* ResultSetDescriptionElement::TakeColumns() {
  ColumnDescriptionList* taken = columns_;
  columns_ = nullptr;
  return taken;
}

void ResultSetDescriptionElement::SetColumns(ColumnDescriptionList* columns) {
  if (columns == columns_) return;
  delete columns_;
  columns_ = columns;
}

uint32_t ResultSetDescriptionElement::ElementSize() const {
  uint64_t total = 2;
  if (columns_ != nullptr) {
    for (ColumnDescription* c = columns_->Head(); c != nullptr;
         c = static_cast<ColumnDescription*>(c->NextItem())) {
      total += kColumnFixedBytes + c->columnName.Length() + c->tableOwner.Length() +
               c->tableName.Length();
    }
  }
  return total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
}

bool ResultSetDescriptionElement::FitsOnWire() const {
  if (columns_ == nullptr) return true;
  if (columns_->Count() > 65535) return false;
  for (ColumnDescription* c = columns_->Head(); c != nullptr;
       c = static_cast<ColumnDescription*>(c->NextItem())) {
    if (c->columnName.Length() > kMaxStringElementLength ||
        c->tableOwner.Length() > kMaxStringElementLength ||
        c->tableName.Length() > kMaxStringElementLength) {
      return false;
    }
  }
  return ElementSize() < UINT32_MAX;
}

void ResultSetDescriptionElement::EmptyTexts() {
  columnName_.value.Clear();
  tableOwner_.value.Clear();
  tableName_.value.Clear();
}

bool ResultSetDescriptionElement::GetColumn(ElementCursor* cursor, int* status) {
  Element* parts[] = {&columnName_, &length_,    &nullability_, &tableOwner_, &precision_,
                      &scale_,      &tableName_, &sqlDataType_, &updatable_};
  for (Element* part : parts) {
    if (!part->GetElement(cursor, status)) return false;
  }
  ColumnDescription* column = new (std::nothrow) ColumnDescription;
  if (column == nullptr) {
    *status = kStatusMemoryFailure;
    return false;
  }
  column->length = length_.value;
  column->nullability = nullability_.value;
  column->precision = precision_.value;
  column->scale = scale_.value;
  column->sqlDataType = sqlDataType_.value;
  column->updatable = updatable_.value != 0;
  if (!column->columnName.SetString(columnName_.value) ||
      !column->tableOwner.SetString(tableOwner_.value) ||
      !column->tableName.SetString(tableName_.value)) {
    delete column;
    *status = kStatusMemoryFailure;
    return false;
  }
  columns_->Append(column);
  return true;
}

bool ResultSetDescriptionElement::GetElement(ElementCursor* cursor, int* status) {
  Trace('P', 2, "%s.GetElement()", ElementName(kId));
  ColumnDescriptionList* columns = new (std::nothrow) ColumnDescriptionList;
  if (columns == nullptr) {
    *status = kStatusMemoryFailure;
    return false;
  }
  SetColumns(columns);
  ElementCursor start = *cursor;
  uint16_t count = 0;
  if (!wire::Read(cursor, &count, status)) return false;
  if (cursor->Left() / kColumnFixedBytes < count) {
    *cursor = start;
    *status = kStatusCommunicationFailure;
    return false;
  }
  bool ok = true;
  for (uint16_t i = 0; ok && i < count; ++i) ok = GetColumn(cursor, status);
  EmptyTexts();
  return ok;
}

bool ResultSetDescriptionElement::PutColumn(const ColumnDescription& column, ElementCursor* cursor,
                                            int* status) {
  if (!columnName_.value.SetString(column.columnName) ||
      !tableOwner_.value.SetString(column.tableOwner) ||
      !tableName_.value.SetString(column.tableName)) {
    *status = kStatusMemoryFailure;
    return false;
  }
  length_.value = column.length;
  nullability_.value = column.nullability;
  precision_.value = column.precision;
  scale_.value = column.scale;
  sqlDataType_.value = column.sqlDataType;
  updatable_.value = column.updatable ? 1 : 0;
  Element* parts[] = {&columnName_, &length_,    &nullability_, &tableOwner_, &precision_,
                      &scale_,      &tableName_, &sqlDataType_, &updatable_};
  for (Element* part : parts) {
    if (!part->PutElement(cursor, status)) return false;
  }
  return true;
}

bool ResultSetDescriptionElement::PutElement(ElementCursor* cursor, int* status) {
  Trace('P', 2, "%s.PutElement()", ElementName(kId));
  if (!FitsOnWire()) {
    *status = kStatusValueTooLong;
    return false;
  }
  uint16_t count = columns_ != nullptr ? static_cast<uint16_t>(columns_->Count()) : 0;
  if (!wire::Write(cursor, count, status)) return false;
  bool ok = true;
  if (columns_ != nullptr) {
    for (ColumnDescription* c = columns_->Head(); ok && c != nullptr;
         c = static_cast<ColumnDescription*>(c->NextItem())) {
      ok = PutColumn(*c, cursor, status);
    }
  }
  EmptyTexts();
  return ok;
}
