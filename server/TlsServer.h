// The server's side of encrypted connections (OpenSSL): a context made
// once from --tls-cert and --tls-key, and one Link per client connection
// that reads and writes either through TLS or plainly on the socket.
#ifndef VELORA_SERVER_TLSSERVER_H
#define VELORA_SERVER_TLSSERVER_H

#include <cstddef>
#include <mutex>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace velsrv {

// The first byte of a TLS handshake record: a client that sends it wants
// encryption; a plaintext client's greeting starts with "L".
constexpr unsigned char kTlsHandshakeByte = 0x16;

class TlsContext {
 public:
  TlsContext() = default;
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // Loads the certificate chain and its key (PEM); false with *error,
  // keeping what was loaded before. A reload (SIGHUP) applies to the
  // handshakes that follow; connections made before keep theirs.
  bool Load(const std::string& certFile, const std::string& keyFile, std::string* error);
  bool Loaded() const;
  // A connection's TLS state on the current certificate (nullptr if none).
  SSL* NewConnection() const;

 private:
  mutable std::mutex mutex_;
  SSL_CTX* ctx_ = nullptr;
};

// One client connection's byte stream. Reads and writes are whole: false
// on end of stream, error or time-out.
class Link {
 public:
  explicit Link(int fd) : fd_(fd) {}
  ~Link() { End(); }
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // The TLS handshake as server; false with *error (the reason).
  bool Accept(const TlsContext& context, std::string* error);
  bool Encrypted() const { return ssl_ != nullptr; }
  bool Read(void* buffer, size_t n);
  bool Write(const void* buffer, size_t n);
  int Fd() const { return fd_; }
  // Ends the TLS session (a client still listening learns that the stream
  // ends here); before the socket is closed, since its number may be
  // another client's at once afterwards.
  void End();

 private:
  int fd_;
  SSL* ssl_ = nullptr;
  bool healthy_ = true;
  // Plain links read ahead: one recv brings a small request's header and
  // body together (a request costs one receive, not two).
  uint8_t inbox_[512];
  size_t inboxStart_ = 0, inboxEnd_ = 0;
};

// The reason of the last OpenSSL failure of this thread ("" if none).
std::string TlsErrorText();

}  // namespace velsrv

#endif
