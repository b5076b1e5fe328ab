// libvelodbcw.so by its exports: handles, environment attributes, the
// diagnostic records in either version's form, and what it says it offers.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

namespace {

#define FN(name) Fn<decltype(name)>(#name)  // the library's own entry point

class Library : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { lib_ = dlopen(VEL_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL); }
  template <class F>
  F* Fn(const char* name) {
    return reinterpret_cast<F*>(dlsym(lib_, name));
  }
  SQLRETURN SetEnv(SQLINTEGER attribute, SQLULEN value) {
    return FN(SQLSetEnvAttr)(env_, attribute, reinterpret_cast<SQLPOINTER>(value), 0);
  }
  // Record n of a handle as "STATE native message", or "rc N".
  std::string Record(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT n, SQLSMALLINT size = 256) {
    SQLCHAR state[6] = {0}, text[256] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN rc = FN(SQLGetDiagRec)(type, h, n, state, &native, text, size, &length);
    if (!SQL_SUCCEEDED(rc)) return "rc " + std::to_string(rc);
    return std::string(reinterpret_cast<char*>(state)) + " " + std::to_string(native) + " " +
           reinterpret_cast<char*>(text) + (rc == SQL_SUCCESS ? "" : " (cut of " + std::to_string(length) + ")");
  }
  void SetUp() override {
    ASSERT_NE(nullptr, lib_) << dlerror();
    ASSERT_EQ(SQL_SUCCESS, FN(SQLAllocHandle)(SQL_HANDLE_ENV, nullptr, &env_));
  }
  void TearDown() override { FN(SQLFreeHandle)(SQL_HANDLE_ENV, env_); }

  static void* lib_;
  SQLHENV env_ = nullptr;
};
void* Library::lib_ = nullptr;

// Each refusal in the form of the version declared before it (none
// declared: 2's); the records stay until the next call on the handle.
TEST_F(Library, EnvironmentAttributesAndTheirRecordsByVersion) {
  auto getEnv = FN(SQLGetEnvAttr);
  auto alloc = FN(SQLAllocHandle);
  SQLHDBC dbc = nullptr;
  EXPECT_EQ(SQL_ERROR, alloc(SQL_HANDLE_DBC, env_, &dbc));
  EXPECT_EQ("S1010 1064 [QTX][Velora ODBC Client]function sequence error", Record(SQL_HANDLE_ENV, env_, 1));
  // clang-format off
  const struct { SQLULEN version; SQLINTEGER attribute; SQLULEN value; SQLRETURN rc; std::string record; } rows[] = {
      {SQL_OV_ODBC3, SQL_ATTR_ODBC_VERSION, 4, SQL_ERROR, "HY009 1072"},
      {SQL_OV_ODBC3, 12345, 0, SQL_ERROR, "HY092 1072"},
      {SQL_OV_ODBC3, SQL_ATTR_CONNECTION_POOLING, SQL_CP_ONE_PER_DRIVER, SQL_ERROR, "HYC00 1072"},
      {SQL_OV_ODBC3, SQL_ATTR_OUTPUT_NTS, SQL_TRUE, SQL_SUCCESS, "rc 100"},
      {SQL_OV_ODBC3_80, 12345, 0, SQL_ERROR, "HY092 1072"},
      {SQL_OV_ODBC2, 12345, 0, SQL_ERROR, "S1092 1072"},
      {SQL_OV_ODBC2, SQL_ATTR_CP_MATCH, SQL_CP_RELAXED_MATCH, SQL_ERROR, "S1C00 1072"},
  };
  // clang-format on
  for (const auto& r : rows) {
    ASSERT_EQ(SQL_SUCCESS, SetEnv(SQL_ATTR_ODBC_VERSION, r.version));
    EXPECT_EQ(r.rc, SetEnv(r.attribute, r.value));
    EXPECT_EQ(r.record, Record(SQL_HANDLE_ENV, env_, 1).substr(0, r.record.size())) << r.attribute;
    SQLUINTEGER version = 0;
    EXPECT_EQ(SQL_SUCCESS, getEnv(env_, SQL_ATTR_ODBC_VERSION, &version, 0, nullptr));
    EXPECT_EQ(r.version, version);
  }
  ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env_, &dbc));
  EXPECT_EQ(SQL_ERROR, SetEnv(SQL_ATTR_ODBC_VERSION, SQL_OV_ODBC3));  // a connection exists
  EXPECT_EQ(SQL_SUCCESS, FN(SQLFreeHandle)(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_INVALID_HANDLE, FN(SQLFreeHandle)(SQL_HANDLE_DBC, dbc));
}

// Records are numbered from the newest, read without being taken, cut to
// the buffer; the fields of the header and of a record.
TEST_F(Library, DiagnosticRecordsAndFields) {
  auto field = FN(SQLGetDiagField);
  ASSERT_EQ(SQL_SUCCESS, SetEnv(SQL_ATTR_ODBC_VERSION, SQL_OV_ODBC3));
  EXPECT_EQ(SQL_NO_DATA, field(SQL_HANDLE_ENV, env_, 1, SQL_DIAG_SQLSTATE, nullptr, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, SetEnv(SQL_ATTR_ODBC_VERSION, 4));
  for (int i = 0; i < 2; ++i) {  // read twice: nothing is taken
    EXPECT_EQ("HY009 1072 [QTX][Velora ODBC Client]function called with invalid argument value",
              Record(SQL_HANDLE_ENV, env_, 1));
  }
  EXPECT_EQ("HY009 1072 [QTX][Vel (cut of 68)", Record(SQL_HANDLE_ENV, env_, 1, 10));
  EXPECT_EQ("rc 100", Record(SQL_HANDLE_ENV, env_, 2));
  EXPECT_EQ("rc -1", Record(SQL_HANDLE_ENV, env_, 0));
  EXPECT_EQ("rc -2", Record(SQL_HANDLE_DBC, env_, 1));  // not a connection
  SQLINTEGER number = 0;
  SQLRETURN code = 0;
  EXPECT_EQ(SQL_SUCCESS, field(SQL_HANDLE_ENV, env_, 0, SQL_DIAG_NUMBER, &number, 0, nullptr));
  EXPECT_EQ(SQL_SUCCESS, field(SQL_HANDLE_ENV, env_, 0, SQL_DIAG_RETURNCODE, &code, 0, nullptr));
  EXPECT_EQ(1, number);
  EXPECT_EQ(SQL_ERROR, code);
  // clang-format off
  const struct { SQLSMALLINT field; std::string text; } rows[] = {{SQL_DIAG_SQLSTATE, "HY009"},
                                                                  {SQL_DIAG_CLASS_ORIGIN, "ISO 9075"},
                                                                  {SQL_DIAG_SUBCLASS_ORIGIN, "ODBC 3.0"},
                                                                  {SQL_DIAG_CONNECTION_NAME, ""},
                                                                  {SQL_DIAG_SERVER_NAME, ""}};
  // clang-format on
  for (const auto& r : rows) {
    SQLCHAR text[32] = "x";
    SQLSMALLINT length = -1;
    EXPECT_EQ(SQL_SUCCESS, field(SQL_HANDLE_ENV, env_, 1, r.field, text, sizeof text, &length));
    EXPECT_EQ(r.text, reinterpret_cast<char*>(text));
    EXPECT_EQ(static_cast<SQLSMALLINT>(r.text.size()), length);
  }
  SQLLEN row = 0;
  EXPECT_EQ(SQL_SUCCESS, field(SQL_HANDLE_ENV, env_, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr));
  EXPECT_EQ(SQL_NO_ROW_NUMBER, row);
  EXPECT_EQ(SQL_ERROR, field(SQL_HANDLE_ENV, env_, 1, 9999, &row, 0, nullptr));
}

// What the library answers without a session: its version, and a function
// offered exactly when it is exported (the keys not yet), but for those
// that are exported yet always "HYC00".
TEST_F(Library, InformationAndFunctionsWithoutASession) {
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SetEnv(SQL_ATTR_ODBC_VERSION, SQL_OV_ODBC3_80));
  ASSERT_EQ(SQL_SUCCESS, FN(SQLAllocHandle)(SQL_HANDLE_DBC, env_, &dbc));
  SQLCHAR text[16] = {0};
  EXPECT_EQ(SQL_SUCCESS, FN(SQLGetInfo)(dbc, SQL_DRIVER_ODBC_VER, text, sizeof text, nullptr));
  EXPECT_STREQ("03.80", reinterpret_cast<char*>(text));
  auto functions = FN(SQLGetFunctions);
  SQLUSMALLINT all[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {0}, one = 9;
  ASSERT_EQ(SQL_SUCCESS, functions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, all));
  // clang-format off
  const struct { SQLUSMALLINT id; const char* name; } rows[] = {{SQL_API_SQLALLOCHANDLE, "SQLAllocHandle"},
                                                                {SQL_API_SQLGETDIAGREC, "SQLGetDiagRec"},
                                                                {SQL_API_SQLCONNECT, "SQLConnect"},
                                                                {SQL_API_SQLSETPARAM, "SQLSetParam"},
                                                                {SQL_API_SQLBULKOPERATIONS, "SQLBulkOperations"},
                                                                {SQL_API_SQLCOPYDESC, "SQLCopyDesc"}};
  // clang-format on
  for (const auto& r : rows) {
    const bool exported = dlsym(lib_, r.name) != nullptr && r.id != SQL_API_SQLBULKOPERATIONS;
    EXPECT_EQ(exported, SQL_FUNC_EXISTS(all, r.id) != 0) << r.name;
    EXPECT_EQ(SQL_SUCCESS, functions(dbc, r.id, &one));
    EXPECT_EQ(exported ? SQL_TRUE : SQL_FALSE, one) << r.name;
  }
  EXPECT_TRUE(SQL_FUNC_EXISTS(all, SQL_API_SQLGETDIAGFIELD));
  EXPECT_FALSE(SQL_FUNC_EXISTS(all, SQL_API_SQLSETPARAM));
  // The key functions wait for a login whose server offers them.
  EXPECT_FALSE(SQL_FUNC_EXISTS(all, SQL_API_SQLPRIMARYKEYS) || SQL_FUNC_EXISTS(all, SQL_API_SQLFOREIGNKEYS));
  FN(SQLFreeHandle)(SQL_HANDLE_DBC, dbc);
}

// Connection attributes before a session: the defaults the driver keeps,
// read-only ones, the catalog text by length and cut to the buffer.
TEST_F(Library, ConnectionAttributesWithoutASession) {
  auto set = FN(SQLSetConnectAttr);
  auto get = FN(SQLGetConnectAttr);
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SetEnv(SQL_ATTR_ODBC_VERSION, SQL_OV_ODBC3));
  ASSERT_EQ(SQL_SUCCESS, FN(SQLAllocHandle)(SQL_HANDLE_DBC, env_, &dbc));
  // record: of the set; its value is read back when it succeeds
  // clang-format off
  struct Row { SQLINTEGER attribute; SQLULEN value; std::string record; };
  // clang-format on
  const Row rows[] = {{SQL_ATTR_CONNECTION_DEAD, SQL_CD_TRUE, "HY092"},
                      {SQL_ATTR_METADATA_ID, SQL_TRUE, ""},
                      {SQL_ATTR_METADATA_ID, SQL_FALSE, ""},
                      {SQL_ATTR_CONNECTION_TIMEOUT, 0, ""},
                      {SQL_ATTR_CONNECTION_TIMEOUT, 9, ""},
                      {SQL_ATTR_ANSI_APP, SQL_AA_FALSE, "HY092"},
                      {SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF, ""},
                      {SQL_ATTR_LOGIN_TIMEOUT, 7, ""},
                      {SQL_ATTR_TXN_ISOLATION, SQL_TXN_SERIALIZABLE, ""}};
  for (const auto& r : rows) {
    const SQLRETURN rc = set(dbc, r.attribute, reinterpret_cast<SQLPOINTER>(r.value), 0);
    EXPECT_EQ(r.record.empty() ? SQL_SUCCESS : SQL_ERROR, rc) << r.attribute;
    EXPECT_EQ(r.record, Record(SQL_HANDLE_DBC, dbc, 1).substr(0, r.record.size())) << r.attribute;
    SQLUINTEGER value = static_cast<SQLUINTEGER>(r.value);
    EXPECT_TRUE(rc != SQL_SUCCESS || get(dbc, r.attribute, &value, 0, nullptr) == SQL_SUCCESS);
    EXPECT_EQ(r.value, value) << r.attribute;
  }
  SQLUINTEGER dead = 0;
  EXPECT_EQ(SQL_SUCCESS, get(dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr));
  EXPECT_EQ(SQL_CD_TRUE, dead);  // never connected
  SQLCHAR catalog[8] = {0};
  SQLINTEGER length = 0;
  EXPECT_EQ(SQL_SUCCESS, set(dbc, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER) "mainly", 4));
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, get(dbc, SQL_ATTR_CURRENT_CATALOG, catalog, 3, &length));
  EXPECT_STREQ("ma", reinterpret_cast<char*>(catalog));
  EXPECT_EQ(4, length);
  EXPECT_EQ("01004", Record(SQL_HANDLE_DBC, dbc, 1).substr(0, 5));
  EXPECT_EQ(SQL_SUCCESS, get(dbc, SQL_ATTR_CURRENT_CATALOG, catalog, sizeof catalog, &length));
  EXPECT_STREQ("main", reinterpret_cast<char*>(catalog));
  FN(SQLFreeHandle)(SQL_HANDLE_DBC, dbc);
}

// The wide forms: texts as UTF-16, lengths in characters for the message
// of SQLGetDiagRecW and in bytes elsewhere, cut to whole characters.
TEST_F(Library, WideFormsOfRecordsInformationAndAttributes) {
  auto wide = [](const SQLWCHAR* text) { return std::u16string(reinterpret_cast<const char16_t*>(text)); };
  ASSERT_EQ(SQL_SUCCESS, SetEnv(SQL_ATTR_ODBC_VERSION, SQL_OV_ODBC3));
  EXPECT_EQ(SQL_ERROR, SetEnv(SQL_ATTR_ODBC_VERSION, 4));
  SQLWCHAR state[6] = {0}, text[16] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, FN(SQLGetDiagRecW)(SQL_HANDLE_ENV, env_, 1, state, &native, text, 10, &length));
  EXPECT_EQ(u"HY009", wide(state));
  EXPECT_EQ(u"[QTX][Vel", wide(text));
  EXPECT_EQ(68, length);
  EXPECT_EQ(SQL_SUCCESS, FN(SQLGetDiagFieldW)(SQL_HANDLE_ENV, env_, 1, SQL_DIAG_SQLSTATE, text, sizeof text, &length));
  EXPECT_EQ(u"HY009", wide(text));
  EXPECT_EQ(10, length);

  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, FN(SQLAllocHandle)(SQL_HANDLE_DBC, env_, &dbc));
  auto infoW = FN(SQLGetInfoW);
  // size: bytes of the buffer
  // clang-format off
  struct Row { SQLUSMALLINT type; SQLSMALLINT size; std::u16string text; SQLRETURN rc; };
  // clang-format on
  const Row rows[] = {{SQL_DRIVER_ODBC_VER, 32, u"03.80", SQL_SUCCESS},
                      {SQL_DRIVER_ODBC_VER, 7, u"03", SQL_SUCCESS_WITH_INFO},
                      {SQL_CATALOG_TERM, 32, u"", SQL_SUCCESS},
                      {SQL_DBMS_NAME, 32, u"Velora", SQL_SUCCESS}};
  for (const auto& r : rows) {
    SQLWCHAR value[16] = {0};
    EXPECT_EQ(r.rc, infoW(dbc, r.type, value, r.size, &length)) << r.type;
    EXPECT_EQ(r.text, wide(value)) << r.type;
  }
  EXPECT_EQ(12, length);  // the bytes of the last, "Velora"
  SQLUINTEGER number = 0;
  EXPECT_EQ(SQL_SUCCESS, infoW(dbc, SQL_OJ_CAPABILITIES, &number, sizeof number, nullptr));
  EXPECT_EQ(static_cast<SQLUINTEGER>(SQL_OJ_LEFT | SQL_OJ_INNER), number);
  EXPECT_EQ(SQL_SUCCESS, infoW(dbc, SQL_ODBC_INTERFACE_CONFORMANCE, &number, sizeof number, nullptr));
  EXPECT_EQ(static_cast<SQLUINTEGER>(SQL_OIC_CORE), number);

  auto setW = FN(SQLSetConnectAttrW);
  const char16_t catalog[] = u"m\u00e4in", lone[] = {u'a', 0xD800, 0};
  EXPECT_EQ(SQL_SUCCESS, setW(dbc, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER)catalog, 4));
  SQLCHAR narrow[8] = {0};
  EXPECT_EQ(SQL_SUCCESS, FN(SQLGetConnectAttr)(dbc, SQL_ATTR_CURRENT_CATALOG, narrow, sizeof narrow, nullptr));
  EXPECT_STREQ("m\xc3\xa4", reinterpret_cast<char*>(narrow));
  SQLINTEGER bytes = 0;
  EXPECT_EQ(SQL_SUCCESS, FN(SQLGetConnectAttrW)(dbc, SQL_ATTR_CURRENT_CATALOG, text, sizeof text, &bytes));
  EXPECT_EQ(u"m\u00e4", wide(text));
  EXPECT_EQ(4, bytes);
  EXPECT_EQ(SQL_ERROR, setW(dbc, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER)lone, SQL_NTS));
  EXPECT_EQ("22018", Record(SQL_HANDLE_DBC, dbc, 1).substr(0, 5));
  FN(SQLFreeHandle)(SQL_HANDLE_DBC, dbc);
}

// SQLError and SQLErrorW hand out the newest record with its SQLSTATE in
// the form the environment declared, as SQLGetDiagRec does.
TEST_F(Library, ErrorGivesTheDeclaredForm) {
  // clang-format off
  const struct { SQLULEN version; bool wide; const char* state; } rows[] = {{SQL_OV_ODBC3, false, "HY009"},
                                                                            {SQL_OV_ODBC3, true, "HY009"},
                                                                            {SQL_OV_ODBC2, false, "S1009"},
                                                                            {SQL_OV_ODBC2, true, "S1009"}};
  // clang-format on
  for (const auto& r : rows) {
    ASSERT_EQ(SQL_SUCCESS, SetEnv(SQL_ATTR_ODBC_VERSION, r.version));
    EXPECT_EQ(SQL_ERROR, SetEnv(SQL_ATTR_ODBC_VERSION, 4));
    SQLCHAR state[6] = {0}, text[64];
    SQLWCHAR wideState[6] = {0}, wideText[64];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN rc = r.wide ? FN(SQLErrorW)(env_, nullptr, nullptr, wideState, &native, wideText, 64, &length)
                                : FN(SQLError)(env_, nullptr, nullptr, state, &native, text, 64, &length);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, rc);  // the message is cut
    for (int i = 0; r.wide && i < 6; ++i) state[i] = static_cast<SQLCHAR>(wideState[i]);
    EXPECT_STREQ(r.state, reinterpret_cast<char*>(state)) << r.version << r.wide;
  }
}

}  // namespace
