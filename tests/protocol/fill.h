// Test helpers: give any protocol element a non-zero value derived from a
// seed, and encode an element to bytes.
#ifndef VELORA_TESTS_PROTOCOL_FILL_H
#define VELORA_TESTS_PROTOCOL_FILL_H

#include <string>

#include "protocol/Elements.h"

// Fills e with a value that depends on seed (texts, vectors, rows and
// column lists included). Returns false for an element kind it does not
// know.
inline bool FillElement(Element* e, int seed) {
  if (auto* s = dynamic_cast<ShortElement*>(e)) {
    s->value = static_cast<int16_t>(-100 - seed);
  } else if (auto* l = dynamic_cast<LongElement*>(e)) {
    l->value = -70000 - seed;
  } else if (auto* u = dynamic_cast<ULongElement*>(e)) {
    u->value = 0x80000000u + static_cast<uint32_t>(seed);
  } else if (auto* en = dynamic_cast<EnumElement*>(e)) {
    en->value = (seed % 2) ? -1 : 1 + seed;
  } else if (auto* st = dynamic_cast<StringElement*>(e)) {
    std::string text = "text-" + std::to_string(seed) + "-\xE4 x";
    st->value.SetString(text.c_str());
  } else if (auto* v = dynamic_cast<ShortVectorElement*>(e)) {
    v->SetCount(3);
    for (uint16_t i = 0; i < 3; ++i) v->SetAt(i, static_cast<uint16_t>(seed + i + 0xFF00));
  } else if (auto* n = dynamic_cast<NativeLengthValuesElement*>(e)) {
    for (int i = 0; i < NativeLengthValuesElement::kCount; ++i) {
      n->values[i] = static_cast<uint16_t>(seed * 13 + i + 1);
    }
  } else if (auto* f = dynamic_cast<FetchDataElement*>(e)) {
    f->Set(static_cast<uint16_t>(seed + 1), "\x01\x02\x00\x03", 4, false);
  } else if (auto* fs = dynamic_cast<FetchDataSetElement*>(e)) {
    fs->ResetList();
    for (int i = 0; i < 3; ++i) {
      auto* item = new (std::nothrow) FetchDataElement;
      if (i == 1) {
        item->Set(static_cast<uint16_t>(i + 1), nullptr, 0, true);
      } else {
        item->Set(static_cast<uint16_t>(i + 1), "row-data", static_cast<uint32_t>(3 + i + seed % 4),
                  false);
      }
      fs->List()->Append(item);
    }
  } else if (auto* p = dynamic_cast<ParameterDataElement*>(e)) {
    p->Set(static_cast<uint16_t>(seed + 1), -5, "\x10\x20\x30", 3, false);
  } else if (auto* ps = dynamic_cast<ParameterDataSetElement*>(e)) {
    auto* list = new (std::nothrow) ParameterDataList;
    for (int i = 0; i < 2; ++i) {
      auto* item = new (std::nothrow) ParameterDataElement;
      if (i == 0) {
        item->Set(1, 12, "abc", 3, false);
      } else {
        item->Set(2, 4, nullptr, 0, true);
      }
      list->Append(item);
    }
    ps->SetList(list);
  } else if (auto* r = dynamic_cast<ResultSetDescriptionElement*>(e)) {
    auto* list = new (std::nothrow) ColumnDescriptionList;
    for (int i = 0; i < 2; ++i) {
      auto* c = new (std::nothrow) ColumnDescription;
      c->columnName.SetString(i == 0 ? "ID" : "NAME");
      c->length = 10 + static_cast<uint32_t>(i);
      c->nullability = i;
      c->tableOwner.SetString(i == 0 ? "" : "owner");
      c->precision = 20 + static_cast<uint32_t>(seed);
      c->scale = static_cast<int16_t>(i);
      c->tableName.SetString("T");
      c->sqlDataType = i == 0 ? 4 : 12;
      c->updatable = i == 1;
      list->Append(c);
    }
    r->SetColumns(list);
  } else {
    return false;
  }
  return true;
}

// The bytes of e's encoding ("" when encoding fails).
inline std::string Encode(Element* e, int* status = nullptr) {
  std::string out(e->ElementSize(), '\0');
  int local = -1;
  ElementCursor c{reinterpret_cast<uint8_t*>(&out[0]),
                  reinterpret_cast<uint8_t*>(&out[0]) + out.size()};
  if (!e->PutElement(&c, status ? status : &local)) return "";
  if (static_cast<size_t>(c.position - reinterpret_cast<uint8_t*>(&out[0])) != out.size()) {
    return "size mismatch";
  }
  return out;
}

// Decodes bytes into e; returns the bytes consumed, or -1 with *status.
inline long Decode(Element* e, const std::string& bytes, int* status) {
  std::string copy = bytes;
  uint8_t* start = reinterpret_cast<uint8_t*>(&copy[0]);
  ElementCursor c{start, start + copy.size()};
  if (!e->GetElement(&c, status)) return -1;
  return static_cast<long>(c.position - start);
}

#endif
