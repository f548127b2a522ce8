// Every stream error a download can end with reads as words: the stored BSD numbers of the
// socket errors turn into this system's descriptions, the other domains into sentences, and
// a code nobody listed still names its domain and number.
#include "platform/net/stream_error_reason.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace net {
namespace {

TEST(StreamErrorReason, KnownErrorsInWords) {
  struct Case {
    StreamError error;
    std::string words;
  } cases[] = {
      {{ErrorDomain::kPosix, posix_code::kConnectionRefused}, "Connection refused"},
      {{ErrorDomain::kPosix, posix_code::kConnectionReset}, "Connection reset by peer"},
      {{ErrorDomain::kPosix, posix_code::kTimedOut}, "Connection timed out"},
      {{ErrorDomain::kPosix, posix_code::kHostUnreachable}, "No route to host"},
      {{ErrorDomain::kPosix, posix_code::kNetworkUnreachable}, "Network is unreachable"},
      {{ErrorDomain::kPosix, posix_code::kBrokenPipe}, "Broken pipe"},
      {{ErrorDomain::kPosix, 28}, "No space left on device"},  // the same number on both systems
      {{ErrorDomain::kPosix, 13}, "Permission denied"},
      {{ErrorDomain::kNetDb, netdb_code::kNoName}, "The server's name is not known"},
      {{ErrorDomain::kNetDb, netdb_code::kNoData}, "The server's name has no address"},
      {{ErrorDomain::kSsl, tls_code::kExpired}, "The server's certificate has expired"},
      {{ErrorDomain::kSsl, tls_code::kHostNameMismatch}, "The server's certificate is for another name"},
      {{ErrorDomain::kSsl, tls_code::kUnknownRoot},
       "The server's certificate is signed by an authority that is not trusted"},
      {{ErrorDomain::kHttp, 404}, "The server answered 404 Not Found"},
      {{ErrorDomain::kHttp, 503}, "The server answered 503 Service Unavailable"},
      {{ErrorDomain::kHttp, 599}, "The server answered 599"},
      {{ErrorDomain::kHttp, http_code::kBodyCutShort}, "The connection ended before the whole file arrived"},
      {{ErrorDomain::kHttp, http_code::kRedirectionLoop}, "The server redirected too many times"},
      {{ErrorDomain::kFtp, 530}, "The FTP server refused the login (530)"},
      {{ErrorDomain::kFtp, 550}, "The FTP server cannot find or open the file (550)"},
      {{ErrorDomain::kFtp, 999}, "The FTP server answered 999"},
      {{ErrorDomain::kSsl, -9999}, "The secure connection failed (TLS error -9999)"},
      {{ErrorDomain::kNetDb, 77}, "The server's name could not be looked up (name lookup error 77)"},
      {{ErrorDomain::kCustom, 3}, "Error 3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StreamErrorReason(c.error), c.words) << DescribeError(c.error);
  }
}

// Every error the sockets can report, as stored, has its own description: none reads as a
// bare number.
TEST(StreamErrorReason, EverySocketErrorHasWords) {
  for (int e :
       {EPIPE,        EAGAIN,     EINPROGRESS, EADDRINUSE, EADDRNOTAVAIL, ENETDOWN,  ENETUNREACH,  ENETRESET,
        ECONNABORTED, ECONNRESET, ENOBUFS,     ENOTCONN,   ESHUTDOWN,     ETIMEDOUT, ECONNREFUSED, EHOSTDOWN,
        EHOSTUNREACH, EMFILE,     ENOMEM,      EIO,        ENOSPC,        EACCES}) {
    const StreamError stored = PosixError(e);
    const std::string words = StreamErrorReason(stored);
    EXPECT_FALSE(words.empty()) << e;
    EXPECT_EQ(words.find(std::to_string(stored.code)), std::string::npos) << words;
  }
}

}  // namespace
}  // namespace net
