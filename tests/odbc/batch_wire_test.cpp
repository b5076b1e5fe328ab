// Arrays of parameter sets through SQLParamOptions against the scripted
// server: the exact execute-batch requests and replies to a server that
// offers them (sets in one request, a budget split, a failing set with
// and without statuses, ignored sets, data at execution, a set stopped by
// the timeout or a cancel ending the array, a reply lost: the sets'
// outcomes unknown), and one execute and row-count request per set to a
// server that does not.
#include "handles/Connection.h"
#include "handles/Statement.h"
#include "odbc/descriptors/ArrayAttributes.h"
#include "odbc/session.h"

namespace {

std::string Set(int32_t v) { return U16(1) + U16(1) + U16(4) + std::string(1, '\0') + U32(4) + Raw(v); }
std::string Ok(int32_t rows = 1) { return U16(0) + Raw(rows); }
std::string Failed(const std::string& text, const std::string& state = "23000") {
  return U16(uint16_t(SQL_ERROR)) + Raw(int32_t(-1)) + Text16(state) + U16(5) + Text16(text) + Text16("f") + U16(1);
}
std::string Batch(int mode, const std::string& sets, int count) {
  return Frame(45, U32(7) + Text16("") + U16(uint16_t(mode)) + U16(uint16_t(count)) + sets);
}
std::string Outcomes(const std::string& list, int count) { return ReplyFrame(U16(0) + U16(uint16_t(count)) + list); }

// operations: per set, '1' ignores it
// atExecSet: the set (from 0) whose value comes at execution; -1 none
// result: return code, statuses, pirow, row count, records (with their set numbers)
// talk: a reply "": the connection closes
// clang-format off
struct BatchCase { const char* name; bool offer, statuses; SQLULEN budget; const char* operations; SQLLEN atExecSet;
    std::string result; std::vector<std::pair<std::string, std::string>> talk; };
// clang-format on

// clang-format off
const std::string kThree = Set(1) + Set(2) + Set(3);
const std::string kCount = Frame(25, U32(7)), kOneRow = ReplyFrame(U16(0) + U32(1));  // a row count, its reply
const SQLULEN kAny = 1 << 20;  // a budget every request fits
const BatchCase kCases[] = {
    {"one request", true, true, kAny, "000", -1, "0 000 3 4",
     {{Batch(0, kThree, 3), Outcomes(Ok() + Ok() + Ok(2), 3)}}},
    {"budget split", true, false, 20, "000", -1, "0 - 3 3",
     {{Batch(1, Set(1) + Set(2), 2), Outcomes(Ok() + Ok(), 2)}, {Batch(1, Set(3), 1), Outcomes(Ok(), 1)}}},
    {"failing set with statuses", true, true, kAny, "000", -1, "1 050 3 2 23000 5 S:dup @2",
     {{Batch(0, kThree, 3), Outcomes(Ok() + Failed("dup") + Ok(), 3)}}},
    {"failing set without statuses", true, false, kAny, "000", -1, "-1 - 2 1 23000 5 S:dup @2",
     {{Batch(1, kThree, 3), Outcomes(Ok() + Failed("dup"), 2)}}},
    {"ignored set", true, true, kAny, "010", -1, "0 070 3 2",
     {{Batch(0, Set(1) + Set(3), 2), Outcomes(Ok() + Ok(), 2)}}},
    {"whole request refused", true, true, kAny, "000", -1, "-1 577 1 0 S1010 7 S:no statement @1",
     {{Batch(0, kThree, 3), ReturnOnly(SQL_ERROR)}, {Frame(9, U32(7)), ErrorReply("S1010", 7, "no statement")}}},
    {"data at execution goes alone", true, true, kAny, "000", 1, "0 000 3 3",
     {{Batch(0, Set(1), 1), Outcomes(Ok(), 1)}, {Frame(11, U32(7) + Set(2)), ReturnOnly(0)}, {kCount, kOneRow},
      {Batch(0, Set(3), 1), Outcomes(Ok(), 1)}}},
    {"reply lost: the sets' outcomes unknown", true, true, kAny, "000", -1,
     "-1 111 3 -1 08S01 3047 C:communication failure @1", {{Batch(0, kThree, 3), ""}}},
    {"no offer: a request per set", false, true, kAny, "000", -1, "1 050 3 2 23000 5 S:dup @2",
     {{Frame(11, U32(7) + Set(1)), ReturnOnly(0)}, {kCount, kOneRow},
      {Frame(11, U32(7) + Set(2)), ReturnOnly(SQL_ERROR)}, {Frame(9, U32(7)), ErrorReply("23000", 5, "dup")},
      {Frame(11, U32(7) + Set(3)), ReturnOnly(0)}, {kCount, kOneRow}}},
    {"timeout stops the sets after it", true, true, kAny, "000", -1, "-1 057 2 1 S1T00 5 S:timeout expired @2",
     {{Batch(0, kThree, 3), Outcomes(Ok() + Failed("timeout expired", "S1T00"), 2)}}},
    {"cancel stops the sets after it, a request per set", false, true, kAny, "000", -1,
     "-1 057 2 1 S1008 5 S:operation canceled @2",
     {{Frame(11, U32(7) + Set(1)), ReturnOnly(0)}, {kCount, kOneRow},
      {Frame(11, U32(7) + Set(2)), ReturnOnly(SQL_ERROR)},
      {Frame(9, U32(7)), ErrorReply("S1008", 5, "operation canceled")}}},
};
// clang-format on

class BatchWireTest : public SessionTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(BatchWireTest, SetsTravelAndComeBackAsOdbcSays) {
  const BatchCase& c = GetParam();
  {
    const std::string offer = c.offer ? U16(0) + U16(0) + U16(1) : "";
    Talk(server, {{Greeting(), U16(0)},
                  {ConnectFrame("public", ""), ReplyFrame(ConnectBody() + offer)},
                  {Frame(0, ""), Alloc(7)},
                  {Frame(23, U32(7) + Text16("INSERT ?")), ReplyFrame(U16(0) + U16(0))}});
    for (const auto& step : c.talk)
      step.second.empty() ? server.Expect(step.first).Close() : server.Expect(step.first).Send(step.second);
    SQLHSTMT s = Open();
    Statement* st = static_cast<Statement*>(s);
    st->OwningConnection()->batchBudget = uint32_t(c.budget);
    SQLINTEGER values[3] = {1, 2, 3};
    SQLLEN lengths[3] = {0, 0, 0};
    if (c.atExecSet >= 0) lengths[c.atExecSet] = SQL_DATA_AT_EXEC;
    SQLUSMALLINT operations[3], statuses[3] = {9, 9, 9};
    for (int i = 0; i < 3; ++i) operations[i] = c.operations[i] == '1' ? SQL_PARAM_IGNORE : SQL_PARAM_PROCEED;
    SQLULEN pirow = 99;
    bool handled = false;
    ASSERT_EQ(SQLPrepare(s, M("INSERT ?"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLParamOptions(s, 3, &pirow), SQL_SUCCESS);
    SetArrayAttrWorker(st, SQL_ATTR_PARAM_OPERATION_PTR, operations, &handled);
    if (c.statuses) SetArrayAttrWorker(st, SQL_ATTR_PARAM_STATUS_PTR, statuses, &handled);
    ASSERT_EQ(SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, values, 0, lengths), SQL_SUCCESS);
    SQLRETURN rc = SQLExecute(s);
    SQLPOINTER token = nullptr;
    if (rc == SQL_NEED_DATA && SQLParamData(s, &token) == SQL_NEED_DATA) {
      EXPECT_EQ(token, &values[0]);  // the buffer as bound; pirow names the set
      SQLPutData(s, &values[c.atExecSet], 0);
      rc = SQLParamData(s, &token);
    }
    std::string got = std::to_string(rc) + " ";
    for (int i = 0; i < 3 && c.statuses; ++i) got += std::to_string(statuses[i]);
    if (!c.statuses) got += "-";
    std::string rows = st->errors.Head() != nullptr ? " @" + std::to_string(st->errors.Head()->row) : "";
    const std::string diag = Diag(nullptr, s);
    SQLLEN count = -7;
    EXPECT_EQ(SQLRowCount(s, &count), SQL_SUCCESS);
    got += " " + std::to_string(pirow) + " " + std::to_string(count);
    EXPECT_EQ(got + (diag.empty() ? "" : " " + diag) + rows, c.result) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BatchWireTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<BatchCase>& i) { return "Case" + std::to_string(i.index); });

}  // namespace
