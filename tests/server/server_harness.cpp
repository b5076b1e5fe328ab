// Test harness: server process control and a protocol client.
#include "server_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>

namespace srvtest {

ServerProcess::ServerProcess() {
  char pattern[] = "/tmp/velsrvtest.XXXXXX";
  if (mkdtemp(pattern)) dir_ = pattern;
}

ServerProcess::~ServerProcess() {
  Stop();
  if (!dir_.empty()) {
    std::string cmd = "rm -rf '" + dir_ + "'";
    int ignored = system(cmd.c_str());
    (void)ignored;
  }
}

bool ServerProcess::Start(const std::vector<std::string>& extra) {
  int err[2];
  if (pipe2(err, O_CLOEXEC) != 0) return false;
  std::string portFile = dir_ + "/port";
  std::vector<std::string> args = {VEL_SERVER_PATH, "--port", "0", "--port-file", portFile, "--database",
                                   database()};
  args.insert(args.end(), extra.begin(), extra.end());
  // Everything the child needs is made before the fork: the child of a
  // threaded process may only call async-signal-safe functions.
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // A test process that dies (crash, time-out) takes its server along.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    dup2(err[1], 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(err[1]);
  reader_ = std::thread(&ServerProcess::Drain, this, err[0]);
  if (!WaitForLog("listening on")) return false;
  std::ifstream in(portFile);
  in >> port_;
  return port_ > 0;
}

void ServerProcess::Drain(int fd) {
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.append(buffer, static_cast<size_t>(n));
    changed_.notify_all();
  }
  close(fd);
  std::lock_guard<std::mutex> lock(mutex_);
  eof_ = true;
  changed_.notify_all();
}

std::string ServerProcess::Log() {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

bool ServerProcess::WaitForLog(const std::string& text) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(10),
                           [&] { return log_.find(text) != std::string::npos || eof_; }) &&
         log_.find(text) != std::string::npos;
}

int ServerProcess::Stop(int signal) {
  if (pid_ <= 0) return 0;
  kill(pid_, signal);
  int status = 0;
  // Bounded wait: a server that does not stop is killed.
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) break;
    poll(nullptr, 0, 50);
    if (i == 199) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      status = -1;
    }
  }
  pid_ = -1;
  if (reader_.joinable()) reader_.join();
  return status == -1 ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

int AddUser(const std::string& users, const std::string& name, const std::string& password) {
  std::string cmd = std::string("printf '%s\\n' '") + password + "' | " + VEL_SERVER_PATH + " adduser --users '" +
                    users + "' --password-stdin '" + name + "' 2>/dev/null";
  int status = system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint16_t Get16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8));
}
uint32_t Get32(const std::string& s, size_t at) { return Get16(s, at) | (static_cast<uint32_t>(Get16(s, at + 2)) << 16); }

Client::~Client() { Close(); }

bool Client::Open(int port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
  int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  timeval tv{};
  tv.tv_sec = 20;  // no test waits forever on a silent server
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return true;
}

void Client::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

namespace {
bool ReadAll(int fd, void* buffer, size_t n) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  while (n > 0) {
    ssize_t got = recv(fd, p, n, 0);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}
}  // namespace

bool Client::SendRaw(const std::string& bytes) {
  return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool Client::PeerClosed() {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, 10000) <= 0) return false;
  char c;
  return recv(fd_, &c, 1, 0) <= 0;
}

int Client::Greet(const uint8_t* block) {
  uint8_t standard[80] = {};
  std::memcpy(standard, "L\x06 WIN32 iso8859-1", 18);
  if (!block) block = standard;
  if (send(fd_, block, 80, MSG_NOSIGNAL) != 80) return kCommFailure;
  uint8_t status[2];
  if (!ReadAll(fd_, status, 2)) return kCommFailure;
  return static_cast<int16_t>(status[0] | (status[1] << 8));
}

int Client::Exchange(Request* r) {
  int status = 0;
  if (r->Failed() || !r->BuildFrame(&status)) return kCommFailure;
  if (!SendRaw(std::string(reinterpret_cast<const char*>(r->FrameBytes()), r->FrameLength()))) return kCommFailure;
  uint8_t length[4];
  if (!ReadAll(fd_, length, 4)) return kCommFailure;
  uint32_t n = length[0] | (length[1] << 8) | (length[2] << 16) | (static_cast<uint32_t>(length[3]) << 24);
  std::string body(n, '\0');
  if (n && !ReadAll(fd_, &body[0], n)) return kCommFailure;
  if (!r->DecodeReplyBody(reinterpret_cast<const uint8_t*>(body.data()), n, &status)) return kCommFailure;
  return r->ReturnCode();
}

int Client::Login(const std::string& dsn, const std::string& user, const std::string& password) {
  int g = Greet();
  if (g != 0) return g == kCommFailure ? kCommFailure : -2000 - g;
  std::unique_ptr<Request> r(Request::CreateRequest(5));
  r->Get<DataSourceElement>()->value.SetString(dsn.c_str());
  r->Get<UserNameElement>()->value.SetString(user.c_str());
  r->Get<PasswordElement>()->value.SetString(password.c_str());
  int rc = Exchange(r.get());
  if (rc == 0) {
    version = r->Get<VersionElement>()->value.TextOrEmpty();
    std::memcpy(sizes, r->Get<NativeLengthValuesElement>()->values, sizeof sizes);
  }
  return rc;
}

uint32_t Client::Alloc() {
  std::unique_ptr<Request> r(Request::CreateRequest(0));
  if (Exchange(r.get()) != 0) return 0;
  return r->Get<StatementIdElement>()->value;
}

void SetParams(Request* r, const std::vector<Param>& params) {
  ParameterDataList* list = new (std::nothrow) ParameterDataList();
  for (const Param& p : params) {
    ParameterDataElement* e = new (std::nothrow) ParameterDataElement();
    e->Set(p.number, p.sqlType, p.bytes.data(), static_cast<uint32_t>(p.bytes.size()), p.isNull);
    list->Append(e);
  }
  r->Get<ParameterDataSetElement>()->SetList(list);
}

std::vector<Column> Client::Columns(Request* r) {
  std::vector<Column> out;
  ResultSetDescriptionElement* d = r->Get<ResultSetDescriptionElement>();
  if (!d || !d->Columns()) return out;
  for (ColumnDescription* c = d->Columns()->Head(); c; c = static_cast<ColumnDescription*>(c->NextItem())) {
    Column col;
    col.name = c->columnName.TextOrEmpty();
    col.sqlType = c->sqlDataType;
    col.length = c->length;
    col.precision = c->precision;
    col.scale = c->scale;
    col.nullability = c->nullability;
    col.table = c->tableName.TextOrEmpty();
    out.push_back(col);
  }
  return out;
}

int Client::ExecDirect(uint32_t id, const std::string& sql, const std::vector<Param>& params,
                       std::vector<Column>* columns) {
  std::unique_ptr<Request> r(Request::CreateRequest(10));
  r->SetStatementId(id);
  r->Get<StatementElement>()->value.SetString(sql.c_str());
  SetParams(r.get(), params);
  int rc = Exchange(r.get());
  if (columns) *columns = Columns(r.get());
  return rc;
}

int Client::Prepare(uint32_t id, const std::string& sql, std::vector<Column>* columns) {
  std::unique_ptr<Request> r(Request::CreateRequest(23));
  r->SetStatementId(id);
  r->Get<StatementElement>()->value.SetString(sql.c_str());
  int rc = Exchange(r.get());
  if (columns) *columns = Columns(r.get());
  return rc;
}

int Client::Execute(uint32_t id, const std::vector<Param>& params) {
  std::unique_ptr<Request> r(Request::CreateRequest(11));
  r->SetStatementId(id);
  SetParams(r.get(), params);
  return Exchange(r.get());
}

int Client::Fetch(uint32_t id, const std::vector<uint16_t>& wanted, std::vector<Cell>* row) {
  std::unique_ptr<Request> r(Request::CreateRequest(13));
  r->SetStatementId(id);
  ShortVectorElement* v = r->Get<ColumnNumberVectorElement>();
  v->SetCount(static_cast<uint16_t>(wanted.size()));
  for (size_t i = 0; i < wanted.size(); ++i) v->SetAt(static_cast<uint16_t>(i), wanted[i]);
  int rc = Exchange(r.get());
  if (row) {
    row->clear();
    FetchDataSetElement* set = r->Get<FetchDataSetElement>();
    if (rc == 0 && set->List()) {
      for (FetchDataElement* f = set->List()->Head(); f; f = static_cast<FetchDataElement*>(f->NextItem())) {
        Cell c;
        c.column = f->Column();
        c.isNull = f->IsNull();
        if (f->Data()) c.bytes.assign(reinterpret_cast<const char*>(f->Data()), f->Length());
        row->push_back(c);
      }
    }
  }
  return rc;
}

int Client::GetData(uint32_t id, int16_t column, Cell* cell) {
  std::unique_ptr<Request> r(Request::CreateRequest(17));
  r->SetStatementId(id);
  r->Get<ColumnNumberElement>()->value = column;
  int rc = Exchange(r.get());
  FetchDataElement* f = r->Get<FetchDataElement>();
  cell->column = f->Column();
  cell->isNull = f->IsNull();
  cell->bytes.clear();
  if (f->Data()) cell->bytes.assign(reinterpret_cast<const char*>(f->Data()), f->Length());
  return rc;
}

int Client::Free(uint32_t id, int option) {
  std::unique_ptr<Request> r(Request::CreateRequest(15));
  r->SetStatementId(id);
  r->Get<FreeOptionElement>()->value = option;
  return Exchange(r.get());
}

int Client::RowCount(uint32_t id, int32_t* count) {
  std::unique_ptr<Request> r(Request::CreateRequest(25));
  r->SetStatementId(id);
  int rc = Exchange(r.get());
  *count = r->Get<NumberOfRowsElement>()->value;
  return rc;
}

int Client::Transact(int type) {
  std::unique_ptr<Request> r(Request::CreateRequest(44));
  r->Get<TransactionTypeElement>()->value = type;
  return Exchange(r.get());
}

int Client::SetAutocommit(int mode) {
  std::unique_ptr<Request> r(Request::CreateRequest(27));
  r->Get<AutocommitModeElement>()->value = mode;
  return Exchange(r.get());
}

std::string Client::State(uint32_t id, int* native, std::string* text) {
  std::unique_ptr<Request> r(Request::CreateRequest(9));
  r->SetStatementId(id);
  if (Exchange(r.get()) == kCommFailure) return "";
  if (native) *native = r->Get<ErrorCodeElement>()->value;
  if (text) *text = r->Get<ErrorTextElement>()->value.TextOrEmpty();
  return r->Get<SqlstateElement>()->value.TextOrEmpty();
}

std::vector<std::vector<Cell>> Client::Query(uint32_t id, const std::string& sql, std::vector<Column>* columns) {
  std::vector<std::vector<Cell>> rows;
  std::vector<Column> cols;
  if (ExecDirect(id, sql, {}, &cols) != 0) return rows;
  std::vector<uint16_t> all;
  for (size_t i = 0; i < cols.size(); ++i) all.push_back(static_cast<uint16_t>(i + 1));
  std::vector<Cell> row;
  for (int guard = 0; guard < 100000 && Fetch(id, all, &row) == 0; ++guard) rows.push_back(row);
  if (columns) *columns = cols;
  return rows;
}

}  // namespace srvtest
