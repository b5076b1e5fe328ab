// Catalog result sets built from the storage's schema information.
#include "server/metadata/MetadataResults.h"

#include <algorithm>
#include <cctype>

#include "protocol/IntervalText.h"
#include "server/values/SqlTypes.h"
#include "server/TextCase.h"

namespace velsrv {

std::vector<ColumnOut> Describe(const ColumnLayout* layout, size_t count) {
  std::vector<ColumnOut> out;
  for (size_t i = 0; i < count; ++i) {
    ColumnOut c;
    c.name = layout[i].name;
    c.type = TypeForCode(layout[i].sqlType, layout[i].size);
    c.nullability = layout[i].nullability;
    out.push_back(c);
  }
  return out;
}

Status MatchingTables(StorageSession* storage, const std::string& pattern,
                      std::vector<TableEntry>* out) {
  std::vector<TableEntry> all;
  Status st = storage->Tables(&all);
  if (!st.ok) return st;
  for (const TableEntry& t : all)
    if (PatternMatch(pattern, t.name)) out->push_back(t);
  return Status::Ok();
}

// The rows of one type description in the layout shared by SQLColumns and
// SQLSpecialColumns: DATA_TYPE, TYPE_NAME, PRECISION, LENGTH, SCALE.
void TypeFields(const SqlTypeDesc& t, std::vector<Value>* row) {
  row->push_back(Value::Integer(t.sqlType));
  const char* name = SqlTypeName(t.sqlType);
  row->push_back(name ? Value::Text(name) : Value::Null());
  row->push_back(Value::Integer(t.precision));
  row->push_back(Value::Integer(t.length));
  const SqlTypeInfo* type = FindSqlTypeInfo(t.sqlType);
  row->push_back(type->minScale >= 0 ? Value::Integer(t.scale) : Value::Null());
}

// ODBC 3's SQL_DATA_TYPE and SQL_DATETIME_SUB of a type (NULL for the
// types without a subcode).
void VerboseType(int16_t code, std::vector<Value>* row) {
  const int16_t subcode = DateTimeSubcode(code);
  row->push_back(Value::Integer(VerboseSqlType(code)));
  row->push_back(subcode != 0 ? Value::Integer(subcode) : Value::Null());
}

SqlTypeDesc ColumnType(const std::string& declared) {
  SqlTypeDesc t;
  if (!TypeFromDeclared(declared, &t)) t = TypeForCode(kSqlVarChar);
  return t;
}

namespace {

constexpr uint32_t kNameLength = kCatalogNameLength;

const ColumnLayout kTablesColumns[] = {
    {"TABLE_QUALIFIER", kSqlVarChar, kNameLength, 1},
    {"TABLE_OWNER", kSqlVarChar, kNameLength, 1},
    {"TABLE_NAME", kSqlVarChar, kNameLength, 1},
    {"TABLE_TYPE", kSqlVarChar, kNameLength, 1},
    {"REMARKS", kSqlVarChar, 254, 1},
};

const ColumnLayout kColumnsColumns[] = {
    {"TABLE_QUALIFIER", kSqlVarChar, kNameLength, 1},
    {"TABLE_OWNER", kSqlVarChar, kNameLength, 1},
    {"TABLE_NAME", kSqlVarChar, kNameLength, 0},
    {"COLUMN_NAME", kSqlVarChar, kNameLength, 0},
    {"DATA_TYPE", kSqlSmallInt, 0, 0},
    {"TYPE_NAME", kSqlVarChar, kNameLength, 0},
    {"PRECISION", kSqlInteger, 0, 1},
    {"LENGTH", kSqlInteger, 0, 1},
    {"SCALE", kSqlSmallInt, 0, 1},
    {"RADIX", kSqlSmallInt, 0, 1},
    {"NULLABLE", kSqlSmallInt, 0, 0},
    {"REMARKS", kSqlVarChar, 254, 1},
};

// The columns ODBC 3 adds after those, on request (protocol/CATALOG3.md).
const ColumnLayout kColumnsColumns3[] = {
    {"COLUMN_DEF", kSqlVarChar, 254, 1},      {"SQL_DATA_TYPE", kSqlSmallInt, 0, 0},
    {"SQL_DATETIME_SUB", kSqlSmallInt, 0, 1}, {"CHAR_OCTET_LENGTH", kSqlInteger, 0, 1},
    {"ORDINAL_POSITION", kSqlInteger, 0, 0},  {"IS_NULLABLE", kSqlVarChar, 254, 1},
};

const ColumnLayout kStatisticsColumns[] = {
    {"TABLE_QUALIFIER", kSqlVarChar, kNameLength, 1},
    {"TABLE_OWNER", kSqlVarChar, kNameLength, 1},
    {"TABLE_NAME", kSqlVarChar, kNameLength, 0},
    {"NON_UNIQUE", kSqlSmallInt, 0, 1},
    {"INDEX_QUALIFIER", kSqlVarChar, kNameLength, 1},
    {"INDEX_NAME", kSqlVarChar, kNameLength, 1},
    {"TYPE", kSqlSmallInt, 0, 0},
    {"SEQ_IN_INDEX", kSqlSmallInt, 0, 1},
    {"COLUMN_NAME", kSqlVarChar, kNameLength, 1},
    {"COLLATION", kSqlChar, 1, 1},
    {"CARDINALITY", kSqlInteger, 0, 1},
    {"PAGES", kSqlInteger, 0, 1},
    {"FILTER_CONDITION", kSqlVarChar, kNameLength, 1},
};

const ColumnLayout kSpecialColumns[] = {
    {"SCOPE", kSqlSmallInt, 0, 1},     {"COLUMN_NAME", kSqlVarChar, kNameLength, 0},
    {"DATA_TYPE", kSqlSmallInt, 0, 0}, {"TYPE_NAME", kSqlVarChar, kNameLength, 0},
    {"PRECISION", kSqlInteger, 0, 1},  {"LENGTH", kSqlInteger, 0, 1},
    {"SCALE", kSqlSmallInt, 0, 1},     {"PSEUDO_COLUMN", kSqlSmallInt, 0, 1},
};

const ColumnLayout kTypeInfoColumns[] = {
    {"TYPE_NAME", kSqlVarChar, kNameLength, 0},
    {"DATA_TYPE", kSqlSmallInt, 0, 0},
    {"PRECISION", kSqlInteger, 0, 1},
    {"LITERAL_PREFIX", kSqlVarChar, kNameLength, 1},
    {"LITERAL_SUFFIX", kSqlVarChar, kNameLength, 1},
    {"CREATE_PARAMS", kSqlVarChar, kNameLength, 1},
    {"NULLABLE", kSqlSmallInt, 0, 0},
    {"CASE_SENSITIVE", kSqlSmallInt, 0, 0},
    {"SEARCHABLE", kSqlSmallInt, 0, 0},
    {"UNSIGNED_ATTRIBUTE", kSqlSmallInt, 0, 1},
    {"MONEY", kSqlSmallInt, 0, 0},
    {"AUTO_INCREMENT", kSqlSmallInt, 0, 1},
    {"LOCAL_TYPE_NAME", kSqlVarChar, kNameLength, 1},
    {"MINIMUM_SCALE", kSqlSmallInt, 0, 1},
    {"MAXIMUM_SCALE", kSqlSmallInt, 0, 1},
};

const ColumnLayout kTypeInfoColumns3[] = {
    {"SQL_DATA_TYPE", kSqlSmallInt, 0, 0},
    {"SQL_DATETIME_SUB", kSqlSmallInt, 0, 1},
    {"NUM_PREC_RADIX", kSqlInteger, 0, 1},
    {"INTERVAL_PRECISION", kSqlSmallInt, 0, 1},
};

Value Str(const char* s) { return s ? Value::Text(s) : Value::Null(); }
Value Str(const std::string& s) { return Value::Text(s); }
Value Int(int64_t v) { return Value::Integer(v); }

// COLUMN_DEF as the storage gives the default (a quoted text, a number,
// NULL, an expression); TRUNCATED when longer than the column holds.
Value DefaultText(const TableColumnEntry& c) {
  if (!c.hasDefault) return Value::Null();
  return Str(c.defaultValue.size() > 254 ? std::string("TRUNCATED") : c.defaultValue);
}

// One element of a search pattern: any run ("%"), any one character
// ("_"), or a character (escaped with "\\" when it is one of those).
struct PatternItem {
  enum Kind { kAnyRun, kAnyOne, kChar } kind;
  char c;
};

std::vector<PatternItem> ParsePattern(const std::string& p) {
  std::vector<PatternItem> items;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '%') {
      if (items.empty() || items.back().kind != PatternItem::kAnyRun)
        items.push_back({PatternItem::kAnyRun, 0});
    } else if (p[i] == '_') {
      items.push_back({PatternItem::kAnyOne, 0});
    } else {
      if (p[i] == '\\' && i + 1 < p.size()) ++i;
      items.push_back({PatternItem::kChar, p[i]});
    }
  }
  return items;
}

bool SameLetter(char a, char b) {
  return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

// Finds a table by exact name (without case).
bool FindTable(StorageSession* storage, const std::string& name, TableEntry* out) {
  std::vector<TableEntry> all;
  if (!storage->Tables(&all).ok) return false;
  for (const TableEntry& t : all)
    if (Upper(t.name) == Upper(name)) {
      *out = t;
      return true;
    }
  return false;
}

}  // namespace

bool PatternMatch(const std::string& pattern, const std::string& text) {
  if (pattern.empty()) return true;
  // Greedy matching that returns only to the last "%": at most pattern
  // length times text length steps, whatever the client sends (a search
  // that tried every split at every "%" could run for years).
  std::vector<PatternItem> items = ParsePattern(pattern);
  size_t p = 0, t = 0, star = std::string::npos, mark = 0;
  while (t < text.size()) {
    if (p < items.size() &&
        (items[p].kind == PatternItem::kAnyOne ||
         (items[p].kind == PatternItem::kChar && SameLetter(items[p].c, text[t])))) {
      ++p, ++t;
    } else if (p < items.size() && items[p].kind == PatternItem::kAnyRun) {
      star = p++;
      mark = t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < items.size() && items[p].kind == PatternItem::kAnyRun) ++p;
  return p == items.size();
}

Status CatalogTables(StorageSession* storage, const std::string& qualifier,
                     const std::string& owner, const std::string& name, const std::string& types,
                     ResultSet* out) {
  out->columns = Describe(kTablesColumns, sizeof kTablesColumns / sizeof kTablesColumns[0]);
  // The enumerations: qualifiers and owners do not exist here, so their
  // lists are empty whatever the table types say; table types are listed.
  if (name.empty() && ((qualifier == "%" && owner.empty()) || (owner == "%" && qualifier.empty())))
    return Status::Ok();
  if (types == "%" && qualifier.empty() && owner.empty() && name.empty()) {
    for (const char* t : {"SYSTEM TABLE", "TABLE", "VIEW"})
      out->rows.push_back({Value::Null(), Value::Null(), Value::Null(), Str(t), Value::Null()});
    return Status::Ok();
  }
  // Table types: a comma-separated list, each possibly in single quotes.
  std::vector<std::string> wanted;
  size_t start = 0;
  while (start <= types.size() && !types.empty()) {
    size_t comma = types.find(',', start);
    std::string item =
        types.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    std::string clean;
    for (char c : item)
      if (c != '\'') clean += c;
    size_t b = clean.find_first_not_of(' '), e = clean.find_last_not_of(' ');
    if (b != std::string::npos) wanted.push_back(Upper(clean.substr(b, e - b + 1)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::vector<TableEntry> tables;
  Status st = MatchingTables(storage, name, &tables);
  if (!st.ok) return st;
  std::stable_sort(tables.begin(), tables.end(),
                   [](const TableEntry& a, const TableEntry& b) { return a.type < b.type; });
  for (const TableEntry& t : tables) {
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), t.type) == wanted.end())
      continue;
    out->rows.push_back({Value::Null(), Value::Null(), Str(t.name), Str(t.type), Value::Null()});
  }
  return Status::Ok();
}

Status CatalogColumns(StorageSession* storage, const std::string&, const std::string&,
                      const std::string& table, const std::string& column, bool odbc3,
                      ResultSet* out) {
  out->columns = Describe(kColumnsColumns, kColumnsColumns3, odbc3);
  std::vector<TableEntry> tables;
  Status st = MatchingTables(storage, table, &tables);
  if (!st.ok) return st;
  for (const TableEntry& t : tables) {
    std::vector<TableColumnEntry> columns;
    st = storage->TableColumns(t.name, &columns);
    if (!st.ok) return st;
    size_t keyColumns = 0;
    for (const TableColumnEntry& c : columns)
      if (c.primaryKeyPosition > 0) ++keyColumns;
    for (size_t position = 1; position <= columns.size(); ++position) {
      const TableColumnEntry& c = columns[position - 1];
      if (!PatternMatch(column, c.name)) continue;
      SqlTypeDesc type = ColumnType(c.declaredType);
      std::vector<Value> row = {Value::Null(), Value::Null(), Str(t.name), Str(c.name)};
      TypeFields(type, &row);
      const uint8_t radix = FindSqlTypeInfo(type.sqlType)->radix;
      row.push_back(radix ? Int(radix) : Value::Null());
      // A primary key of SQLite may hold NULL unless declared NOT NULL,
      // except the INTEGER PRIMARY KEY that is the row identifier (a key
      // of that one column alone).
      bool rowid =
          keyColumns == 1 && c.primaryKeyPosition == 1 && Upper(c.declaredType) == "INTEGER";
      const bool nullable = !c.notNull && !rowid;
      row.push_back(Int(nullable ? 1 : 0));
      row.push_back(Value::Null());
      if (odbc3) {
        row.push_back(DefaultText(c));
        VerboseType(type.sqlType, &row);
        const SqlForm form = FindSqlTypeInfo(type.sqlType)->form;
        const bool octets = form == SqlForm::kText || form == SqlForm::kBinary;
        row.push_back(octets ? Int(OctetLength(form, type.length)) : Value::Null());
        row.push_back(Int(static_cast<int64_t>(position)));
        row.push_back(Str(nullable ? "YES" : "NO"));
      }
      out->rows.push_back(std::move(row));
    }
  }
  return Status::Ok();
}

Status CatalogStatistics(StorageSession* storage, const std::string&, const std::string&,
                         const std::string& table, int unique, int accuracy, ResultSet* out) {
  out->columns =
      Describe(kStatisticsColumns, sizeof kStatisticsColumns / sizeof kStatisticsColumns[0]);
  TableEntry t;
  if (!FindTable(storage, table, &t)) return Status::Ok();
  Value cardinality = Value::Null();
  if (accuracy == 1 && t.type != "VIEW") {
    int64_t n = 0;
    Status st = storage->RowCount(t.name, &n);
    if (!st.ok) return st;
    cardinality = Int(n);
  }
  out->rows.push_back({Value::Null(), Value::Null(), Str(t.name), Value::Null(), Value::Null(),
                       Value::Null(), Int(0), Value::Null(), Value::Null(), Value::Null(),
                       cardinality, Value::Null(), Value::Null()});
  std::vector<IndexEntry> indexes;
  Status st = storage->Indexes(t.name, &indexes);
  if (!st.ok) return st;
  // Unique indexes first (NON_UNIQUE 0), then by name.
  std::stable_sort(indexes.begin(), indexes.end(),
                   [](const IndexEntry& a, const IndexEntry& b) { return a.unique > b.unique; });
  for (const IndexEntry& index : indexes) {
    if (unique == 0 && !index.unique) continue;
    for (size_t k = 0; k < index.columns.size(); ++k) {
      out->rows.push_back({Value::Null(), Value::Null(), Str(t.name), Int(index.unique ? 0 : 1),
                           Value::Null(), Str(index.name), Int(3), Int(static_cast<int64_t>(k + 1)),
                           index.columns[k].empty() ? Value::Null() : Str(index.columns[k]),
                           Str("A"), Value::Null(), Value::Null(), Value::Null()});
    }
  }
  return Status::Ok();
}

Status CatalogSpecialColumns(StorageSession* storage, int columnType, const std::string&,
                             const std::string&, const std::string& table, int scope, int nullable,
                             ResultSet* out) {
  out->columns = Describe(kSpecialColumns, sizeof kSpecialColumns / sizeof kSpecialColumns[0]);
  if (columnType != 1) return Status::Ok();  // no automatically updated columns
  TableEntry t;
  if (!FindTable(storage, table, &t) || t.type == "VIEW") return Status::Ok();
  std::vector<TableColumnEntry> columns;
  Status st = storage->TableColumns(t.name, &columns);
  if (!st.ok) return st;
  std::vector<TableColumnEntry> key;
  for (const TableColumnEntry& c : columns)
    if (c.primaryKeyPosition > 0) key.push_back(c);
  std::sort(key.begin(), key.end(), [](const TableColumnEntry& a, const TableColumnEntry& b) {
    return a.primaryKeyPosition < b.primaryKeyPosition;
  });
  bool keyNullable = false;
  for (const TableColumnEntry& c : key) {
    bool rowid = key.size() == 1 && Upper(c.declaredType) == "INTEGER";
    if (!c.notNull && !rowid) keyNullable = true;
  }
  if (!key.empty() && !(nullable == 0 && keyNullable)) {
    // The primary key identifies a row for the whole session.
    for (const TableColumnEntry& c : key) {
      std::vector<Value> row = {Int(2), Str(c.name)};
      TypeFields(ColumnType(c.declaredType), &row);
      row.push_back(Int(1));  // SQL_PC_NOT_PSEUDO
      out->rows.push_back(std::move(row));
    }
    return Status::Ok();
  }
  // Otherwise the row identifier, stable within a transaction (VACUUM may
  // renumber it).
  if (scope <= 1 && storage->HasRowId(t.name)) {
    std::vector<Value> row = {Int(1), Str("ROWID")};
    TypeFields(TypeForCode(kSqlBigInt), &row);
    row.push_back(Int(2));  // SQL_PC_PSEUDO
    out->rows.push_back(std::move(row));
  }
  return Status::Ok();
}

ResultSet TypeInfo(int sqlType, const std::map<int16_t, std::string>* names, bool odbc3,
                   bool intervals) {
  // ODBC 3 applications name the date and time types by their own codes,
  // and the driver manager passes them on unchanged.
  if (sqlType >= kSqlTypeDate && sqlType <= kSqlTypeTimestamp) sqlType = SentSqlType(sqlType);
  ResultSet r;
  r.columns = Describe(kTypeInfoColumns, kTypeInfoColumns3, odbc3);
  // The catalogue's order is by DATA_TYPE, as SQLGetTypeInfo requires; the
  // ODBC 3 codes of the date and time types (91 to 93) come last.
  std::vector<const SqlTypeInfo*> types;
  for (const SqlTypeInfo& t : AllSqlTypes()) types.push_back(&t);
  const auto code = [odbc3](const SqlTypeInfo* t) {
    return odbc3 && DateTimeSubcode(t->code) != 0
               ? VerboseSqlType(t->code) * 10 + DateTimeSubcode(t->code)
               : t->code;
  };
  std::stable_sort(types.begin(), types.end(),
                   [&](const SqlTypeInfo* a, const SqlTypeInfo* b) { return code(a) < code(b); });
  for (const SqlTypeInfo* type : types) {
    const SqlTypeInfo& t = *type;
    if (sqlType != 0 && t.code != sqlType) continue;
    // The intervals: PostgreSQL's, for a session that asked for them;
    // TYPE_NAME is the column type PostgreSQL takes ("INTERVAL DAY TO
    // SECOND"), and literals are written as ODBC's interval literals.
    if (t.code >= kSqlIntervalYear) {
      if (!intervals || names == nullptr) continue;
      const Value seconds = t.minScale < 0 ? Value::Null() : Int(t.minScale);
      r.rows.push_back({Str(t.name), Int(t.code), Int(t.maxPrecision), Str("INTERVAL '"),
                        Str("' " + std::string(t.name + 9)), Value::Null(), Int(1), Int(0), Int(2),
                        Value::Null(), Int(0), Value::Null(), Value::Null(), seconds, seconds});
      if (odbc3) {
        VerboseType(t.code, &r.rows.back());
        r.rows.back().push_back(Value::Null());
        r.rows.back().push_back(Int(interval::kLeadingDigits));
      }
      continue;
    }
    if (t.listedName == nullptr) continue;
    const char* name = t.listedName;
    if (names) {
      auto it = names->find(t.code);
      if (it == names->end()) continue;
      name = it->second.c_str();
    }
    // Binary literals are written X'...' (PostgreSQL's bytea '\x...': its
    // X'...' is a bit string); the other quoted types plainly, and
    // PostgreSQL's boolean BIT too (it takes '1', not 1).
    const bool postgres = names != nullptr;
    const char* prefix = IsQuoted(t) || (postgres && t.code == kSqlBit) ? "'"
                         : t.form == SqlForm::kBinary                   ? (postgres ? "'\\x" : "X'")
                                                                        : nullptr;
    const char* createParams = t.sizing == SqlSizing::kPadded    ? "length"
                               : t.sizing == SqlSizing::kVarying ? "max length"
                               : t.sizing == SqlSizing::kDigits  ? "precision,scale"
                                                                 : nullptr;
    // UNSIGNED_ATTRIBUTE and AUTO_INCREMENT apply to the numbers only.
    const Value numberOnly = t.form == SqlForm::kNumber ? Int(0) : Value::Null();
    r.rows.push_back({Str(name), Int(t.code), Int(t.maxPrecision), Str(prefix),
                      Str(prefix ? "'" : nullptr), Str(createParams), Int(1),
                      Int(IsCaseSensitive(t) ? 1 : 0), Int(IsCaseSensitive(t) ? 3 : 2), numberOnly,
                      Int(0), numberOnly, Value::Null(),
                      t.minScale < 0 ? Value::Null() : Int(t.minScale),
                      t.maxScale < 0 ? Value::Null() : Int(t.maxScale)});
    if (odbc3) {
      VerboseType(t.code, &r.rows.back());
      r.rows.back().push_back(t.radix ? Int(t.radix) : Value::Null());
      r.rows.back().push_back(Value::Null());  // not an interval
    }
  }
  return r;
}

}  // namespace velsrv
