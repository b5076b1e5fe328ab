// The socket calls of ClibConnection, over POSIX sockets (SocketsPosix.cpp)
// or Windows Sockets 1.1 (SocketsWin32.cpp). A socket is an int, -1 for
// none. A failing call records the Windows Sockets number of its error
// (SetLastSocketError) before it returns false or -1; on POSIX a blocking
// call that ran out of the socket's time limit counts as timed out (10060).
#ifndef VELORA_NET_SOCKETS_H
#define VELORA_NET_SOCKETS_H

#include <cstdint>

// Starts and stops the socket library for the process (WSAStartup for
// version 1.1 with a blocking hook that does nothing; nothing on POSIX).
[[nodiscard]] bool StartSocketLibrary();
void StopSocketLibrary();

// What the socket library says about itself, for the trace.
struct SocketLibraryInfo {
  unsigned version;
  unsigned highVersion;
  char description[257];
  char systemStatus[129];
  unsigned maxSockets;
};
void DescribeSocketLibrary(SocketLibraryInfo* info);

// A resolved address and port: the system's socket address (an IPv4 or,
// on POSIX, an IPv6 one), opaque above the socket calls.
struct SocketAddress {
  int family;
  unsigned length;
  alignas(8) unsigned char bytes[32];
};
constexpr int kMaxSocketAddresses = 8;

// A TCP stream socket of family (not inherited by started programs; on
// POSIX a peer that has gone raises no signal), or -1.
[[nodiscard]] int OpenStreamSocket(int family);
bool CloseSocket(int socket);
// Closes at once with a reset instead of lingering; results not examined.
void ResetSocket(int socket);
// Connects to address; waits for the outcome when a signal interrupts the
// call.
[[nodiscard]] bool ConnectSocket(int socket, const SocketAddress& address, int timeoutSeconds);
// One send or receive: the count of bytes moved (0 from a receive: the
// peer closed), or -1. Interrupted calls are repeated.
long SendSome(int socket, const char* bytes, uint32_t length);
long ReceiveSome(int socket, char* bytes, uint32_t length);
// A receive that waits about micros at most, polling instead of sleeping:
// a reply that comes within that time is read without the scheduler
// waking the caller (on a virtual machine that wake-up costs as much as
// the round trip itself). As ReceiveSome, or kNothingYet when nothing
// came in that time (no error recorded).
constexpr long kNothingYet = -2;
long ReceiveSoon(int socket, char* bytes, uint32_t length, int micros);
// Whether polling for a reply can pay: only where the peer can run on
// another processor meanwhile (never on Windows, whose sockets here have
// no receive that does not wait).
bool PollingPays();
// What a socket has for the reader now, without waiting or taking it.
enum class PeerWord { kNothing, kBytes, kClosed };  // kClosed: end of stream or an error
PeerWord PeekPeer(int socket);
// TCP_NODELAY and SO_KEEPALIVE turned on.
bool SetNoDelay(int socket);
bool SetKeepAlive(int socket);
// Bounds later connects, sends and receives to seconds (0: no bound).
bool SetSocketTimeout(int socket, int seconds);
bool LocalPort(int socket, unsigned* port);

// The port of a TCP service name.
[[nodiscard]] bool LookUpService(const char* service, uint16_t* port);
// The addresses of host (a name, or on POSIX also an IPv6 address) with
// port, in the resolver's order (IPv6 and IPv4 on POSIX, IPv4 through
// Windows Sockets 1.1), at most max; 0 with the socket error set when
// there is none.
[[nodiscard]] int LookUpHost(const char* host, uint16_t port, SocketAddress* out, int max);
// A dotted IPv4 address with port; false when text is not one.
[[nodiscard]] bool ParseDottedAddress(const char* text, uint16_t port, SocketAddress* out);
// The numeric text of address, for the trace.
void AddressText(const SocketAddress& address, char* buffer, int size);

// Records the error of a failed TLS send or receive (net/Tls.h reports it
// in errno; on Windows it is recorded as the socket error already) as the
// socket error.
void TakeTlsError();

// The text of socket error number (a string resource of the DLL on
// Windows), cut to size; an unknown number leaves buffer as it is.
void LoadSocketErrorText(int number, char* buffer, int size);

#endif
