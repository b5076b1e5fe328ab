// The information types the ODBC 3.x library answers otherwise than the
// ODBC 2.0 one, and the ODBC 3 types, one row each.
#include <sqlext.h>

#include "odbc/InfoTable.h"

namespace {

constexpr InfoRow Text(uint16_t type, const char* name, const char* value) {
  return {type, name, InfoKind::kText, InfoSource::kFixed, 0, value, nullptr};
}

constexpr InfoRow kInfoRows3[] = {
    Text(SQL_DRIVER_NAME, "DRIVER_NAME", "libvelodbcw.so"),
    Text(SQL_DRIVER_ODBC_VER, "DRIVER_ODBC_VER", "03.80"),
};

}  // namespace

const InfoRow* FindInfoRow3(uint16_t type) {
  for (const InfoRow& row : kInfoRows3) {
    if (row.type == type) return &row;
  }
  return nullptr;
}
