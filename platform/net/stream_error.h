#pragma once
// Stream errors as {domain, code} pairs, the one place where system error numbers
// become the numbers the rest of the program compares against and stores.
//
// The program keeps error codes in its queue file and tests them by value, and those
// values are the ones of a BSD-derived system: POSIX codes such as ECONNRESET are 54
// there and 104 on Linux. `PosixError` maps Linux errno values to those numbers (codes
// below 35 are the same on both and pass through unchanged). Name-lookup failures live in
// their own domain with the BSD getaddrinfo numbers (EAI_NONAME 8, EAI_NODATA 7...), so a
// caller can tell "no such host" from "connection refused". TLS failures use the
// negative status codes of the TLS domain listed below; HTTP authentication failures use
// the HTTP domain.

#include <string>

namespace net {

enum class ErrorDomain : int {
  kNone = 0,
  kCustom = -1,
  kPosix = 1,
  kMacOsStatus = 2,
  kSsl = 3,
  kHttp = 4,
  kFtp = 5,
  kNetDb = 12,
};

struct StreamError {
  ErrorDomain domain = ErrorDomain::kNone;
  int code = 0;

  bool IsError() const { return domain != ErrorDomain::kNone; }
  explicit operator bool() const { return IsError(); }
  bool operator==(const StreamError&) const = default;
};

// POSIX error numbers as stored and tested (BSD numbering).
namespace posix_code {
inline constexpr int kBrokenPipe = 32;          // EPIPE
inline constexpr int kWouldBlock = 35;          // EAGAIN
inline constexpr int kInProgress = 36;          // EINPROGRESS
inline constexpr int kAddressInUse = 48;        // EADDRINUSE
inline constexpr int kNetworkDown = 50;         // ENETDOWN
inline constexpr int kNetworkUnreachable = 51;  // ENETUNREACH
inline constexpr int kConnectionAborted = 53;   // ECONNABORTED
inline constexpr int kConnectionReset = 54;     // ECONNRESET
inline constexpr int kNotConnected = 57;        // ENOTCONN
inline constexpr int kTimedOut = 60;            // ETIMEDOUT
inline constexpr int kConnectionRefused = 61;   // ECONNREFUSED
inline constexpr int kHostUnreachable = 65;     // EHOSTUNREACH
}  // namespace posix_code

// Name-lookup codes (BSD getaddrinfo numbering).
namespace netdb_code {
inline constexpr int kAgain = 2;
inline constexpr int kFail = 4;
inline constexpr int kNoData = 7;  // also what a proxy's "DNS failure" page is reported as
inline constexpr int kNoName = 8;
inline constexpr int kSystem = 11;
}  // namespace netdb_code

// TLS status codes.
namespace tls_code {
inline constexpr int kProtocol = -9800;
inline constexpr int kNegotiation = -9801;
inline constexpr int kFatalAlert = -9802;
inline constexpr int kWouldBlock = -9803;
inline constexpr int kClosedGraceful = -9805;
inline constexpr int kClosedAbort = -9806;
inline constexpr int kChainInvalid = -9807;
inline constexpr int kBadCertificate = -9808;
inline constexpr int kCrypto = -9809;
inline constexpr int kInternal = -9810;
inline constexpr int kUnknownRoot = -9812;    // a valid chain to a root nobody trusts
inline constexpr int kUnknownIssuer = -9813;  // the chain does not reach any root
inline constexpr int kExpired = -9814;
inline constexpr int kNotYetValid = -9815;
inline constexpr int kClosedNoNotify = -9816;
inline constexpr int kHostNameMismatch = -9843;
}  // namespace tls_code

// HTTP-domain codes that are not status codes.
namespace http_code {
inline constexpr int kAuthenticationTypeUnsupported = -1000;
inline constexpr int kAuthenticationBadUserName = -1001;
inline constexpr int kAuthenticationBadPassword = -1002;
inline constexpr int kBodyCutShort = -1003;  // the connection ended inside the body
inline constexpr int kBadResponse = -1004;   // the head could not be parsed
inline constexpr int kRedirectionLoop = -1005;
inline constexpr int kProxyConnectFailed = -1006;  // CONNECT answered with something else than 2xx/407
}  // namespace http_code

// A Linux errno value as the stored POSIX code.
int PosixCodeFromErrno(int linux_errno);
StreamError PosixError(int linux_errno);
// A getaddrinfo() result (EAI_*; EAI_SYSTEM uses `linux_errno`) as a name-lookup error.
StreamError NameLookupError(int gai_result, int linux_errno = 0);

// A short English description for logs and test failures ("POSIX 54 (connection reset)").
std::string DescribeError(const StreamError& error);

}  // namespace net
