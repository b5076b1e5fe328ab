// TLS through Windows' own Schannel (secur32), with the certificate checks
// of crypt32: a CA file (PEM) is the only trust anchor when given, else the
// system's certificate store. The records go over the socket calls of
// Sockets.h, so the socket's time limits hold; a failure records its
// Windows Sockets number as those calls do.
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>
#include <wininet.h>  // SECURITY_FLAG_IGNORE_UNKNOWN_CA

#include <cstdio>
#include <cstring>

#include "base/Alloc.h"
#include "base/Trace.h"
#include "net/SocketErrors.h"
#include "net/Sockets.h"
#include "net/Tls.h"

namespace {

// A record's plaintext (16 KiB) with its header and trailer, and room for
// the start of the next record.
constexpr uint32_t kRecordRoom = 16384 + 2048;

}  // namespace

struct TlsSession {
  VEL_NOTHROW_ALLOCATED
 public:
  ~TlsSession() {
    if (haveContext) DeleteSecurityContext(&context);
    if (haveCredentials) FreeCredentialsHandle(&credentials);
  }
  int socket = -1;
  CredHandle credentials{};
  CtxtHandle context{};
  bool haveCredentials = false, haveContext = false;
  SecPkgContext_StreamSizes sizes{};
  char in[kRecordRoom];  // received records not yet decrypted
  uint32_t inLength = 0;
  char plain[kRecordRoom];  // decrypted bytes not yet taken
  uint32_t plainStart = 0, plainEnd = 0;
  char out[kRecordRoom];
};

namespace {

bool SendAll(int socket, const char* bytes, uint32_t length) {
  for (uint32_t sent = 0; sent < length;) {
    const long n = SendSome(socket, bytes + sent, length - sent);
    if (n <= 0) return false;
    sent += static_cast<uint32_t>(n);
  }
  return true;
}

// More bytes of the stream after the inLength already held: as recv, and
// -1 when a record would not fit.
long ReceiveMore(TlsSession* s) {
  if (s->inLength == sizeof s->in) return SetLastSocketError(kWsaeConnAborted), -1;
  const long n = ReceiveSome(s->socket, s->in + s->inLength, sizeof s->in - s->inLength);
  if (n > 0) s->inLength += static_cast<uint32_t>(n);
  return n;
}

// Keeps the bytes a call left unread (an EXTRA buffer) at the start of in.
void KeepExtra(TlsSession* s, const SecBuffer* buffers, int count) {
  uint32_t extra = 0;
  for (int i = 0; i < count; ++i) {
    if (buffers[i].BufferType == SECBUFFER_EXTRA) extra = buffers[i].cbBuffer;
  }
  std::memmove(s->in, s->in + s->inLength - extra, extra);
  s->inLength = extra;
}

// The certificates of a PEM file in a new memory store; null when the file
// cannot be read or holds none, or (noMemory set) memory ran out.
HCERTSTORE ReadCaFile(const char* path, bool* noMemory) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return nullptr;
  constexpr size_t kMost = 256 * 1024;
  char* text = static_cast<char*>(VelAlloc(kMost + 1));
  BYTE* der = static_cast<BYTE*>(VelAlloc(kMost));
  *noMemory = !text || !der;
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  size_t length = text ? std::fread(text, 1, kMost, file) : 0;
  std::fclose(file);
  int added = 0;
  if (text && der && store) {
    text[length] = '\0';
    static const char kBegin[] = "-----BEGIN CERTIFICATE-----",
                      kEnd[] = "-----END CERTIFICATE-----";
    for (char* p = std::strstr(text, kBegin); p != nullptr; p = std::strstr(p, kBegin)) {
      char* end = std::strstr(p, kEnd);
      if (end == nullptr) break;
      end += sizeof kEnd - 1;
      DWORD size = kMost;
      if (CryptStringToBinaryA(p, static_cast<DWORD>(end - p), CRYPT_STRING_BASE64HEADER, der,
                               &size, nullptr, nullptr) &&
          CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der, size,
                                           CERT_STORE_ADD_ALWAYS, nullptr)) {
        ++added;
      }
      p = end;
    }
  }
  VelFree(text);
  VelFree(der);
  if (added == 0 && store) CertCloseStore(store, 0), store = nullptr;
  return store;
}

// The server's certificate checked as mode asks: its chain ends at a
// certificate of the CA file (or one the system trusts), and with
// verify-full it names host. An empty reason means it passed.
void CheckCertificate(TlsSession* s, TlsMode mode, HCERTSTORE roots, const char* host, char* reason,
                      int size) {
  reason[0] = '\0';
  PCCERT_CONTEXT server = nullptr;
  if (QueryContextAttributesA(&s->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server) != SEC_E_OK ||
      !server) {
    std::snprintf(reason, static_cast<size_t>(size), "%s",
                  "certificate verify failed: the server sent none");
    return;
  }
  HCERTSTORE both = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  if (both) {
    CertAddStoreToCollection(both, server->hCertStore, 0, 0);
    if (roots) CertAddStoreToCollection(both, roots, 0, 0);
  }
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  const char* verdict = nullptr;
  if (!CertGetCertificateChain(nullptr, server, nullptr, both, &chainPara, 0, nullptr, &chain)) {
    verdict = "no chain could be built";
  } else {
    DWORD errors = chain->TrustStatus.dwErrorStatus;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    PCCERT_CONTEXT top = simple->rgpElement[simple->cElement - 1]->pCertContext;
    // With a CA file, its certificates are the trusted roots, and only they.
    if (roots) {
      PCCERT_CONTEXT found =
          CertFindCertificateInStore(roots, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, top, nullptr);
      if (found)
        CertFreeCertificateContext(found),
            errors &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
      if (!found) errors |= CERT_TRUST_IS_UNTRUSTED_ROOT;
    }
    errors &= ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                                  CERT_TRUST_IS_OFFLINE_REVOCATION);
    if (errors & CERT_TRUST_IS_NOT_TIME_VALID)
      verdict = "certificate has expired or is not yet valid";
    else if (errors & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
      verdict = simple->cElement == 1 ? "self-signed certificate"
                                      : "unable to get local issuer certificate";
    else if (errors != 0)
      verdict = "the certificate chain is not valid";
  }
  if (!verdict && mode == TlsMode::kVerifyFull) {
    WCHAR name[256];
    MultiByteToWideChar(CP_UTF8, 0, host, -1, name, 256);
    name[255] = 0;
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA extra{};
    extra.cbSize = sizeof extra;
    extra.dwAuthType = AUTHTYPE_SERVER;
    extra.fdwChecks = roots ? SECURITY_FLAG_IGNORE_UNKNOWN_CA : 0;  // the root was checked above
    extra.pwszServerName = name;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &extra;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
      verdict = "the certificate could not be checked";
    } else if (status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH)) {
      verdict = "hostname mismatch";
    } else if (status.dwError != 0) {
      verdict = "the certificate is not valid for a server";
    }
  }
  if (verdict)
    std::snprintf(reason, static_cast<size_t>(size), "certificate verify failed: %s", verdict);
  if (chain) CertFreeCertificateChain(chain);
  if (both) CertCloseStore(both, 0);
  CertFreeCertificateContext(server);
}

// The handshake's messages until Schannel is done: true when it is; else
// the reason.
bool Handshake(TlsSession* s, const char* host, char* reason, int size) {
  constexpr DWORD kFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                           ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_MANUAL_CRED_VALIDATION;
  bool first = true, read = false, answered = false;
  for (;;) {
    if (read) {
      if (ReceiveMore(s) <= 0) {
        std::snprintf(reason, static_cast<size_t>(size), "%s", "the server ended the handshake");
        return false;
      }
      // The server's first bytes not a TLS handshake or alert record: no TLS on that port.
      if (!answered && (answered = true, s->in[0] != 0x16 && s->in[0] != 0x15)) {
        std::snprintf(reason, static_cast<size_t>(size), "%s",
                      "the server does not answer with TLS (not a TLS record)");
        return false;
      }
    }
    SecBuffer in[2] = {{s->inLength, SECBUFFER_TOKEN, s->in}, {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    DWORD got = 0;
    const SECURITY_STATUS st = InitializeSecurityContextA(
        &s->credentials, first ? nullptr : &s->context, const_cast<char*>(host), kFlags, 0, 0,
        first ? nullptr : &inDesc, 0, first ? &s->context : nullptr, &outDesc, &got, nullptr);
    if (first) s->haveContext = st == SEC_E_OK || st == SEC_I_CONTINUE_NEEDED;
    first = false;
    if (out.pvBuffer) {
      const bool sent =
          out.cbBuffer == 0 || SendAll(s->socket, static_cast<char*>(out.pvBuffer), out.cbBuffer);
      FreeContextBuffer(out.pvBuffer);
      if (!sent) {
        std::snprintf(reason, static_cast<size_t>(size), "%s", "the server ended the handshake");
        return false;
      }
    }
    if (st == SEC_E_INCOMPLETE_MESSAGE) {
      read = true;
      continue;
    }
    if (st != SEC_E_OK && st != SEC_I_CONTINUE_NEEDED) {
      std::snprintf(reason, static_cast<size_t>(size),
                    "the handshake failed (Schannel error 0x%08lx)",
                    static_cast<unsigned long>(st));
      return false;
    }
    if (st == SEC_I_CONTINUE_NEEDED && in[1].BufferType != SECBUFFER_EXTRA) s->inLength = 0;
    if (st == SEC_I_CONTINUE_NEEDED && in[1].BufferType == SECBUFFER_EXTRA) KeepExtra(s, in, 2);
    if (st == SEC_E_OK) {
      KeepExtra(s, in, 2);
      return true;
    }
    read = s->inLength == 0;
  }
}

}  // namespace

TlsStart StartTls(int socket, TlsMode mode, const char* caFile, const char* host,
                  TlsSession** session, char* reason, int size) {
  *session = nullptr;
  TlsSession* s = new (std::nothrow) TlsSession();
  if (!s) return TlsStart::kNoMemory;
  s->socket = socket;
  const bool haveCa = caFile && caFile[0] != '\0';
  bool noMemory = false;
  HCERTSTORE roots = haveCa ? ReadCaFile(caFile, &noMemory) : nullptr;
  if (noMemory) {
    delete s;
    return TlsStart::kNoMemory;
  }
  SCHANNEL_CRED settings{};
  settings.dwVersion = SCHANNEL_CRED_VERSION;
  settings.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  reason[0] = '\0';
  if (haveCa && !roots) {
    std::snprintf(reason, static_cast<size_t>(size), "cannot read the CA file %s", caFile);
  } else if (AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A),
                                       SECPKG_CRED_OUTBOUND, nullptr, &settings, nullptr, nullptr,
                                       &s->credentials, nullptr) != SEC_E_OK) {
    std::snprintf(reason, static_cast<size_t>(size), "%s", "internal error of the TLS library");
  } else if (s->haveCredentials = true, Handshake(s, host, reason, size)) {
    if (QueryContextAttributesA(&s->context, SECPKG_ATTR_STREAM_SIZES, &s->sizes) != SEC_E_OK ||
        s->sizes.cbHeader + s->sizes.cbMaximumMessage + s->sizes.cbTrailer > sizeof s->out) {
      std::snprintf(reason, static_cast<size_t>(size), "%s", "internal error of the TLS library");
    } else if (mode == TlsMode::kVerifyFull || roots) {
      CheckCertificate(s, mode, roots, host, reason, size);
    }
  }
  if (roots) CertCloseStore(roots, 0);
  if (reason[0] != '\0') {
    Trace('N', 0, "TLS handshake failed: %s", reason);
    delete s;
    return TlsStart::kFailed;
  }
  Trace('N', 2, "TLS: Schannel, record size %lu",
        static_cast<unsigned long>(s->sizes.cbMaximumMessage));
  *session = s;
  return TlsStart::kDone;
}

long TlsSend(TlsSession* s, const void* buffer, uint32_t length) {
  const uint32_t chunk = length < s->sizes.cbMaximumMessage ? length : s->sizes.cbMaximumMessage;
  char* body = s->out + s->sizes.cbHeader;
  std::memcpy(body, buffer, chunk);
  SecBuffer parts[4] = {{s->sizes.cbHeader, SECBUFFER_STREAM_HEADER, s->out},
                        {chunk, SECBUFFER_DATA, body},
                        {s->sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, body + chunk},
                        {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
  if (EncryptMessage(&s->context, 0, &desc, 0) != SEC_E_OK)
    return SetLastSocketError(kWsaeConnAborted), -1;
  return SendAll(s->socket, s->out, parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer)
             ? chunk
             : -1;
}

long TlsReceive(TlsSession* s, void* buffer, uint32_t length) {
  while (s->plainStart == s->plainEnd) {
    SECURITY_STATUS st = SEC_E_INCOMPLETE_MESSAGE;
    SecBuffer parts[4] = {{s->inLength, SECBUFFER_DATA, s->in},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
    if (s->inLength > 0) st = DecryptMessage(&s->context, &desc, 0, nullptr);
    if (st == SEC_E_INCOMPLETE_MESSAGE) {
      const long n = ReceiveMore(s);
      if (n <= 0) return n;
      continue;
    }
    if (st == SEC_I_CONTEXT_EXPIRED) return 0;  // the server's close_notify
    if (st != SEC_E_OK) return SetLastSocketError(kWsaeConnAborted), -1;
    for (const SecBuffer& part : parts) {
      if (part.BufferType == SECBUFFER_DATA) {
        std::memcpy(s->plain, part.pvBuffer, part.cbBuffer);
        s->plainStart = 0;
        s->plainEnd = part.cbBuffer;
      }
    }
    KeepExtra(s, parts, 4);
  }
  uint32_t take = s->plainEnd - s->plainStart;
  if (take > length) take = length;
  std::memcpy(buffer, s->plain + s->plainStart, take);
  s->plainStart += take;
  return take;
}

void EndTls(TlsSession* s, bool graceful) {
  if (!s) return;
  if (graceful) {
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer token{sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc tokenDesc{SECBUFFER_VERSION, 1, &token};
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    DWORD got = 0;
    if (ApplyControlToken(&s->context, &tokenDesc) == SEC_E_OK &&
        InitializeSecurityContextA(&s->credentials, &s->context, nullptr,
                                   ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM, 0, 0, nullptr, 0,
                                   nullptr, &outDesc, &got, nullptr) == SEC_E_OK &&
        out.pvBuffer) {
      SendAll(s->socket, static_cast<char*>(out.pvBuffer), out.cbBuffer);
    }
    if (out.pvBuffer) FreeContextBuffer(out.pvBuffer);
  }
  delete s;
}
