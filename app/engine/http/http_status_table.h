#pragma once
// What a download connection does with each HTTP status.
//
// Only 2xx answers carry the file: 200 (and the other 2xx) the whole file or what a
// range check decides, 206 a range. Every other answer's body is a page about the answer
// and never reaches the file: a 3xx is followed (Location), 401 and 407 are answered
// with credentials, 421 and 503 mean "fewer connections, later", 499 "again at once",
// and everything else (404, 400, 304 without a usable Location, 5xx) fails the mirror.

namespace engine {

enum class HttpStatusAction {
  kBody,               // 200 and the other 2xx but 206
  kPartialBody,        // 206
  kRedirect,           // 300-399
  kAuthenticate,       // 401
  kProxyAuthenticate,  // 407
  kBusy,               // 421, 503: one connection fewer wanted, retry in 25 s
  kRetryNow,           // 499: a new connection at once
  kFail,               // the mirror fails
};

HttpStatusAction ActionForStatus(int status);

}  // namespace engine
