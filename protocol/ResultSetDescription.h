// resultSetDescription: the columns of a result set, each sent as nine
// sub-elements (name, length, nullability, owner, precision, scale, table,
// SQL type, updatable) after a 16-bit column count.
#ifndef VELORA_PROTOCOL_RESULTSETDESCRIPTION_H
#define VELORA_PROTOCOL_RESULTSETDESCRIPTION_H

#include <cstdint>

#include "protocol/BasicElements.h"
#include "protocol/ColumnDescription.h"
#include "protocol/Element.h"
#include "protocol/WireNumbers.h"

class ResultSetDescriptionElement : public Element {
 public:
  static constexpr int kId = El::kResultSetDescription;
  ~ResultSetDescriptionElement() override;
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  int ElementId() const override { return kId; }
  uint32_t ElementSize() const override;
  bool FitsOnWire() const override;

  // The columns received (or given), null before the first decoding.
  ColumnDescriptionList* Columns() { return columns_; }
  // Hands the list to the caller, who then owns it; the element keeps none.
  ColumnDescriptionList* TakeColumns();
  // Destroys the current list, if any, and takes ownership of columns.
  void SetColumns(ColumnDescriptionList* columns);

 private:
  bool GetColumn(ElementCursor* cursor, int* status);
  bool PutColumn(const ColumnDescription& column, ElementCursor* cursor, int* status);
  void EmptyTexts();

  ColumnDescriptionList* columns_ = nullptr;
  ConcreteElement<StringElement, 5> columnName_;
  ConcreteElement<ULongElement, 22> length_;
  ConcreteElement<EnumElement, 33> nullability_;
  ConcreteElement<StringElement, 53> tableOwner_;
  ConcreteElement<ULongElement, 38> precision_;
  ConcreteElement<ShortElement, 44> scale_;
  ConcreteElement<StringElement, 52> tableName_;
  ConcreteElement<EnumElement, 47> sqlDataType_;
  ConcreteElement<ShortElement, 58> updatable_;
};

// parameterSetDescription: the parameter markers of a statement, each
// described as a result column is (protocol/DESCRIBE.md).
class ParameterSetDescriptionElement final : public ResultSetDescriptionElement {
 public:
  static constexpr int kId = El::kParameterSetDescription;
  int ElementId() const override { return kId; }
};

#endif
