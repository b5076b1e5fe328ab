// The socket calls over Windows Sockets 1.1 (WSOCK32.DLL). Error numbers
// come from WSAGetLastError.
#include <winsock.h>

#include <cstdio>
#include <cstring>

#include "base/Module.h"
#include "net/SocketErrors.h"
#include "net/Sockets.h"

namespace {

WSADATA g_data;
bool g_started = false;

// The driver blocks in its socket calls; while it waits nothing else is
// run on its thread.
BOOL CALLBACK NoBlockingHook() { return FALSE; }

int TakeError() {
  SetLastSocketError(WSAGetLastError());
  return -1;
}

bool Check(int rc) { return rc == 0 || TakeError() == 0; }

bool SetFlag(int socket, int level, int option) {
  BOOL on = TRUE;
  return Check(setsockopt(static_cast<SOCKET>(socket), level, option,
                          reinterpret_cast<const char*>(&on), sizeof on));
}

}  // namespace

bool StartSocketLibrary() {
  int rc = WSAStartup(MAKEWORD(1, 1), &g_data);
  if (rc != 0) {
    SetLastSocketError(rc);
    return false;
  }
  g_started = true;
  WSASetBlockingHook(reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&NoBlockingHook)));
  return true;
}

void StopSocketLibrary() {
  if (!g_started) return;
  g_started = false;
  WSACleanup();
}

void DescribeSocketLibrary(SocketLibraryInfo* info) {
  info->version = g_data.wVersion;
  info->highVersion = g_data.wHighVersion;
  std::snprintf(info->description, sizeof info->description, "%s", g_data.szDescription);
  std::snprintf(info->systemStatus, sizeof info->systemStatus, "%s", g_data.szSystemStatus);
  info->maxSockets = g_data.iMaxSockets;
}

int OpenStreamSocket(int family) {
  SOCKET s = socket(family, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return TakeError();
  // Not inherited by programs the application starts.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<int>(s);
}

bool CloseSocket(int socket) { return Check(closesocket(static_cast<SOCKET>(socket))); }

void ResetSocket(int socket) {
  linger off{1, 0};
  setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_LINGER,
             reinterpret_cast<const char*>(&off), sizeof off);
  closesocket(static_cast<SOCKET>(socket));
}

bool ConnectSocket(int socket, const SocketAddress& address, int /*timeoutSeconds*/) {
  return Check(connect(static_cast<SOCKET>(socket),
                       reinterpret_cast<const sockaddr*>(address.bytes),
                       static_cast<int>(address.length)));
}

long SendSome(int socket, const char* bytes, uint32_t length) {
  int n = send(static_cast<SOCKET>(socket), bytes, static_cast<int>(length), 0);
  return n == SOCKET_ERROR ? TakeError() : n;
}

long ReceiveSome(int socket, char* bytes, uint32_t length) {
  int n = recv(static_cast<SOCKET>(socket), bytes, static_cast<int>(length), 0);
  return n == SOCKET_ERROR ? TakeError() : n;
}

long ReceiveSoon(int, char*, uint32_t, int) { return kNothingYet; }

bool PollingPays() { return false; }

PeerWord PeekPeer(int socket) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(socket), &readable);
  timeval now = {0, 0};
  const int ready = select(0, &readable, nullptr, nullptr, &now);
  if (ready == 0) return PeerWord::kNothing;
  char byte;
  // Readable: a receive does not block.
  if (ready == SOCKET_ERROR || recv(static_cast<SOCKET>(socket), &byte, 1, MSG_PEEK) <= 0)
    return PeerWord::kClosed;
  return PeerWord::kBytes;
}

bool SetNoDelay(int socket) { return SetFlag(socket, IPPROTO_TCP, TCP_NODELAY); }
bool SetKeepAlive(int socket) { return SetFlag(socket, SOL_SOCKET, SO_KEEPALIVE); }

// Sends and receives honour the limits (in milliseconds); a connect keeps
// the system's own time limit.
bool SetSocketTimeout(int socket, int seconds) {
  DWORD limit = static_cast<DWORD>(seconds) * 1000;
  const char* value = reinterpret_cast<const char*>(&limit);
  return Check(setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_RCVTIMEO, value,
                          sizeof limit)) &&
         Check(
             setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_SNDTIMEO, value, sizeof limit));
}

bool LocalPort(int socket, unsigned* port) {
  sockaddr_in local{};
  int size = sizeof local;
  if (!Check(getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&local), &size)))
    return false;
  *port = ntohs(local.sin_port);
  return true;
}

bool LookUpService(const char* service, uint16_t* port) {
  servent* found = getservbyname(service, "tcp");
  if (found == nullptr) return TakeError() == 0;
  *port = ntohs(static_cast<uint16_t>(found->s_port));
  return true;
}

namespace {
void MakeAddress(uint32_t address, uint16_t port, SocketAddress* out) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  out->family = AF_INET;
  out->length = sizeof to;
  std::memcpy(out->bytes, &to, sizeof to);
}
}  // namespace

// Windows Sockets 1.1 knows IPv4 only: every address of the host's entry.
int LookUpHost(const char* host, uint16_t port, SocketAddress* out, int max) {
  hostent* found = gethostbyname(host);
  if (found == nullptr || found->h_addrtype != AF_INET || found->h_addr_list[0] == nullptr) {
    if (TakeError() == 0) SetLastSocketError(kWsaHostNotFound);
    return 0;
  }
  int count = 0;
  for (char** a = found->h_addr_list; *a && count < max; ++a)
    MakeAddress(*reinterpret_cast<const uint32_t*>(*a), port, &out[count++]);
  return count;
}

bool ParseDottedAddress(const char* text, uint16_t port, SocketAddress* out) {
  const uint32_t address = inet_addr(text);
  if (address == INADDR_NONE) return false;
  MakeAddress(address, port, out);
  return true;
}

void AddressText(const SocketAddress& address, char* buffer, int size) {
  const in_addr a = reinterpret_cast<const sockaddr_in*>(address.bytes)->sin_addr;
  std::snprintf(buffer, static_cast<size_t>(size), "%s", inet_ntoa(a));
}

// The Schannel session (net/TlsSchannel.cpp) records its errors as socket
// errors itself.
void TakeTlsError() {}

void LoadSocketErrorText(int number, char* buffer, int size) {
  LoadStringA(ModuleInstance(), static_cast<UINT>(number), buffer, size);
}
