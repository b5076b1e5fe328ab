// Descriptors: what ties an explicit one to the statements that use it.
#include "handles/Descriptor.h"

#include "convert/ParameterTable.h"
#include "handles/Connection.h"
#include "handles/Statement.h"

Connection* Descriptor::OwningConnection() const {
  return statement_ != nullptr ? statement_->OwningConnection() : connection_;
}

SQLULEN Descriptor::BindType() const {
  if (statement_ != nullptr && kind_ == DescKind::kArd)
    return static_cast<SQLULEN>(static_cast<uint32_t>(statement_->options.BindType()));
  return header.bindType;
}

void Descriptor::SetBindType(SQLULEN type) {
  if (statement_ != nullptr && kind_ == DescKind::kArd) {
    statement_->options.Set(OptionSlot::kBindType, static_cast<int32_t>(type));
  } else {
    header.bindType = type;
  }
}

void Descriptor::RecordsChanged() {
  if (statement_ != nullptr) {
    if (kind_ == DescKind::kArd) statement_->RelinkColumns();
    return;
  }
  StatementList& statements = connection_->statements;
  for (Statement* s = statements.Head(); s != nullptr; s = static_cast<Statement*>(s->NextItem())) {
    if (s->ExplicitArd() == this) s->RelinkColumns();
  }
}

void Descriptor::Dissociate() {
  if (statement_ != nullptr) return;
  StatementList& statements = connection_->statements;
  for (Statement* s = statements.Head(); s != nullptr; s = static_cast<Statement*>(s->NextItem())) {
    if (s->ExplicitArd() == this) s->Associate(nullptr, true);
    if (s->ExplicitApd() == this) s->Associate(nullptr, false);
  }
}

SQLLEN ValueStride(SQLSMALLINT cType, SQLLEN bufferLength) {
  const ParamCTypeRow* c = FindParamCType(cType);
  return c != nullptr && c->width != 0 ? c->width : bufferLength;
}
