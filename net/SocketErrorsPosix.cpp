// The mapping of POSIX error codes and resolver failures onto the socket
// error numbers.
#include <netdb.h>

#include <cerrno>

#include "net/SocketErrors.h"

namespace {

struct ErrnoMapping {
  int code;
  int number;
};

// System codes by name; the socket numbers are those of the BSD codes the
// Windows interface was modelled on.
const ErrnoMapping kErrnoMap[] = {
    {EINTR, 10004},
    {EBADF, 10009},
    {EACCES, 10013},
    {EFAULT, 10014},
    {EINVAL, 10022},
    {EMFILE, 10024},
    {ENFILE, 10024},
    {EAGAIN, 10035},
#if EWOULDBLOCK != EAGAIN
    {EWOULDBLOCK, 10035},
#endif
    {EINPROGRESS, 10036},
    {EALREADY, 10037},
    {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},
#if defined(ENOTSUP) && ENOTSUP != EOPNOTSUPP
    {ENOTSUP, 10045},
#endif
    {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},
    {ENETUNREACH, 10051},
    {ENETRESET, 10052},
    {ECONNABORTED, 10053},
    {ECONNRESET, 10054},
    // A send on a stream whose peer has gone: the Windows interface reports
    // this as a reset, and so the "connection dropped" rule applies to it.
    {EPIPE, 10054},
    {ENOBUFS, 10055},
    {ENOMEM, 10055},
    {EISCONN, 10056},
    {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},
    {ELOOP, 10062},
    {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
    {ENOTEMPTY, 10066},
    {EUSERS, 10068},
    {EDQUOT, 10069},
    {ESTALE, 10070},
    {EREMOTE, 10071},
};

}  // namespace

int SocketErrorFromErrno(int code) {
  for (const ErrnoMapping& entry : kErrnoMap) {
    if (entry.code == code) return entry.number;
  }
  return code;
}

int SocketErrorFromResolver(int code, int errnoValue) {
  switch (code) {
    case 0:
      return 0;
    case EAI_NONAME:
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
      return kWsaHostNotFound;
    case EAI_AGAIN:
      return kWsaTryAgain;
    case EAI_FAIL:
      return kWsaNoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return kWsaNoData;
#endif
    case EAI_SERVICE:
      return kWsaNoData;
    case EAI_MEMORY:
      return kWsaeNoBufs;
    case EAI_SYSTEM:
      return SocketErrorFromErrno(errnoValue);
    default:
      return kWsaNoRecovery;
  }
}
