// The protocol client of the server tests.
#include "server_client.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "support/socket_io.h"

bool Client::Open(int port) {
  connection.SetTimeout(20);  // no test waits forever on a silent server
  return connection.InitiateConnection("127.0.0.1", std::to_string(port).c_str());
}

bool Client::PeerClosed() {
  std::string rest;
  return ReadToEnd(connection.Socket(), &rest, 10000);
}

int Client::Greet(const std::string& text) {
  std::string block = text;
  block.resize(80, '\0');
  uint8_t status[2];
  if (!SendRaw(block) || !connection.Read(status, 2)) return kCommFailure;
  return static_cast<int16_t>(status[0] | status[1] << 8);
}

int Client::Exchange(Request* r) {
  int status = -1, rc = r->Exchange(&status, &connection);
  return status == kStatusReplied ? rc : kCommFailure;
}

int Client::Login(const std::string& dsn, const std::string& user, const std::string& password) {
  int g = Greet();
  if (g != 0) return g == kCommFailure ? kCommFailure : -2000 - g;
  ConnectRequest r;
  if (!r.Get<DataSourceElement>()->value.SetString(dsn.c_str()) ||
      !r.Get<UserNameElement>()->value.SetString(user.c_str()) ||
      !r.Get<PasswordElement>()->value.SetString(password.c_str()))
    return kCommFailure;
  int rc = Exchange(&r);
  if (rc == 0) {
    version = r.Get<VersionElement>()->value.TextOrEmpty();
    std::memcpy(sizes, r.Get<NativeLengthValuesElement>()->values, sizeof sizes);
    fetchType = r.Get<FetchTypeElement>()->value;
    catalogType = r.Get<CatalogTypeElement>()->value;
    streamType = r.Get<StreamTypeElement>()->value;
    describeType = r.Get<DescribeTypeElement>()->value;
    cancelKey = r.Get<CancelKeyElement>()->value;
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
      auto* ul = dynamic_cast<ULongElement*>(e);
      if (ul && e->ElementId() != El::kStatementId) ul->value = static_cast<uint32_t>(value);
    }
  }
  int rc = Exchange(r.get());
  if (out) *out = std::move(r);
  return rc;
}

int Client::Exec(uint32_t id, const std::string& sql, const std::vector<Param>& params, std::vector<int>* types,
                 uint16_t code) {
  std::unique_ptr<Request> r(Request::CreateRequest(code));
  r->SetStatementId(id);
  if (auto* text = r->Get<StatementElement>(); text && !text->value.SetString(ForStorage(sql).c_str()))
    return kCommFailure;
  if (auto* set = r->Get<ParameterDataSetElement>()) {
    ParameterDataList* list = new (std::nothrow) ParameterDataList();
    for (const Param& p : params) {
      ParameterDataElement* e = new (std::nothrow) ParameterDataElement();
      e->Set(p.number, p.sqlType, p.bytes.data(), static_cast<uint32_t>(p.bytes.size()), p.isNull);
      list->Append(e);
    }
    set->SetList(list);
  }
  int rc = Exchange(r.get());
  auto* description = r->Get<ResultSetDescriptionElement>();
  ColumnDescriptionList* columns = description ? description->Columns() : nullptr;
  if (types) types->clear();
  for (ColumnDescription* d = columns ? columns->Head() : nullptr; d && types;
       d = static_cast<ColumnDescription*>(d->NextItem())) {
    types->push_back(d->sqlDataType);
  }
  return rc;
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
    row->push_back({f->IsNull(), f->Data() ? std::string(reinterpret_cast<const char*>(f->Data()), f->Length()) : ""});
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
  for (size_t i = 0; i < (sql.empty() ? columns : types.size()); ++i) all.push_back(static_cast<uint16_t>(i + 1));
  std::vector<Cell> row;
  for (int guard = 0; guard < 100000 && Fetch(id, all, &row) == 0; ++guard) rows.push_back(row);
  return rows;
}

int ConnectFrom(int from, int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK - 1 + from);
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bound && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  close(fd);
  return -1;
}

IdleFlood::IdleFlood(int port, int count) {
  thread_ = std::thread([this, port, count] {
    std::vector<pollfd> idle(count);
    auto from = [&](size_t i) { return i % 2 ? 1 : 2 + int(i / 2) % 4; };
    for (size_t i = 0; i < idle.size(); ++i) idle[i] = {ConnectFrom(from(i), port), POLLIN, 0};
    for (int round = 0; round < 3000 && going_; ++round) {
      usleep(20000);
      poll(idle.data(), idle.size(), 0);
      for (size_t i = 0; i < idle.size(); ++i) {
        if (!idle[i].revents && idle[i].fd >= 0) continue;
        close(idle[i].fd);
        idle[i].fd = ConnectFrom(from(i), port);
        ++reopened_;
      }
    }
    for (const pollfd& p : idle) close(p.fd);
  });
}

IdleFlood::~IdleFlood() {
  going_ = false;
  thread_.join();
}
