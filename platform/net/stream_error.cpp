#include "platform/net/stream_error.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>

namespace net {

int PosixCodeFromErrno(int e) {
  // Linux and BSD agree on 1..34 (except EAGAIN/EDEADLK at 11/35, handled below).
  switch (e) {
    case EAGAIN:
      return 35;
    case EDEADLK:
      return 11;
    case EINPROGRESS:
      return 36;
    case EALREADY:
      return 37;
    case ENOTSOCK:
      return 38;
    case EDESTADDRREQ:
      return 39;
    case EMSGSIZE:
      return 40;
    case EPROTOTYPE:
      return 41;
    case ENOPROTOOPT:
      return 42;
    case EPROTONOSUPPORT:
      return 43;
    case ESOCKTNOSUPPORT:
      return 44;
    case EOPNOTSUPP:
      return 45;
    case EPFNOSUPPORT:
      return 46;
    case EAFNOSUPPORT:
      return 47;
    case EADDRINUSE:
      return 48;
    case EADDRNOTAVAIL:
      return 49;
    case ENETDOWN:
      return 50;
    case ENETUNREACH:
      return 51;
    case ENETRESET:
      return 52;
    case ECONNABORTED:
      return 53;
    case ECONNRESET:
      return 54;
    case ENOBUFS:
      return 55;
    case EISCONN:
      return 56;
    case ENOTCONN:
      return 57;
    case ESHUTDOWN:
      return 58;
    case ETOOMANYREFS:
      return 59;
    case ETIMEDOUT:
      return 60;
    case ECONNREFUSED:
      return 61;
    case ELOOP:
      return 62;
    case ENAMETOOLONG:
      return 63;
    case EHOSTDOWN:
      return 64;
    case EHOSTUNREACH:
      return 65;
    case ENOTEMPTY:
      return 66;
    default:
      return e;
  }
}

StreamError PosixError(int linux_errno) {
  return {ErrorDomain::kPosix, PosixCodeFromErrno(linux_errno)};
}

StreamError NameLookupError(int gai_result, int linux_errno) {
  int code = netdb_code::kFail;
  switch (gai_result) {
    case EAI_AGAIN:
      code = netdb_code::kAgain;
      break;
    case EAI_BADFLAGS:
      code = 3;
      break;
    case EAI_FAIL:
      code = netdb_code::kFail;
      break;
    case EAI_FAMILY:
      code = 5;
      break;
    case EAI_MEMORY:
      code = 6;
      break;
#ifdef EAI_NODATA
    case EAI_NODATA:
      code = netdb_code::kNoData;
      break;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      code = netdb_code::kNoData;
      break;
#endif
    case EAI_NONAME:
      code = netdb_code::kNoName;
      break;
    case EAI_SERVICE:
      code = 9;
      break;
    case EAI_SOCKTYPE:
      code = 10;
      break;
    case EAI_SYSTEM:
      // A system failure inside the lookup is still a lookup failure for the caller.
      code = netdb_code::kSystem;
      break;
    default:
      break;
  }
  return {ErrorDomain::kNetDb, code};
}

std::string DescribeError(const StreamError& error) {
  std::string domain;
  std::string what;
  switch (error.domain) {
    case ErrorDomain::kNone:
      return "no error";
    case ErrorDomain::kCustom:
      domain = "custom";
      break;
    case ErrorDomain::kPosix:
      domain = "POSIX";
      break;
    case ErrorDomain::kMacOsStatus:
      domain = "status";
      break;
    case ErrorDomain::kSsl:
      domain = "TLS";
      break;
    case ErrorDomain::kHttp:
      domain = "HTTP";
      break;
    case ErrorDomain::kFtp:
      domain = "FTP";
      break;
    case ErrorDomain::kNetDb:
      domain = "name lookup";
      break;
  }
  switch (error.domain) {
    case ErrorDomain::kPosix:
      switch (error.code) {
        case posix_code::kBrokenPipe:
          what = "broken pipe";
          break;
        case posix_code::kNetworkDown:
          what = "network down";
          break;
        case posix_code::kNetworkUnreachable:
          what = "network unreachable";
          break;
        case posix_code::kConnectionReset:
          what = "connection reset";
          break;
        case posix_code::kNotConnected:
          what = "not connected";
          break;
        case posix_code::kTimedOut:
          what = "timed out";
          break;
        case posix_code::kConnectionRefused:
          what = "connection refused";
          break;
        case posix_code::kHostUnreachable:
          what = "host unreachable";
          break;
        default:
          break;
      }
      break;
    case ErrorDomain::kNetDb:
      what = error.code == netdb_code::kAgain ? "try again" : "host not found";
      break;
    case ErrorDomain::kSsl:
      switch (error.code) {
        case tls_code::kUnknownRoot:
          what = "unknown root certificate";
          break;
        case tls_code::kUnknownIssuer:
          what = "unknown issuer";
          break;
        case tls_code::kExpired:
          what = "certificate expired";
          break;
        case tls_code::kNotYetValid:
          what = "certificate not yet valid";
          break;
        case tls_code::kHostNameMismatch:
          what = "host name mismatch";
          break;
        case tls_code::kChainInvalid:
          what = "invalid certificate chain";
          break;
        case tls_code::kBadCertificate:
          what = "bad certificate";
          break;
        case tls_code::kClosedAbort:
          what = "connection closed during handshake";
          break;
        default:
          what = "TLS failure";
          break;
      }
      break;
    case ErrorDomain::kHttp:
      switch (error.code) {
        case http_code::kBodyCutShort:
          what = "body cut short";
          break;
        case http_code::kBadResponse:
          what = "bad response";
          break;
        case http_code::kAuthenticationBadUserName:
        case http_code::kAuthenticationBadPassword:
          what = "credentials refused";
          break;
        case http_code::kAuthenticationTypeUnsupported:
          what = "unsupported authentication";
          break;
        case http_code::kRedirectionLoop:
          what = "too many redirects";
          break;
        case http_code::kProxyConnectFailed:
          what = "the proxy refused the tunnel";
          break;
        default:
          break;
      }
      break;
    default:
      break;
  }
  std::string out = domain + " " + std::to_string(error.code);
  if (!what.empty()) out += " (" + what + ")";
  return out;
}

}  // namespace net
