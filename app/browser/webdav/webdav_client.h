#pragma once
// The program's own WebDAV client: one server with the user's credentials
// (`TRWebDAVConnection`) and one HTTP exchange at a time per operation
// (`TRWebDAVTransaction`), on the main thread's run loop.
//
// An exchange goes out on a fresh connection ("Connection: close"). Until the connection
// has learnt an authentication object from a 401, a transaction first sends an OPTIONS
// probe without credentials; once a challenge came, every request carries credentials
// from the start. A 401 makes a new object from the challenge (Digest is chosen over
// Basic when a server offers both, so a password does not cross plain http in clear) and
// sends again; credentials the server refused end the transaction with 401, and a server
// that keeps challenging credentials it calls valid ends it after kMaxAuthenticationRounds.
// A probe that fails is not reported: the request goes out without it.
//
// Over https a certificate the chain check refuses is put to the user; accepted, it is
// kept for this run and the request goes out again, comparing the server's certificate
// with the accepted one from then on. MOVE and COPY send "Overwrite: F": an existing item
// at the destination is never replaced, the server answers 412 and the operation fails.
//
// A probe not answered within a few seconds is dropped like a refused one, and an exchange
// that hears nothing from the server for a minute fails (timed out, a connection error).
//
// The reply body is kept whole, up to kMaxReplySize; a listing is read by
// ParsePropFindListing. A reply ends only when its framing says so: a connection that is
// cut or reset before the last byte of the body fails the exchange.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/browser/webdav/dotmac_connection.h"
#include "platform/net/http_authentication.h"
#include "platform/net/http_message.h"
#include "platform/net/stream_error.h"

namespace net {
class HttpReadStream;
}
namespace runtime {
class Timer;
}

namespace browser {

class TRWebDAVConnection;

inline constexpr const char* kPropFindListingBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><x0:propfind xmlns:x0=\"DAV:\"><x0:prop><x0:getlastmodified/>"
    "<x0:getcontentlength/><x0:getcontenttype/><x0:lockdiscovery/><x0:resourcetype/><x0:displayname/>"
    "</x0:prop></x0:propfind>";

class TRWebDAVTransaction : public TRDotMacTransaction,
                            public std::enable_shared_from_this<TRWebDAVTransaction> {
 public:
  enum Type { kMove = 1, kCopy = 2, kList = 3, kMakeCollection = 4, kDelete = 5 };
  static constexpr std::size_t kBufferSize = 32768;
  static constexpr std::size_t kMaxReplySize = kMaxMultistatusSize;
  // Challenges answered within one transaction before it gives up.
  static constexpr int kMaxAuthenticationRounds = 4;

  TRWebDAVTransaction(TRWebDAVConnection* parent, net::HttpRequest request, std::string path, bool secure,
                      int transactionType);
  ~TRWebDAVTransaction() override;

  // Starts (or starts again) the exchange; nothing while a stream is open.
  void run();
  void abort() override;
  void killStream();

  std::string transactionID() const override { return transactionID_; }
  int errorType() const override;
  int httpStatusCode() const override;
  const std::optional<std::vector<DMListingEntry>>& result() const override { return result_; }

  const std::string& path() const { return path_; }
  void setPath(std::string path) { path_ = std::move(path); }
  void setResponseBody(std::string body) { responseBody_ = std::move(body); }
  net::StreamError error() const { return error_; }
  int transactionType() const { return transactionType_; }
  const net::HttpRequest& request() const { return request_; }
  bool done() const { return done_; }
  // Reads `responseBody` as a multistatus listing into `result`; false (with the
  // parser's error in domain -1) when it is not one.
  bool parsePropFindXML();

 private:
  void handleCallback(unsigned event);
  void handleBytes();
  void handleDone();
  void handleSuccess();
  void handleError();
  // The accepted certificate for the host, when it differs from the server's: false.
  bool certificateStillAccepted();
  // false when the certificate was refused (the error is then handled).
  bool checkCertificate();
  // Ends a probe that is not answered soon, and an exchange that hears nothing for long.
  void armSilenceTimer();

  net::StreamError error_;
  std::string path_;
  std::string transactionID_;
  std::optional<net::HttpResponseHead> response_;
  net::HttpRequest request_;
  std::shared_ptr<net::HttpReadStream> stream_;
  std::shared_ptr<runtime::Timer> silence_;
  TRWebDAVConnection* parent_;
  std::vector<char> buffer_;
  std::string responseBody_;
  bool done_ = false;
  int transactionType_;
  std::optional<std::vector<DMListingEntry>> result_;
  bool certsValidated_ = false;
  bool secure_;
  bool established_ = false;
  bool doingOptionsRequest_ = false;
  int authenticationRounds_ = 0;
  bool ended_ = false;  // the parent was told the outcome
};

class TRWebDAVConnection : public TRDotMacNodeConnection {
 public:
  TRWebDAVConnection(std::string host, std::string rootPath, std::string user, std::string password,
                     bool secure);
  ~TRWebDAVConnection() override;

  std::string host() const override { return host_; }
  std::string user() const override { return userName_; }
  std::string password() const override { return password_; }
  const std::string& rootPath() const { return rootPath_; }
  const std::shared_ptr<net::HttpAuthentication>& authenticationRef() const { return authenticationRef_; }
  bool secure() const override { return secure_; }
  void setHost(std::string host) { host_ = std::move(host); }
  void setUsername(std::string user) { userName_ = std::move(user); }
  void setPassword(std::string password) { password_ = std::move(password); }
  void setRootPath(std::string rootPath) { rootPath_ = std::move(rootPath); }
  void setAuthenticationRef(std::shared_ptr<net::HttpAuthentication> auth) {
    authenticationRef_ = std::move(auth);
  }
  void setSecure(bool secure) { secure_ = secure; }

  std::string iDiskName() const override { return host_; }
  std::string type() const override { return "webdav"; }
  std::string urlForPath(const std::string& path) const override;

  std::shared_ptr<TRWebDAVTransaction> transactionForXML(
      const std::optional<std::string>& body, const std::string& method, const std::string& path,
      const std::vector<std::pair<std::string, std::string>>& headers, int transactionType);

  TRDotMacTransactionRef moveResourceAtPath(const std::string& source,
                                            const std::string& destination) override;
  TRDotMacTransactionRef copyResourceAtPath(const std::string& source,
                                            const std::string& destination) override;
  TRDotMacTransactionRef listCollectionAtPath(const std::string& path) override;
  TRDotMacTransactionRef makeCollectionAtPath(const std::string& path) override;
  TRDotMacTransactionRef deleteResourceAtPath(const std::string& path) override;

  void transactionSuccessful(TRDotMacTransaction& transaction) override;
  void transactionHadError(TRDotMacTransaction& transaction) override;
  void transactionAborted(TRDotMacTransaction& transaction) override;
  void cancelAllPrivateTransactions();

  const std::map<std::string, std::shared_ptr<TRWebDAVTransaction>>& privateTransactions() const {
    return privateTransactions_;
  }

 private:
  void cleanupTransaction(TRDotMacTransaction& transaction);
  TRDotMacTransactionRef start(std::shared_ptr<TRWebDAVTransaction> transaction);

  std::string host_;
  std::string userName_;
  std::string password_;
  std::string rootPath_;
  std::shared_ptr<net::HttpAuthentication> authenticationRef_;
  bool secure_;
  std::map<std::string, std::shared_ptr<TRWebDAVTransaction>> privateTransactions_;
};

}  // namespace browser
