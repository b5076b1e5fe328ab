// Encryption of the connection to the server, below ClibConnection. The
// build picks one implementation: OpenSSL (TlsOpenssl.cpp) on Linux,
// Schannel (TlsSchannel.cpp) on Windows, none (TlsNone.cpp, every handshake
// refused) where TLS is left out.
#ifndef VELORA_NET_TLS_H
#define VELORA_NET_TLS_H

#include <cstdint>

// off: today's plaintext; prefer: TLS, else plaintext on a new connection;
// require: TLS, the chain checked only against a given CA file;
// verify-full: TLS with the chain and the host name checked.
enum class TlsMode { kOff, kPrefer, kRequire, kVerifyFull };

// "off", "prefer", "require" or "verify-full" in any letter case (an empty
// text is off); false for any other text.
[[nodiscard]] bool ParseTlsMode(const char* text, TlsMode* mode);

struct TlsSession;

enum class TlsStart { kDone, kFailed, kNoMemory };

// The handshake as client on a connected socket. caFile (may be empty):
// the trusted certificates, else the system's; host: the name or address
// the certificate must show (verify-full). kFailed leaves the reason in
// reason; kNoMemory means the driver's own allocation failed.
[[nodiscard]] TlsStart StartTls(int socket, TlsMode mode, const char* caFile, const char* host,
                                TlsSession** session, char* reason, int size);
// Like send and recv: the bytes moved; 0 at the end of the stream
// (receive); -1 with errno set on failure (EAGAIN: the socket's time limit
// ran out).
long TlsSend(TlsSession* session, const void* buffer, uint32_t length);
long TlsReceive(TlsSession* session, void* buffer, uint32_t length);
// Ends the session (telling the server when graceful) and frees it; the
// socket stays open.
void EndTls(TlsSession* session, bool graceful);

#endif
