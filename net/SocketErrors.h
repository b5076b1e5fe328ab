// Socket error numbers as the Windows Sockets interface numbers them, and
// their texts. The driver reports every socket failure with these numbers,
// whatever the system's own error codes are.
#ifndef VELORA_NET_SOCKETERRORS_H
#define VELORA_NET_SOCKETERRORS_H

enum : int {
  VEL_WSA_NO_ERROR = 10000,
  VEL_WSAEINTR = 10004,
  VEL_WSAEBADF = 10009,
  VEL_WSAEINVAL = 10022,
  VEL_WSAENETRESET = 10052,
  VEL_WSAECONNABORTED = 10053,
  VEL_WSAECONNRESET = 10054,
  VEL_WSAENOBUFS = 10055,
  VEL_WSAENOTCONN = 10057,
  VEL_WSAETIMEDOUT = 10060,
  VEL_WSAECONNREFUSED = 10061,
  VEL_WSAHOST_NOT_FOUND = 11001,
  VEL_WSATRY_AGAIN = 11002,
  VEL_WSANO_RECOVERY = 11003,
  VEL_WSANO_DATA = 11004,
};

// The text of socket error number ("[10061] Connection refused"), or null
// when the number has none.
const char* SocketErrorText(int number);

// The socket error number for a system error code (errno). Codes without a
// socket meaning are returned unchanged (they are below 10000 and have no
// text).
int SocketErrorFromErrno(int code);
// The socket error number for a resolver failure (a getaddrinfo result;
// errnoValue is consulted for EAI_SYSTEM).
int SocketErrorFromResolver(int code, int errnoValue);

// The number of the last socket failure on the calling thread, as the
// socket library's "last error" reports it; set by the socket layer.
int LastSocketError();
void SetLastSocketError(int number);

#endif
