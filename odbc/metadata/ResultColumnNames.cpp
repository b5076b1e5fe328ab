#include "odbc/metadata/ResultColumnNames.h"

#include <sql.h>

#include <cstring>

#include "convert/ColumnValue.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Odbc3Rules.h"
#include "handles/Statement.h"

namespace {

struct Rename {
  const char* odbc2;
  const char* odbc3;
};

// Every catalog result set's columns whose names changed in ODBC 3.
const Rename kRenames[] = {
    {"TABLE_QUALIFIER", "TABLE_CAT"},
    {"TABLE_OWNER", "TABLE_SCHEM"},
    {"PKTABLE_QUALIFIER", "PKTABLE_CAT"},
    {"PKTABLE_OWNER", "PKTABLE_SCHEM"},
    {"FKTABLE_QUALIFIER", "FKTABLE_CAT"},
    {"FKTABLE_OWNER", "FKTABLE_SCHEM"},
    {"PROCEDURE_QUALIFIER", "PROCEDURE_CAT"},
    {"PROCEDURE_OWNER", "PROCEDURE_SCHEM"},
    {"PRECISION", "COLUMN_SIZE"},
    {"LENGTH", "BUFFER_LENGTH"},
    {"SCALE", "DECIMAL_DIGITS"},
    {"RADIX", "NUM_PREC_RADIX"},
    {"SEQ_IN_INDEX", "ORDINAL_POSITION"},
    {"COLLATION", "ASC_OR_DESC"},
    {"MONEY", "FIXED_PREC_SCALE"},
    {"AUTO_INCREMENT", "AUTO_UNIQUE_VALUE"},
};

}  // namespace

int UseOdbc3CatalogNames(Statement* s) {
  if (!FollowsOdbc3(*s)) return SQL_SUCCESS;
  ResultColumnList& columns = s->cursor.Columns();
  for (ColumnValue* v = columns.First(); v != nullptr; v = columns.Next()) {
    String& name = v->description->columnName;
    const char* text = name.TextOrEmpty();
    if (std::strcmp(text, "DATA_TYPE") == 0) v->SetMark(ColumnValue::kOdbc3TypeCodes);
    for (const Rename& r : kRenames) {
      if (std::strcmp(text, r.odbc2) != 0) continue;
      if (!name.SetString(r.odbc3)) return VEL_POST(s, SQL_ERROR, kDiagMemory);
      break;
    }
  }
  return SQL_SUCCESS;
}
