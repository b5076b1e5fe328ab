// Socket error numbers as the Windows Sockets interface numbers them, and
// their texts. The driver reports every socket failure with these numbers,
// whatever the system's own error codes are.
#ifndef VELORA_NET_SOCKETERRORS_H
#define VELORA_NET_SOCKETERRORS_H

enum : int {
  kWsaNoError = 10000,
  kWsaeIntr = 10004,
  kWsaeBadf = 10009,
  kWsaeInval = 10022,
  kWsaeNetReset = 10052,
  kWsaeConnAborted = 10053,
  kWsaeConnReset = 10054,
  kWsaeNoBufs = 10055,
  kWsaeNotConn = 10057,
  kWsaeTimedOut = 10060,
  kWsaeConnRefused = 10061,
  kWsaHostNotFound = 11001,
  kWsaTryAgain = 11002,
  kWsaNoRecovery = 11003,
  kWsaNoData = 11004,
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
