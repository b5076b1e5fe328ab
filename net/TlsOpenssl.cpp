// TLS with OpenSSL. The socket is driven through a BIO of our own so that
// a server that hung up cannot raise SIGPIPE in the application (sends use
// MSG_NOSIGNAL) and the socket's time limits keep working.
#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/Alloc.h"
#include "base/Trace.h"
#include "net/Tls.h"

struct TlsSession {
  VEL_NOTHROW_ALLOCATED
 public:
  ~TlsSession() {
    SSL_free(ssl);  // frees the BIO too
    SSL_CTX_free(context);
    BIO_meth_free(method);
  }
  int socket = -1;
  BIO_METHOD* method = nullptr;
  SSL_CTX* context = nullptr;
  SSL* ssl = nullptr;
};

namespace {

int SocketOf(BIO* bio) { return static_cast<TlsSession*>(BIO_get_data(bio))->socket; }

int BioWrite(BIO* bio, const char* data, int length) {
  BIO_clear_retry_flags(bio);
  ssize_t n;
  do {
    n = send(SocketOf(bio), data, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_write(bio);
  return static_cast<int>(n);
}

int BioRead(BIO* bio, char* data, int length) {
  BIO_clear_retry_flags(bio);
  ssize_t n;
  do {
    n = recv(SocketOf(bio), data, static_cast<size_t>(length), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_read(bio);
  return static_cast<int>(n);
}

long BioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

// The reason of a failed handshake: the certificate check's verdict when
// that failed, else OpenSSL's first error, else the socket's.
void Reason(SSL* ssl, int rc, char* reason, int size) {
  const long verdict = ssl ? SSL_get_verify_result(ssl) : X509_V_OK;
  const unsigned long error = ERR_peek_error();
  // Still waiting for the server's hello: it answered with something else
  // (a server without TLS refuses the handshake as a malformed greeting).
  const bool noHello = ssl && SSL_get_state(ssl) == TLS_ST_CW_CLNT_HELLO;
  if (noHello) {
    const char* text = error != 0 ? ERR_reason_error_string(error) : nullptr;
    std::snprintf(reason, static_cast<size_t>(size), "the server does not answer with TLS (%s)",
                  text         ? text
                  : errno != 0 ? std::strerror(errno)
                               : "no answer");
  } else if (verdict != X509_V_OK) {
    std::snprintf(reason, static_cast<size_t>(size), "certificate verify failed: %s",
                  X509_verify_cert_error_string(verdict));
  } else if (error != 0) {
    const char* text = ERR_reason_error_string(error);
    std::snprintf(reason, static_cast<size_t>(size), "%s",
                  text ? text : "internal error of the TLS library");
  } else if (ssl && SSL_get_error(ssl, rc) == SSL_ERROR_SYSCALL && errno != 0) {
    std::snprintf(reason, static_cast<size_t>(size), "%s", std::strerror(errno));
  } else {
    std::snprintf(reason, static_cast<size_t>(size), "%s", "the server ended the handshake");
  }
  ERR_clear_error();
}

// The checks of mode: false when OpenSSL could not set them up.
bool SetChecks(TlsSession* s, TlsMode mode, const char* caFile, const char* host) {
  const bool haveCa = caFile && caFile[0] != '\0';
  if (mode != TlsMode::kVerifyFull && !haveCa) return true;  // encryption only
  if (haveCa ? SSL_CTX_load_verify_locations(s->context, caFile, nullptr) != 1
             : SSL_CTX_set_default_verify_paths(s->context) != 1) {
    return false;
  }
  SSL_set_verify(s->ssl, SSL_VERIFY_PEER, nullptr);
  if (mode != TlsMode::kVerifyFull) return true;
  unsigned char address[16];
  const bool isAddress =
      inet_pton(AF_INET, host, address) == 1 || inet_pton(AF_INET6, host, address) == 1;
  if (isAddress) return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(s->ssl), host) == 1;
  SSL_set_hostflags(s->ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  return SSL_set1_host(s->ssl, host) == 1 && SSL_set_tlsext_host_name(s->ssl, host) == 1;
}

}  // namespace

TlsStart StartTls(int socket, TlsMode mode, const char* caFile, const char* host,
                  TlsSession** session, char* reason, int size) {
  *session = nullptr;
  TlsSession* s = new (std::nothrow) TlsSession();
  if (!s) return TlsStart::kNoMemory;
  s->socket = socket;
  ERR_clear_error();
  errno = 0;
  BIO* bio = nullptr;
  s->method = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "velora socket");
  bool ready = s->method && BIO_meth_set_write(s->method, BioWrite) == 1 &&
               BIO_meth_set_read(s->method, BioRead) == 1 &&
               BIO_meth_set_ctrl(s->method, BioControl) == 1 &&
               (s->context = SSL_CTX_new(TLS_client_method())) != nullptr &&
               SSL_CTX_set_min_proto_version(s->context, TLS1_2_VERSION) == 1 &&
               (s->ssl = SSL_new(s->context)) != nullptr && (bio = BIO_new(s->method)) != nullptr;
  if (bio) {
    BIO_set_data(bio, s);
    BIO_set_init(bio, 1);
    SSL_set_bio(s->ssl, bio, bio);
  }
  const bool checked = ready && SetChecks(s, mode, caFile, host);
  const int rc = checked ? SSL_connect(s->ssl) : 0;
  if (rc != 1) {
    if (ready && !checked && caFile && caFile[0] != '\0') {
      std::snprintf(reason, static_cast<size_t>(size), "cannot read the CA file %s", caFile);
      ERR_clear_error();
    } else {
      Reason(checked ? s->ssl : nullptr, rc, reason, size);
    }
    Trace('N', 0, "TLS handshake failed: %s", reason);
    delete s;
    return TlsStart::kFailed;
  }
  Trace('N', 2, "TLS: %s, %s", SSL_get_version(s->ssl), SSL_get_cipher_name(s->ssl));
  *session = s;
  return TlsStart::kDone;
}

namespace {

// -1 with errno set after a failed SSL_write_ex or SSL_read_ex.
long Failure(TlsSession* s, int rc) {
  switch (SSL_get_error(s->ssl, rc)) {
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      errno = EAGAIN;
      break;
    case SSL_ERROR_SYSCALL:
      if (errno == 0) errno = ECONNRESET;
      break;
    default:
      errno = ECONNABORTED;  // the stream was tampered with or broke
  }
  ERR_clear_error();
  return -1;
}

}  // namespace

long TlsSend(TlsSession* s, const void* buffer, uint32_t length) {
  size_t done = 0;
  const int rc = SSL_write_ex(s->ssl, buffer, length, &done);
  if (rc == 1) return static_cast<long>(done);
  const long result = Failure(s, rc);
  return result == 0 ? (errno = ECONNRESET, -1) : result;
}

long TlsReceive(TlsSession* s, void* buffer, uint32_t length) {
  size_t done = 0;
  const int rc = SSL_read_ex(s->ssl, buffer, length, &done);
  return rc == 1 ? static_cast<long>(done) : Failure(s, rc);
}

void EndTls(TlsSession* s, bool graceful) {
  if (!s) return;
  if (graceful) SSL_shutdown(s->ssl);
  delete s;
}
