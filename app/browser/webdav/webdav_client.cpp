#include "app/browser/webdav/webdav_client.h"

#include <chrono>

#include "app/engine/network/accepted_certificates.h"
#include "platform/net/byte_stream.h"
#include "platform/net/http_read_stream.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/url.h"
#include "platform/values/url_escape.h"
#include "platform/values/uuid.h"

namespace browser {

namespace {

// Characters that are legal in a URL but would change what a path means: an item named
// "a#b", "50%" or "x?y" must reach the server as that name.
constexpr std::string_view kForceEscapedInPath = "%#?;";

// A probe is only a courtesy to the server: one that is not answered soon is given up and
// the request goes out without it (lighttpd answers OPTIONS on a missing resource with a
// chunked body it never ends). A request that hears nothing for a minute has failed.
constexpr auto kProbeWait = std::chrono::seconds(3);
constexpr auto kSilenceWait = std::chrono::seconds(60);

// Destroys a stream after the callback that asked for it has returned.
void DiscardStream(std::shared_ptr<net::HttpReadStream> stream) {
  if (!stream) return;
  stream->Close();
  runtime::RunLoop::Current()->Perform([stream = std::move(stream)]() mutable { stream.reset(); });
}

bool QuestionFor(int sslCode) {
  switch (sslCode) {
    case net::tls_code::kHostNameMismatch:
    case net::tls_code::kNotYetValid:
    case net::tls_code::kBadCertificate:
    case net::tls_code::kChainInvalid:
    case net::tls_code::kExpired:
    case net::tls_code::kUnknownIssuer:
    case net::tls_code::kUnknownRoot:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---- TRWebDAVTransaction

TRWebDAVTransaction::TRWebDAVTransaction(TRWebDAVConnection* parent, net::HttpRequest request,
                                         std::string path, bool secure, int transactionType)
    : path_(std::move(path)),
      transactionID_(values::NewUuidString()),
      request_(std::move(request)),
      parent_(parent),
      buffer_(kBufferSize),
      transactionType_(transactionType),
      secure_(secure) {}

TRWebDAVTransaction::~TRWebDAVTransaction() {
  if (silence_) silence_->Invalidate();
  DiscardStream(std::move(stream_));
}

void TRWebDAVTransaction::run() {
  if (stream_) return;
  doingOptionsRequest_ = false;
  const auto& auth = parent_->authenticationRef();
  std::optional<net::HttpRequest> probe;
  if (auth) {
    request_.Headers().Remove("Authorization");
    auth->ApplyCredentials(request_, parent_->user(), parent_->password());
  } else if (!established_) {
    probe.emplace("OPTIONS", request_.Url());
    doingOptionsRequest_ = true;
  }
  stream_ = std::make_shared<net::HttpReadStream>(probe ? *probe : request_);
  std::weak_ptr<TRWebDAVTransaction> weak = weak_from_this();
  stream_->SetClient(net::kEventHasBytes | net::kEventError | net::kEventEnd, [weak](net::StreamEvent event) {
    if (auto self = weak.lock()) self->handleCallback(event);
  });
  if (secure_) {
    const bool accepted = engine::CopyAcceptedCertificateData(request_.Url()).has_value();
    stream_->SetValidateChain(!accepted);
  }
  certsValidated_ = false;
  response_.reset();
  responseBody_.clear();
  done_ = false;
  armSilenceTimer();
  if (!stream_->Open()) {
    // Reported from the run loop, as every outcome is: the caller registers the
    // operation after this returns.
    error_ = stream_->Error();
    if (!error_) error_ = {net::ErrorDomain::kPosix, net::posix_code::kNotConnected};
    DiscardStream(std::move(stream_));
    runtime::RunLoop::Current()->Perform([weak] {
      if (auto self = weak.lock(); self && !self->ended_) self->handleError();
    });
  }
}

void TRWebDAVTransaction::armSilenceTimer() {
  if (silence_) silence_->Invalidate();
  std::weak_ptr<TRWebDAVTransaction> weak = weak_from_this();
  silence_ = runtime::Timer::Create(doingOptionsRequest_ ? kProbeWait : kSilenceWait, runtime::Nanoseconds(0),
                                    [weak](runtime::Timer&) {
                                      auto self = weak.lock();
                                      if (!self || self->ended_ || !self->stream_) return;
                                      self->error_ = {net::ErrorDomain::kPosix, net::posix_code::kTimedOut};
                                      self->handleError();
                                    });
  runtime::RunLoop::Current()->AddTimer(silence_);
}

void TRWebDAVTransaction::killStream() {
  if (silence_) silence_->Invalidate();
  DiscardStream(std::move(stream_));
}

void TRWebDAVTransaction::abort() {
  auto self = shared_from_this();
  killStream();
  done_ = true;
  if (ended_) return;
  ended_ = true;
  parent_->transactionAborted(*this);
}

int TRWebDAVTransaction::errorType() const {
  switch (error_.domain) {
    case net::ErrorDomain::kNone:
      return kDMErrorNone;
    case net::ErrorDomain::kHttp:
      switch (error_.code) {
        case 401:
        case 403:
        case 503:
          return kDMErrorLoginRefused;
        case 404:
          return kDMErrorNotFound;
        case 507:
          return kDMErrorOutOfSpace;
        default:
          return kDMErrorOther;
      }
    case net::ErrorDomain::kNetDb:
    case net::ErrorDomain::kPosix:
    case net::ErrorDomain::kSsl:
      return kDMErrorNoConnection;
    default:
      return kDMErrorOther;
  }
}

int TRWebDAVTransaction::httpStatusCode() const {
  return response_ ? response_->StatusCode() : -1;
}

bool TRWebDAVTransaction::certificateStillAccepted() {
  const net::CertificateChain& chain = stream_->PeerCertificates();
  if (chain.empty()) return true;
  auto accepted = engine::CopyAcceptedCertificateData(request_.Url());
  if (!accepted) return true;
  return chain.front().Der() == std::vector<std::uint8_t>(accepted->begin(), accepted->end());
}

void TRWebDAVTransaction::handleCallback(unsigned event) {
  if (!stream_ || ended_) return;
  if (!doingOptionsRequest_) armSilenceTimer();
  if (event & net::kEventHasBytes) {
    handleBytes();
  } else if (event & net::kEventError) {
    error_ = stream_->Error();
    handleError();
  } else if (event & net::kEventEnd) {
    handleDone();
  }
}

bool TRWebDAVTransaction::checkCertificate() {
  if (certsValidated_ || !secure_) return true;
  if (!certificateStillAccepted()) {
    error_ = {net::ErrorDomain::kSsl, net::tls_code::kBadCertificate};
    handleError();
    return false;
  }
  certsValidated_ = true;
  return true;
}

void TRWebDAVTransaction::handleBytes() {
  if (!checkCertificate()) return;
  bool readAny = false;
  std::ptrdiff_t n = 0;
  while (stream_ && (n = stream_->Read(buffer_.data(), buffer_.size())) > 0) {
    readAny = true;
    responseBody_.append(buffer_.data(), static_cast<std::size_t>(n));
    if (responseBody_.size() > kMaxReplySize) {
      // No listing is this large; a server sending without end must not fill memory.
      error_ = {net::ErrorDomain::kCustom, -1};
      handleError();
      return;
    }
  }
  if (stream_ && n == net::kStreamFailed && !readAny) {
    error_ = stream_->Error();
    handleError();
  }
}

void TRWebDAVTransaction::handleDone() {
  // An empty reply brings no bytes event: the server's certificate is checked here then.
  if (stream_ && !checkCertificate()) return;
  if (doingOptionsRequest_) established_ = true;
  done_ = true;
  const net::HttpResponseHead* head = stream_ ? stream_->ResponseHead() : nullptr;
  if (head == nullptr) {
    error_ = {net::ErrorDomain::kHttp, net::http_code::kBadResponse};
    handleError();
    return;
  }
  response_ = *head;
  const int status = head->StatusCode();
  if (status == 200 || status == 201 || status == 204 || status == 207) {
    if (doingOptionsRequest_) {
      killStream();
      run();
    } else {
      killStream();
      handleSuccess();
    }
    return;
  }
  if (status == 401) {
    killStream();
    if (++authenticationRounds_ > kMaxAuthenticationRounds) {
      error_ = {net::ErrorDomain::kHttp, 401};
      handleError();
      return;
    }
    const auto& auth = parent_->authenticationRef();
    net::StreamError why;
    if (auth && auth->IsValid(&why)) {
      run();
      return;
    }
    if (auth && (why.code == net::http_code::kAuthenticationBadUserName ||
                 why.code == net::http_code::kAuthenticationBadPassword)) {
      error_ = {net::ErrorDomain::kHttp, 401};
      handleError();
      return;
    }
    auto fresh = net::HttpAuthentication::CreateFromResponse(*response_);
    if (!fresh || !fresh->IsValid()) {
      // A challenge this client cannot answer: the server will not let it in.
      error_ = {net::ErrorDomain::kHttp, 401};
      handleError();
      return;
    }
    parent_->setAuthenticationRef(std::move(fresh));
    run();
    return;
  }
  error_ = {net::ErrorDomain::kHttp, status};
  handleError();
}

void TRWebDAVTransaction::handleSuccess() {
  auto self = shared_from_this();
  if (transactionType_ == kList) {
    parsePropFindXML();
    if (!result_) {
      handleError();
      return;
    }
  }
  if (ended_) return;
  ended_ = true;
  parent_->transactionSuccessful(*this);
}

void TRWebDAVTransaction::handleError() {
  auto self = shared_from_this();
  if (ended_) return;
  bool declined = false;
  if (error_.domain == net::ErrorDomain::kSsl && QuestionFor(error_.code) && stream_) {
    const net::CertificateChain chain = stream_->PeerCertificates();
    killStream();
    if (!chain.empty()) {
      if (engine::AskUserToTrustCertificate(chain, request_.Url().AbsoluteString(), error_.code, false) ==
          1) {
        error_ = {};
        run();
        return;
      }
      declined = true;
    }
  }
  killStream();
  // Asked once is enough: a declined certificate is not put to the user again for the
  // request behind the probe.
  if (doingOptionsRequest_ && !declined) {
    // A server that cannot answer OPTIONS may still answer the request itself.
    established_ = true;
    error_ = {};
    response_.reset();
    run();
    return;
  }
  ended_ = true;
  parent_->transactionHadError(*this);
}

bool TRWebDAVTransaction::parsePropFindXML() {
  PropFindParse parsed = ParsePropFindListing(responseBody_, parent_->rootPath(), path_);
  if (!parsed.ok) {
    error_ = {net::ErrorDomain::kCustom, parsed.errorCode};
    result_.reset();
    return false;
  }
  result_ = std::move(parsed.entries);
  return true;
}

// ---- TRWebDAVConnection

TRWebDAVConnection::TRWebDAVConnection(std::string host, std::string rootPath, std::string user,
                                       std::string password, bool secure)
    : userName_(std::move(user)), password_(std::move(password)), secure_(secure) {
  if (host.starts_with("http://")) {
    host.erase(0, 7);
  } else if (host.starts_with("https://")) {
    host.erase(0, 8);
  }
  if (host.ends_with('/')) host.pop_back();
  host_ = std::move(host);
  if (!rootPath.starts_with('/')) rootPath = "/" + rootPath;
  if (rootPath.ends_with('/')) rootPath.pop_back();
  rootPath_ = std::move(rootPath);
}

TRWebDAVConnection::~TRWebDAVConnection() {
  cancelAllTransactions();
  cancelAllPrivateTransactions();
  privateTransactions_.clear();
  authenticationRef_.reset();
}

std::string TRWebDAVConnection::urlForPath(const std::string& path) const {
  const std::string joined = rootPath_ + path;
  const std::string escaped = values::PercentEscape(joined, {}, kForceEscapedInPath).value_or(joined);
  return std::string(secure_ ? "https" : "http") + "://" + host_ + escaped;
}

std::shared_ptr<TRWebDAVTransaction> TRWebDAVConnection::transactionForXML(
    const std::optional<std::string>& body, const std::string& method, const std::string& path,
    const std::vector<std::pair<std::string, std::string>>& headers, int transactionType) {
  auto url = values::Url::Create(urlForPath(path));
  if (!url || !url->Host()) return nullptr;
  net::HttpRequest request(method, *url);
  if (body) {
    request.SetBody(*body);
    request.SetHeader("Content-Type", "text/xml");
  }
  for (const auto& [name, value] : headers) request.SetHeader(name, value);
  request.SetHeader("Connection", "close");
  auto transaction =
      std::make_shared<TRWebDAVTransaction>(this, std::move(request), path, secure_, transactionType);
  privateTransactions_[transaction->transactionID()] = transaction;
  return transaction;
}

TRDotMacTransactionRef TRWebDAVConnection::start(std::shared_ptr<TRWebDAVTransaction> transaction) {
  if (!transaction) return nullptr;
  transaction->run();
  return transaction;
}

TRDotMacTransactionRef TRWebDAVConnection::moveResourceAtPath(const std::string& source,
                                                              const std::string& destination) {
  return start(transactionForXML(std::nullopt, "MOVE", source,
                                 {{"Destination", urlForPath(destination)}, {"Overwrite", "F"}},
                                 TRWebDAVTransaction::kMove));
}

TRDotMacTransactionRef TRWebDAVConnection::copyResourceAtPath(const std::string& source,
                                                              const std::string& destination) {
  return start(transactionForXML(std::nullopt, "COPY", source,
                                 {{"Destination", urlForPath(destination)}, {"Overwrite", "F"}},
                                 TRWebDAVTransaction::kCopy));
}

TRDotMacTransactionRef TRWebDAVConnection::listCollectionAtPath(const std::string& path) {
  return start(transactionForXML(std::string(kPropFindListingBody), "PROPFIND", path, {{"Depth", "1"}},
                                 TRWebDAVTransaction::kList));
}

TRDotMacTransactionRef TRWebDAVConnection::makeCollectionAtPath(const std::string& path) {
  return start(transactionForXML(std::nullopt, "MKCOL", path, {}, TRWebDAVTransaction::kMakeCollection));
}

TRDotMacTransactionRef TRWebDAVConnection::deleteResourceAtPath(const std::string& path) {
  return start(transactionForXML(std::nullopt, "DELETE", path, {}, TRWebDAVTransaction::kDelete));
}

void TRWebDAVConnection::cleanupTransaction(TRDotMacTransaction& transaction) {
  auto it = privateTransactions_.find(transaction.transactionID());
  if (it == privateTransactions_.end()) return;
  auto held = it->second;  // alive until the outcome has been told
  held->killStream();
  privateTransactions_.erase(it);
}

void TRWebDAVConnection::transactionSuccessful(TRDotMacTransaction& transaction) {
  cleanupTransaction(transaction);
  TRDotMacNodeConnection::transactionSuccessful(transaction);
}

void TRWebDAVConnection::transactionHadError(TRDotMacTransaction& transaction) {
  cleanupTransaction(transaction);
  TRDotMacNodeConnection::transactionHadError(transaction);
}

void TRWebDAVConnection::transactionAborted(TRDotMacTransaction& transaction) {
  cleanupTransaction(transaction);
  TRDotMacNodeConnection::transactionAborted(transaction);
}

void TRWebDAVConnection::cancelAllPrivateTransactions() {
  std::vector<std::shared_ptr<TRWebDAVTransaction>> pending;
  for (const auto& [id, transaction] : privateTransactions_) pending.push_back(transaction);
  for (const auto& transaction : pending) transaction->abort();
}

}  // namespace browser
