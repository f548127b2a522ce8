#include "platform/net/stream_error_reason.h"

#include <cstring>

namespace net {
namespace {

// The stored POSIX codes are BSD numbers (stream_error.h); the system's own description
// needs the Linux number back. Below 35 both agree.
int LinuxErrnoFromPosixCode(int code) {
  // A Linux number that is translated wins over one passed through unchanged: Linux's 61
  // (ENODATA) is not the stored 61 (ECONNREFUSED).
  for (int e = 1; e < 200; ++e)
    if (e != code && PosixCodeFromErrno(e) == code) return e;
  return code > 0 && code < 35 ? code : 0;
}

std::string PosixReason(int code) {
  const int e = LinuxErrnoFromPosixCode(code);
  // The description, never translated, so that the texts around it match it.
  const char* words = e != 0 ? strerrordesc_np(e) : nullptr;
  if (words != nullptr) return words;
  return "System error " + std::to_string(code);
}

std::string NameLookupReason(int code) {
  switch (code) {
    case netdb_code::kAgain:
      return "The server's name could not be looked up for now (temporary failure in name resolution)";
    case netdb_code::kNoData:
      return "The server's name has no address";
    case netdb_code::kNoName:
      return "The server's name is not known";
    default:
      return "The server's name could not be looked up (name lookup error " + std::to_string(code) + ")";
  }
}

std::string TlsReason(int code) {
  switch (code) {
    case tls_code::kProtocol:
      return "The secure connection failed: protocol error";
    case tls_code::kNegotiation:
      return "The secure connection failed: no common security settings with the server";
    case tls_code::kFatalAlert:
      return "The secure connection failed: the server ended it with an alert";
    case tls_code::kClosedGraceful:
    case tls_code::kClosedAbort:
    case tls_code::kClosedNoNotify:
      return "The server closed the secure connection";
    case tls_code::kChainInvalid:
      return "The server's certificate chain is not valid";
    case tls_code::kBadCertificate:
      return "The server's certificate is not valid";
    case tls_code::kUnknownRoot:
      return "The server's certificate is signed by an authority that is not trusted";
    case tls_code::kUnknownIssuer:
      return "The server's certificate is signed by an unknown authority";
    case tls_code::kExpired:
      return "The server's certificate has expired";
    case tls_code::kNotYetValid:
      return "The server's certificate is not yet valid";
    case tls_code::kHostNameMismatch:
      return "The server's certificate is for another name";
    default:
      return "The secure connection failed (TLS error " + std::to_string(code) + ")";
  }
}

const char* HttpStatusPhrase(int code) {
  switch (code) {
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 402:
      return "Payment Required";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 406:
      return "Not Acceptable";
    case 407:
      return "Proxy Authentication Required";
    case 408:
      return "Request Timeout";
    case 409:
      return "Conflict";
    case 410:
      return "Gone";
    case 411:
      return "Length Required";
    case 412:
      return "Precondition Failed";
    case 413:
      return "Content Too Large";
    case 414:
      return "URI Too Long";
    case 415:
      return "Unsupported Media Type";
    case 416:
      return "Range Not Satisfiable";
    case 429:
      return "Too Many Requests";
    case 451:
      return "Unavailable For Legal Reasons";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    case 504:
      return "Gateway Timeout";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return nullptr;
  }
}

std::string HttpReason(int code) {
  switch (code) {
    case http_code::kAuthenticationTypeUnsupported:
      return "The server asks for a kind of authentication that is not supported";
    case http_code::kAuthenticationBadUserName:
      return "The server refused the user name";
    case http_code::kAuthenticationBadPassword:
      return "The server refused the password";
    case http_code::kBodyCutShort:
      return "The connection ended before the whole file arrived";
    case http_code::kBadResponse:
      return "The server's answer could not be read";
    case http_code::kRedirectionLoop:
      return "The server redirected too many times";
    case http_code::kProxyConnectFailed:
      return "The proxy refused to connect to the server";
    default:
      break;
  }
  if (const char* phrase = HttpStatusPhrase(code))
    return "The server answered " + std::to_string(code) + " " + phrase;
  if (code >= 100 && code < 600) return "The server answered " + std::to_string(code);
  return "HTTP error " + std::to_string(code);
}

std::string FtpReason(int code) {
  switch (code) {
    case 421:
      return "The FTP server closed the connection (421: service not available)";
    case 425:
      return "The FTP server could not open a data connection (425)";
    case 426:
      return "The FTP server ended the transfer (426)";
    case 450:
    case 550:
      return "The FTP server cannot find or open the file (" + std::to_string(code) + ")";
    case 451:
      return "The FTP server failed while reading the file (451)";
    case 452:
      return "The FTP server has no room left (452)";
    case 500:
    case 501:
    case 502:
    case 504:
      return "The FTP server did not accept a command (" + std::to_string(code) + ")";
    case 530:
      return "The FTP server refused the login (530)";
    case 532:
      return "The FTP server needs an account to store files (532)";
    case 553:
      return "The FTP server refused the file name (553)";
    default:
      return "The FTP server answered " + std::to_string(code);
  }
}

}  // namespace

std::string StreamErrorReason(const StreamError& error) {
  switch (error.domain) {
    case ErrorDomain::kNone:
      return "No error";
    case ErrorDomain::kPosix:
      return PosixReason(error.code);
    case ErrorDomain::kNetDb:
      return NameLookupReason(error.code);
    case ErrorDomain::kSsl:
      return TlsReason(error.code);
    case ErrorDomain::kHttp:
      return HttpReason(error.code);
    case ErrorDomain::kFtp:
      return FtpReason(error.code);
    case ErrorDomain::kMacOsStatus:
      return "Error " + std::to_string(error.code);
    case ErrorDomain::kCustom:
      return "Error " + std::to_string(error.code);
  }
  return "Error " + std::to_string(error.code) + " (domain " +
         std::to_string(static_cast<int>(error.domain)) + ")";
}

}  // namespace net
