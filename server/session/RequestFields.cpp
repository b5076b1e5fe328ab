// Request elements read and reply elements filled.
#include "server/session/RequestFields.h"

#include <algorithm>
#include <new>

namespace velsrv {

std::string Text(StringElement* e) {
  if (!e) return "";
  return std::string(e->value.TextOrEmpty(), e->value.Length());
}

bool SetText(StringElement* e, const std::string& text) {
  if (!e) return true;
  size_t n = text.size() > kMaxStringElementLength ? kMaxStringElementLength : text.size();
  return e->value.SetString(text.data(), static_cast<int32_t>(n)) != 0;
}

uint32_t Id(Request* r) {
  StatementIdElement* e = r->Get<StatementIdElement>();
  return e ? e->value : 0;
}

bool SetDescription(Request* r, const std::vector<ColumnOut>& columns,
                    ResultSetDescriptionElement* into) {
  ResultSetDescriptionElement* e = into ? into : r->Get<ResultSetDescriptionElement>();
  if (!e) return true;
  ColumnDescriptionList* list = new (std::nothrow) ColumnDescriptionList();
  if (!list) return false;
  for (const ColumnOut& c : columns) {
    ColumnDescription* d = new (std::nothrow) ColumnDescription();
    if (!d) {
      delete list;
      return false;
    }
    const size_t name = std::min<size_t>(c.name.size(), kMaxStringElementLength);
    const size_t table = std::min<size_t>(c.table.size(), kMaxStringElementLength);
    if (!d->columnName.SetString(c.name.data(), static_cast<int32_t>(name)) ||
        !d->tableOwner.SetString(c.owner.c_str()) ||
        !d->tableName.SetString(c.table.data(), static_cast<int32_t>(table))) {
      delete d;
      delete list;
      return false;
    }
    d->length = c.type.length;
    d->nullability = c.nullability;
    d->precision = c.type.precision;
    d->scale = c.type.scale;
    d->sqlDataType = c.type.sqlType;
    d->updatable = false;  // cursors are read-only
    list->Append(d);
  }
  e->SetColumns(list);
  return true;
}

std::vector<ParamIn> Parameters(Request* r) {
  std::vector<ParamIn> out;
  ParameterDataSetElement* set = r->Get<ParameterDataSetElement>();
  if (!set || !set->List()) return out;
  for (ParameterDataElement* p = set->List()->Head(); p;
       p = static_cast<ParameterDataElement*>(p->NextItem())) {
    ParamIn in;
    in.number = p->Number();
    in.sqlType = static_cast<int16_t>(p->SqlType());
    in.isNull = p->IsNull();
    if (!in.isNull && p->Data())
      in.data.assign(reinterpret_cast<const char*>(p->Data()), p->Length());
    out.push_back(std::move(in));
  }
  return out;
}

std::vector<uint16_t> Wanted(Request* r) {
  std::vector<uint16_t> wanted;
  ShortVectorElement* v = r->Get<ColumnNumberVectorElement>();
  for (uint16_t i = 0; i < v->Count(); ++i) wanted.push_back(v->At(i));
  return wanted;
}

bool PutCell(FetchDataList* list, const CellOut& cell) {
  FetchDataElement* e = new (std::nothrow) FetchDataElement();
  if (!e) return false;
  if (!e->Set(cell.column, cell.data.data(), static_cast<uint32_t>(cell.data.size()),
              cell.isNull)) {
    delete e;
    return false;
  }
  list->Append(e);
  return true;
}

void PutDiagnostic(Request* r, const Diagnostic& d) {
  // A text that cannot be kept (no memory) travels empty: the record's
  // code and line still reach the client.
  static_cast<void>(SetText(r->Get<SqlstateElement>(), d.sqlstate));
  r->Get<ErrorCodeElement>()->value = static_cast<int16_t>(d.native);
  static_cast<void>(SetText(r->Get<ErrorTextElement>(), d.text));
  static_cast<void>(SetText(r->Get<FileNameElement>(), d.file));
  r->Get<LineNumberElement>()->value = static_cast<int16_t>(d.line);
}

}  // namespace velsrv
