// The protocol client of the server tests.
#include "server_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <cstring>

#include "support/socket_io.h"

namespace {
constexpr int kWait = 20000;  // no test waits forever on a silent server
}

uint32_t Get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
  return v;
}

Client::~Client() {
  if (fd_ >= 0) close(fd_);
}

bool Client::Open(int port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool Client::SendRaw(const std::string& bytes) { return WriteAll(fd_, bytes); }

bool Client::PeerClosed() {
  std::string rest;
  return ReadToEnd(fd_, &rest, 10000);
}

int Client::Greet(const std::string& text) {
  std::string status, block = text;
  block.resize(80, '\0');
  if (!SendRaw(block) || !ReadExactly(fd_, 2, &status, kWait)) return kCommFailure;
  return static_cast<int16_t>(Get32(status + std::string(2, '\0')));
}

int Client::Exchange(Request* r) {
  int status = 0;
  std::string length, body;
  if (r->Failed() || !r->BuildFrame(&status)) return kCommFailure;
  if (!SendRaw(std::string(reinterpret_cast<const char*>(r->FrameBytes()), r->FrameLength())) ||
      !ReadExactly(fd_, 4, &length, kWait) || !ReadExactly(fd_, Get32(length), &body, kWait) ||
      !r->DecodeReplyBody(reinterpret_cast<const uint8_t*>(body.data()),
                          static_cast<uint32_t>(body.size()), &status)) {
    return kCommFailure;
  }
  return r->ReturnCode();
}

int Client::Login(const std::string& dsn, const std::string& user, const std::string& password) {
  int g = Greet();
  if (g != 0) return g == kCommFailure ? kCommFailure : -2000 - g;
  ConnectRequest r;
  r.Get<DataSourceElement>()->value.SetString(dsn.c_str());
  r.Get<UserNameElement>()->value.SetString(user.c_str());
  r.Get<PasswordElement>()->value.SetString(password.c_str());
  int rc = Exchange(&r);
  if (rc == 0) {
    version = r.Get<VersionElement>()->value.TextOrEmpty();
    std::memcpy(sizes, r.Get<NativeLengthValuesElement>()->values, sizeof sizes);
  }
  return rc;
}

uint32_t Client::Alloc() {
  AllocStatementRequest r;
  return Exchange(&r) == 0 ? r.Get<StatementIdElement>()->value : 0;
}

int Client::Call(uint16_t code, uint32_t id, int32_t value, std::unique_ptr<Request>* out) {
  std::unique_ptr<Request> r(Request::CreateRequest(code));
  r->SetStatementId(id);
  for (ElementList* list : {&r->RequestHeader(), &r->RequestBody()}) {
    for (Element* e = list->First(); e; e = list->Next()) {
      if (auto* en = dynamic_cast<EnumElement*>(e)) en->value = value;
      if (auto* sh = dynamic_cast<ShortElement*>(e)) sh->value = static_cast<int16_t>(value);
      if (auto* ul = dynamic_cast<ULongElement*>(e)) {
        if (e->ElementId() != El::statementId) ul->value = static_cast<uint32_t>(value);
      }
    }
  }
  int rc = Exchange(r.get());
  if (out) *out = std::move(r);
  return rc;
}

namespace {
void SetParams(Request* r, const std::vector<Param>& params) {
  ParameterDataList* list = new (std::nothrow) ParameterDataList();
  for (const Param& p : params) {
    ParameterDataElement* e = new (std::nothrow) ParameterDataElement();
    e->Set(p.number, p.sqlType, p.bytes.data(), static_cast<uint32_t>(p.bytes.size()), p.isNull);
    list->Append(e);
  }
  r->Get<ParameterDataSetElement>()->SetList(list);
}
}  // namespace

int Client::Exec(uint32_t id, const std::string& sql, const std::vector<Param>& params,
                 std::vector<int>* types, bool prepare) {
  std::unique_ptr<Request> r(Request::CreateRequest(prepare ? Msg::kPrepare : Msg::kExecDirect));
  r->SetStatementId(id);
  r->Get<StatementElement>()->value.SetString(sql.c_str());
  if (!prepare) SetParams(r.get(), params);
  int rc = Exchange(r.get());
  ColumnDescriptionList* columns = r->Get<ResultSetDescriptionElement>()->Columns();
  if (types) types->clear();
  for (ColumnDescription* d = columns ? columns->Head() : nullptr; d && types;
       d = static_cast<ColumnDescription*>(d->NextItem())) {
    types->push_back(d->sqlDataType);
  }
  return rc;
}

int Client::Execute(uint32_t id, const std::vector<Param>& params) {
  ExecuteRequest r;
  r.SetStatementId(id);
  SetParams(&r, params);
  return Exchange(&r);
}

int Client::Fetch(uint32_t id, const std::vector<uint16_t>& wanted, std::vector<Cell>* row) {
  FetchRequest r;
  r.SetStatementId(id);
  ShortVectorElement* v = r.Get<ColumnNumberVectorElement>();
  v->SetCount(static_cast<uint16_t>(wanted.size()));
  for (size_t i = 0; i < wanted.size(); ++i) v->SetAt(static_cast<uint16_t>(i), wanted[i]);
  int rc = Exchange(&r);
  FetchDataList* list = r.Get<FetchDataSetElement>()->List();
  if (row) row->clear();
  for (FetchDataElement* f = list ? list->Head() : nullptr; f && row;
       f = static_cast<FetchDataElement*>(f->NextItem())) {
    Cell cell;
    cell.isNull = f->IsNull();
    if (f->Data()) cell.bytes.assign(reinterpret_cast<const char*>(f->Data()), f->Length());
    row->push_back(cell);
  }
  return rc;
}

std::string Client::State(uint32_t id, int* native) {
  GetErrorRequest r;
  r.SetStatementId(id);
  if (Exchange(&r) == kCommFailure) return "";
  if (native) *native = r.Get<ErrorCodeElement>()->value;
  return r.Get<SqlstateElement>()->value.TextOrEmpty();
}

Rows Client::Query(uint32_t id, const std::string& sql, size_t columns) {
  Rows rows;
  std::vector<int> types;
  if (!sql.empty() && Exec(id, sql, {}, &types) != 0) return rows;
  std::vector<uint16_t> all;
  for (size_t i = 0; i < (sql.empty() ? columns : types.size()); ++i) {
    all.push_back(static_cast<uint16_t>(i + 1));
  }
  std::vector<Cell> row;
  for (int guard = 0; guard < 100000 && Fetch(id, all, &row) == 0; ++guard) rows.push_back(row);
  return rows;
}
