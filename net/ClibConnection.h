// The TCP connection to the server: connect, write whole blocks, read
// exact blocks, close. Failures are traced (category N) and shown in a
// message box; the exchange turns them into diagnostics.
#ifndef VELORA_NET_CLIBCONNECTION_H
#define VELORA_NET_CLIBCONNECTION_H

#include <cstdint>

#include "driver/alloc.h"

class ClibConnection {
  VEL_NOTHROW_ALLOCATED
 public:
  ClibConnection();
  ~ClibConnection();
  ClibConnection(const ClibConnection&) = delete;
  ClibConnection& operator=(const ClibConnection&) = delete;

  // server: host name or dotted IPv4 address; service: port number or
  // service name. Returns 1 when connected, 0 otherwise.
  int InitiateConnection(const char* server, const char* service);
  // Sends all length bytes (continuing after partial sends and interrupted
  // calls); 1 on success, 0 on a real error.
  int Write(const void* buffer, uint32_t length);
  // Receives exactly length bytes; 1 when all arrived, 0 on end of stream,
  // a short stream or a socket error. A length of 0 succeeds at once.
  int Read(void* buffer, uint32_t length);
  // Closes the socket gracefully and stops the socket library; returns 1.
  int ReleaseConnection();

  // Bounds every later connect, send and receive on this object to seconds
  // (0: no bound, the default). A call that runs out of time fails as a
  // timed-out connection (10060). Login uses it for the login timeout.
  void SetTimeout(int seconds);

  int Socket() const { return socket_; }
  int State() const { return state_; }
  bool IsOpen() const { return socket_ >= 0; }

  // Clears buffer and loads the text of socket error number into it (0
  // stands for 10000; numbers below 10000 give an empty text).
  static void LoadErrorText(int number, char* buffer, int size);

  // Test seam: the next construction reads "UseKeepAlive" again.
  static void ForgetSettings();

 private:
  void ApplyTimeout();
  int socket_ = -1;
  int state_ = 0;
  int timeoutSeconds_ = 0;
};

#endif
