// A value as the storage holds it, independent of the wire forms.
#ifndef VELORA_SERVER_VALUES_VALUE_H
#define VELORA_SERVER_VALUES_VALUE_H

#include <cstdint>
#include <string>

namespace velsrv {

struct Value {
  enum class Kind { kNull, kInteger, kReal, kText, kBlob };
  Kind kind = Kind::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // text or blob
  // Text that is an exact decimal number an application sent for a
  // NUMERIC or DECIMAL marker: a storage without exact numbers may take
  // it as a number.
  bool decimal = false;

  static Value Null() { return Value(); }
  static Value Integer(int64_t v) {
    Value x;
    x.kind = Kind::kInteger;
    x.integer = v;
    return x;
  }
  static Value Real(double v) {
    Value x;
    x.kind = Kind::kReal;
    x.real = v;
    return x;
  }
  static Value Text(std::string v) {
    Value x;
    x.kind = Kind::kText;
    x.bytes = std::move(v);
    return x;
  }
  static Value Blob(std::string v) {
    Value x;
    x.kind = Kind::kBlob;
    x.bytes = std::move(v);
    return x;
  }
  bool IsNull() const { return kind == Kind::kNull; }
};

}  // namespace velsrv

#endif
