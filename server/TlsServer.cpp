// Server-side TLS on blocking sockets; the socket's receive time-out also
// bounds the handshake.
#include "server/TlsServer.h"

#include <cstring>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace velsrv {

namespace {

// A signal cut a blocking call short: it is simply repeated.
bool Interrupted(SSL* ssl) {
  const int code = SSL_get_error(ssl, -1);
  return (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) && errno == EINTR;
}

}  // namespace

std::string TlsErrorText() {
  std::string text;
  for (unsigned long e; (e = ERR_get_error()) != 0;) {
    char line[256];
    ERR_error_string_n(e, line, sizeof line);
    const char* reason = ERR_reason_error_string(e);
    text += (text.empty() ? "" : "; ") + std::string(reason ? reason : line);
  }
  return text;
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

bool TlsContext::Load(const std::string& certFile, const std::string& keyFile, std::string* error) {
  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (!ctx) return *error = "cannot make a TLS context: " + TlsErrorText(), false;
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  if (SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1) {
    *error = "cannot load the certificate " + certFile + ": " + TlsErrorText();
  } else if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    *error = "cannot load the key " + keyFile + ": " + TlsErrorText();
  } else if (SSL_CTX_check_private_key(ctx) != 1) {
    *error = "the key " + keyFile + " does not belong to the certificate " + certFile;
  } else {
    // Connections made on the old context hold a reference of their own.
    std::lock_guard<std::mutex> lock(mutex_);
    std::swap(ctx, ctx_);
    SSL_CTX_free(ctx);
    return true;
  }
  SSL_CTX_free(ctx);
  return false;
}

bool TlsContext::Loaded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ctx_ != nullptr;
}

SSL* TlsContext::NewConnection() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ctx_ ? SSL_new(ctx_) : nullptr;
}

void Link::End() {
  if (!ssl_) return;
  if (healthy_) SSL_shutdown(ssl_);
  SSL_free(ssl_);
  ssl_ = nullptr;
}

bool Link::Accept(const TlsContext& context, std::string* error) {
  // The client speaks first in the handshake, after reading what came
  // before it: nothing can have been read ahead.
  if (inboxStart_ != inboxEnd_) return *error = "bytes before the handshake", false;
  ERR_clear_error();
  ssl_ = context.NewConnection();
  if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) return *error = TlsErrorText(), false;
  int rc = SSL_accept(ssl_);
  if (rc == 1) return true;
  const int code = SSL_get_error(ssl_, rc);
  *error = TlsErrorText();
  if (error->empty())
    error->assign(code == SSL_ERROR_SYSCALL && errno == 0 ? "client hung up" : "handshake failed");
  SSL_free(ssl_);
  ssl_ = nullptr;
  return false;
}

bool Link::Read(void* buffer, size_t n) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  while (n > 0) {
    if (inboxStart_ < inboxEnd_) {
      size_t take = inboxEnd_ - inboxStart_ < n ? inboxEnd_ - inboxStart_ : n;
      std::memcpy(p, inbox_ + inboxStart_, take);
      inboxStart_ += take;
      p += take;
      n -= take;
      continue;
    }
    ssize_t got;
    if (ssl_) {
      size_t done = 0;
      got = SSL_read_ex(ssl_, p, n, &done) == 1 ? static_cast<ssize_t>(done) : -1;
      if (got < 0 && Interrupted(ssl_)) continue;
    } else if (n < sizeof inbox_) {
      got = recv(fd_, inbox_, sizeof inbox_, 0);
      if (got < 0 && errno == EINTR) continue;
      if (got > 0) {
        inboxStart_ = 0;
        inboxEnd_ = static_cast<size_t>(got);
        continue;
      }
    } else {
      got = recv(fd_, p, n, 0);
      if (got < 0 && errno == EINTR) continue;
    }
    if (got <= 0) return healthy_ = false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

bool Link::Write(const void* buffer, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  while (n > 0) {
    ssize_t sent;
    if (ssl_) {
      size_t done = 0;
      sent = SSL_write_ex(ssl_, p, n, &done) == 1 ? static_cast<ssize_t>(done) : -1;
      if (sent < 0 && Interrupted(ssl_)) continue;
    } else {
      sent = send(fd_, p, n, MSG_NOSIGNAL);
      if (sent < 0 && errno == EINTR) continue;
    }
    if (sent <= 0) return healthy_ = false;
    p += sent;
    n -= static_cast<size_t>(sent);
  }
  return true;
}

}  // namespace velsrv
