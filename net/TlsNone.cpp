// A build without TLS: only "off" and "prefer" (which falls back) connect.
#include <cerrno>
#include <cstdio>

#include "net/Tls.h"

TlsStart StartTls(int, TlsMode, const char*, const char*, TlsSession** session, char* reason,
                  int size) {
  *session = nullptr;
  std::snprintf(reason, static_cast<size_t>(size), "%s", "this driver was built without TLS");
  return TlsStart::kFailed;
}

long TlsSend(TlsSession*, const void*, uint32_t) { return errno = ENOTCONN, -1; }
long TlsReceive(TlsSession*, void*, uint32_t) { return errno = ENOTCONN, -1; }
void EndTls(TlsSession*, bool) {}
