// Decimal numbers as digit strings: parsing and normalising to the digits
// the NUMERIC forms hold.
#include "server/values/DecimalText.h"

#include <cctype>

#include "server/values/SqlTypes.h"
#include "server/TextCase.h"

namespace velsrv {

bool ParseDecimal(const std::string& text, Decimal* out) {
  std::string t = Trim(text);
  size_t i = 0;
  Decimal d;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) d.negative = t[i++] == '-';
  bool any = false;
  for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i, any = true)
    d.digits += t[i];
  if (i < t.size() && t[i] == '.') {
    for (++i; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i, any = true) {
      d.digits += t[i];
      --d.exponent;
    }
  }
  if (!any) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    if (i >= t.size()) return false;
    long e = 0;
    for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) {
      e = e * 10 + (t[i] - '0');
      if (e > 100000) return false;
    }
    d.exponent += static_cast<int>(neg ? -e : e);
  }
  if (i != t.size()) return false;
  *out = d;
  return true;
}

void Normalize(Decimal* d) {
  size_t lead = d->digits.find_first_not_of('0');
  if (lead == std::string::npos) {
    d->digits.clear();
    d->exponent = 0;
    d->negative = false;
    return;
  }
  d->digits.erase(0, lead);
  if (d->digits.size() > kSqlNumericDigits) {
    int dropped = static_cast<int>(d->digits.size() - kSqlNumericDigits);
    bool roundUp = d->digits[kSqlNumericDigits] >= '5';
    d->digits.resize(kSqlNumericDigits);
    d->exponent += dropped;
    if (roundUp) {
      int i = static_cast<int>(kSqlNumericDigits) - 1;
      while (i >= 0 && d->digits[i] == '9') d->digits[i--] = '0';
      if (i >= 0) {
        d->digits[i]++;
      } else {
        d->digits.insert(d->digits.begin(), '1');
        d->digits.pop_back();
        d->exponent++;
      }
    }
  }
  size_t last = d->digits.find_last_not_of('0');
  d->exponent += static_cast<int>(d->digits.size() - 1 - last);
  d->digits.resize(last + 1);
}

}  // namespace velsrv
