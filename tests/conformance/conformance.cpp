// The conformance fixture: the two libraries and a connection through each.
#include "conformance.h"

#include <map>

const std::vector<Library>& ConformanceLibraries() {
  static const std::vector<Library> libraries = {{"Velora", "VelWide", SQL_OV_ODBC3, true},
                                                 {"VeloraAnsi", "VelOpen", SQL_OV_ODBC2, false}};
  return libraries;
}

std::string Library::State(const std::string& odbc3_state) const {
  if (odbc3) return odbc3_state;
  // ODBC 2's names of the states ODBC 3 renamed (the driver manager's
  // mapping table, in the other direction).
  static const std::map<std::string, std::string> kOdbc2 = {
      {"07005", "24000"}, {"07009", "S1002"}, {"42000", "37000"}, {"42S01", "S0001"}, {"42S02", "S0002"},
      {"42S11", "S0011"}, {"42S12", "S0012"}, {"42S21", "S0021"}, {"42S22", "S0022"}, {"HY000", "S1000"},
      {"HY001", "S1001"}, {"HY003", "S1003"}, {"HY004", "S1004"}, {"HY008", "S1008"}, {"HY009", "S1009"},
      {"HY010", "S1010"}, {"HY011", "S1011"}, {"HY012", "S1012"}, {"HY090", "S1090"}, {"HY091", "S1091"},
      {"HY092", "S1092"}, {"HY096", "S1096"}, {"HY097", "S1097"}, {"HY098", "S1098"}, {"HY099", "S1099"},
      {"HY100", "S1100"}, {"HY101", "S1101"}, {"HY103", "S1103"}, {"HY104", "S1104"}, {"HY105", "S1105"},
      {"HY106", "S1106"}, {"HY107", "S1107"}, {"HY108", "S1108"}, {"HY109", "S1109"}, {"HY110", "S1110"},
      {"HY111", "S1111"}, {"HYC00", "S1C00"}, {"HYT00", "S1T00"}, {"HYT01", "S1T00"}, {"01S07", "01S07"},
      {"01001", "01S03"}};
  auto it = kOdbc2.find(odbc3_state);
  return it == kOdbc2.end() ? odbc3_state : it->second;
}

std::string FirstState(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {0}, message[SQL_MAX_MESSAGE_LENGTH + 1] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length))) return "";
  return reinterpret_cast<char*>(state);
}

void Conformance::SetUp() {
  ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect(std::string("DSN=") + lib().dsn))) << c.Diag();
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &s));
}

void Conformance::TearDown() {
  if (s != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, s);
}

SQLRETURN Conformance::Exec(SQLHSTMT stmt, const std::string& sql) {
  return SQLExecDirect(stmt, (SQLCHAR*)ForStorage(sql).c_str(), SQL_NTS);
}
