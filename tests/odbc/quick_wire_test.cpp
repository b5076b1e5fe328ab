// A prepared statement executed through the execute-rows request against
// the scripted server (protocol/QUICK.md): the exact requests and replies
// with the offer (a result sent whole needs no fetch or close request, a
// close travels ahead of the next request, the row count comes with the
// execution, errors at the call that reports them) and without it.
#include "odbc/session.h"

namespace {

std::string Set(int32_t v) { return U16(1) + U16(1) + U16(4) + std::string(1, '\0') + U32(4) + Raw(v); }
// A block of rows of column a, then the record of what follows them.
std::string Block(int code, std::initializer_list<int32_t> rows, const std::string& state = "02000") {
  std::string body = U16(uint16_t(rows.size()));
  for (int32_t v : rows) body += U16(1) + Value(1, Raw(v));
  return body + Text16(code == 0 ? "" : state) + U16(0) + Text16(code == 0 ? "" : "end") + Text16("") + U16(0);
}
// The execute-rows reply: the execution's row count, the block's code and rows.
std::string Rows(int count, int code, std::initializer_list<int32_t> rows, const std::string& state = "02000") {
  return ReplyFrame(U16(0) + Raw(int32_t(count)) + U16(uint16_t(code)) + Block(code, rows, state));
}
std::string ExecRows(int32_t v) { return Frame(64, U32(7) + Set(v) + U32(256)); }
const std::string kClose = Frame(15, U32(7) + U16(0)), kOk = ReturnOnly(0);

// result: per call: return code (and value fetched or row count)
// clang-format off
struct QuickCase { const char* name; bool offer, query; std::string result;
    std::vector<std::pair<std::string, std::string>> talk; };
// clang-format on

// clang-format off
const QuickCase kCases[] = {
    {"whole result: no fetch or close request", true, true, "E0 F0:5 F100 R0:-1 C0 C0 E0 C0",
     {{ExecRows(5), Rows(-1, 100, {5})}, {ExecRows(5), Rows(-1, 100, {})}}},
    {"more rows: the close goes ahead of the next execution", true, true, "E0 F0:5 F0:6 F100 R0:-1 C0 C0 E0 C0",
     {{ExecRows(5), Rows(-1, 0, {5})},
      {Frame(12, U32(7) + U16(1) + U16(1) + U32(512)), ReplyFrame(U16(100) + Block(100, {6}))},
      {kClose, kOk}, {kClose + ExecRows(5), kOk + Rows(-1, 100, {})}}},
    {"failing execution: its record at SQLExecute", true, true, "E-1:S1000 C0 C0 E0 C0",
     {{ExecRows(5), ReturnOnly(SQL_ERROR)}, {Frame(9, U32(7)), ErrorReply("S1000", 3, "no")},
      {kClose, kOk}, {kClose + ExecRows(5), kOk + Rows(-1, 100, {})}}},
    {"failing row: its record at its fetch", true, true, "E0 F0:5 F-1:22003 R0:-1 C0 C0 E0 C0",
     {{ExecRows(5), Rows(-1, -1, {5}, "22003")}, {kClose, kOk}, {kClose + ExecRows(5), kOk + Rows(-1, 100, {})}}},
    {"change: the row count with the execution", true, false, "E0 R0:3 C0 C0 E0 C0",
     {{ExecRows(5), Rows(3, 100, {})}, {ExecRows(5), Rows(1, 100, {})}}},
    {"no offer: execute, fetch, count and close apart", false, true, "E0 F0:5 F100 R0:-1 C0 C0 E0 C0",
     {{Frame(11, U32(7) + Set(5)), kOk}, {Frame(13, U32(7) + U16(1) + U16(1)), ReplyFrame(U16(0) + U16(1) + Value(1, Raw(int32_t(5))))},
      {Frame(13, U32(7) + U16(1) + U16(1)), ReturnOnly(SQL_NO_DATA_FOUND)}, {Frame(9, U32(7)), ErrorReply("02000", 0, "end")},
      {Frame(25, U32(7)), ReplyFrame(U16(0) + Raw(int32_t(-1)))}, {kClose, kOk}, {kClose, kOk}, {Frame(11, U32(7) + Set(5)), kOk},
      {kClose, kOk}}},
};
// clang-format on

class QuickWireTest : public SessionTest, public ::testing::WithParamInterface<QuickCase> {};

TEST_P(QuickWireTest, ExecutionsTravelAsOffered) {
  const QuickCase& c = GetParam();
  // clang-format off
  // fetchType, catalogType, batchType, cancelType, streamType, cancelKey, sessionInfo, describeType, resultsType,
  // routineType, quickType.
  const std::string offer = c.offer ? U16(1) + U16(0) + U16(0) + U16(0) + U16(0) + U32(0) + U32(0) + U16(0) + U16(0) + U16(0) + U16(0) + U16(1) : "";
  Talk(server, {{Greeting(), U16(0)}, {ConnectFrame("public", ""), ReplyFrame(ConnectBody() + offer)}, {Frame(0, ""), Alloc(7)},
                {Frame(23, U32(7) + Text16("Q ?")), ReplyFrame(U16(0) + (c.query ? U16(1) + Column("a", 4, 1, SQL_INTEGER, 4) : U16(0)))}});
  // clang-format on
  for (const auto& step : c.talk) server.Expect(step.first).Send(step.second);
  SQLHSTMT s = Open();
  SQLINTEGER v = 5, a = 0;
  ASSERT_EQ(SQLPrepare(s, M("Q ?"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, nullptr), SQL_SUCCESS);
  if (c.query) SQLBindCol(s, 1, SQL_C_SLONG, &a, 0, nullptr);
  auto call = [&](char what, SQLRETURN rc, const std::string& value = "") {
    const std::string diag = rc == SQL_ERROR ? ":" + Diag(nullptr, s).substr(0, 5) : "";
    return std::string(1, what) + std::to_string(rc) + (value.empty() ? "" : ":" + value) + diag + " ";
  };
  std::string got = call('E', SQLExecute(s));
  for (SQLRETURN rc = SQL_SUCCESS; c.query && got[1] == '0' && rc == SQL_SUCCESS;) {
    rc = SQLFetch(s);
    got += call('F', rc, rc == SQL_SUCCESS ? std::to_string(a) : "");
  }
  SQLLEN count = -7;
  const SQLRETURN counted = got[1] == '0' ? SQLRowCount(s, &count) : SQL_SUCCESS;
  if (got[1] == '0') got += call('R', counted, std::to_string(count));
  for (int i = 0; i < 2; ++i) got += call('C', SQLFreeStmt(s, SQL_CLOSE));  // a second close is sent too
  got += call('E', SQLExecute(s));
  got += call('C', SQLFreeStmt(s, SQL_CLOSE));
  EXPECT_EQ(got, c.result + " ") << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, QuickWireTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<QuickCase>& i) { return "Case" + std::to_string(i.index); });

}  // namespace
