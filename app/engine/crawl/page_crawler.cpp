// The page crawler: reads a web page and the pages it links to, level by level, one page
// at a time, on the task's own run loop, and reports the files it finds.
//
// A level is the frontier of pages found on the level before (frames join the level they
// were found on). Each page is read over HTTP with redirects followed; its head decides
// whether the page itself is a file (by its extension or type), a document to parse, or
// nothing. The start page's status is the scan's result.
//
// The loop runs in one-second slices, so the cancel source, the idle bound of a page and
// the bound of the whole scan are all served within about a second.

#include <algorithm>
#include <optional>

#include "app/engine/crawl/crawl_events.h"
#include "app/engine/crawl/crawl_request.h"
#include "app/engine/crawl/page_crawl_links.h"
#include "app/engine/http/cookies_and_proxy_credentials.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/url_utilities.h"
#include "platform/net/http_authentication.h"
#include "platform/net/http_read_stream.h"
#include "platform/runtime/clock.h"

namespace engine {
namespace {

using Clock = std::chrono::steady_clock;

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

// The extension a response names for its file: Content-Disposition's filename, else the
// final URL's path extension.
std::optional<std::string> ResponseExtension(const net::HttpResponseHead& head,
                                             const values::Url& final_url) {
  if (auto disposition = head.Header("Content-Disposition")) {
    const std::string lower = LowerAscii(*disposition);
    const std::size_t at = lower.find("filename=");
    if (at != std::string::npos) {
      std::string name = disposition->substr(at + 9);
      if (const std::size_t semi = name.find(';'); semi != std::string::npos) name.resize(semi);
      const std::size_t dot = name.rfind('.');
      if (dot == std::string::npos) return std::nullopt;
      std::string ext = name.substr(dot + 1);
      while (!ext.empty() && (ext.back() == '"' || ext.back() == ' ')) ext.pop_back();
      return ext;
    }
  }
  return final_url.PathExtension();
}

bool IsParsedType(const std::string& lower_type) {
  for (const char* type : {"text/html", "text/xml", "application/xhtml+xml", "application/xml",
                           "application/atom+xml", "application/rss+xml"})
    if (lower_type.find(type) != std::string::npos) return true;
  return false;
}

enum class PageOutcome {
  kParsed,    // read (parsed or not), nothing more to do
  kNoAnswer,  // the connection failed or went idle: may be asked again
  kNotSent,   // credentials were missing: the status says which (401, 407)
  kAborted,
};

class PageCrawl {
 public:
  explicit PageCrawl(CrawlRequestRef request) : request_(std::move(request)) {}

  std::int32_t Run();

 private:
  struct Page {
    std::string url;
    std::string referer;
    std::int32_t level = 0;
    int status = 0;
  };

  bool ShouldStop() const { return request_->aborted || Clock::now() >= deadline_; }
  PageOutcome Fetch(Page& page);
  // Reads the page until it ends, fails or goes idle; the stream's head handled on the way.
  PageOutcome Read(Page& page, net::HttpReadStream& stream, bool& retry_with_credentials);
  // The head is in: false when the body is not wanted.
  bool HandleHead(Page& page, net::HttpReadStream& stream, bool& retry_with_credentials);
  void Finish(Page& page, const std::string& data);
  void TakeFile(const Page& page, const std::string& url_text);
  std::string WithScanCredentials(const values::Url& url) const;

  CrawlRequestRef request_;
  std::shared_ptr<runtime::RunLoop> loop_;
  Clock::time_point deadline_;
  CrawlTables tables_;
  CrawlLinkRules rules_;
  std::optional<util::CompiledRegex> regex_;
  std::optional<values::Url> startURL_;
  std::optional<values::Url> startFolder_;
  std::shared_ptr<net::HttpAuthentication> serverAuth_;
  std::shared_ptr<net::HttpAuthentication> proxyAuth_;
  std::size_t pagesRead_ = 0;
  bool nothingFound_ = true;
  // Set while a page's body is wanted.
  values::TextEncoding encoding_ = values::TextEncoding::IsoLatin1();
  std::optional<values::Url> finalURL_;
};

std::string PageCrawl::WithScanCredentials(const values::Url& url) const {
  const std::string plain = util::CopyURLStringWithoutUserInfo(url).value_or(url.String());
  if (!rules_.user || rules_.user->empty()) return plain;
  return util::CopyURLStringWithCredentials(plain, rules_.user, rules_.password).value_or(plain);
}

void PageCrawl::TakeFile(const Page& page, const std::string& url_text) {
  nothingFound_ = false;
  CrawlPostResults(*request_, {url_text}, page.url, false);
}

PageOutcome PageCrawl::Fetch(Page& page) {
  tables_.visited[page.url] = page.level;
  encoding_ = values::TextEncoding::IsoLatin1();
  finalURL_.reset();
  const std::optional<values::Url> url = values::Url::Create(page.url);
  if (!url || !url->Host()) return PageOutcome::kParsed;

  int attempts_left = kCrawlPageRetries + 1;
  // A 401 or 407 asks once more with credentials; an authentication refused again turns
  // invalid, which ends the page.
  int auth_rounds = 0;
  while (true) {
    if (ShouldStop()) return PageOutcome::kAborted;
    net::HttpRequest http("GET", *url);
    if (page.referer.size() >= 3) http.SetHeader("Referer", page.referer);
    const bool has_credentials = rules_.user && rules_.password;
    if (serverAuth_) {
      if (!has_credentials) {
        page.status = 401;
        return PageOutcome::kNotSent;
      }
      serverAuth_->ApplyCredentials(http, *rules_.user, *rules_.password);
    }
    http.SetHeader("User-Agent", util::CurrentSettings()->userAgent);
    if (proxyAuth_) {
      const ProxyCredentials proxy = CopyHTTPProxyCredentials();
      if (!proxy.user || !proxy.password) {
        page.status = 407;
        return PageOutcome::kNotSent;
      }
      proxyAuth_->ApplyCredentials(http, *proxy.user, *proxy.password);
    }
    net::HttpReadStream stream(std::move(http));
    stream.SetAutoRedirect(true);
    stream.SetKeepAlive(true);
    bool retry_with_credentials = false;
    const PageOutcome outcome = Read(page, stream, retry_with_credentials);
    stream.Close();
    if (outcome == PageOutcome::kAborted) return outcome;
    if (retry_with_credentials && ++auth_rounds <= 2) continue;
    if (outcome != PageOutcome::kNoAnswer) return outcome;
    // A page that cannot be read is asked again a few times, a little apart, then dropped.
    if (--attempts_left <= 0) return PageOutcome::kNoAnswer;
    const Clock::time_point resume = Clock::now() + kCrawlRetryDelay;
    while (Clock::now() < resume && !ShouldStop()) loop_->RunFor(runtime::DurationToNanoseconds(100), false);
  }
}

bool PageCrawl::HandleHead(Page& page, net::HttpReadStream& stream, bool& retry_with_credentials) {
  const net::HttpResponseHead& head = *stream.ResponseHead();
  finalURL_ = stream.FinalUrl();
  tables_.visited[finalURL_->String()] = page.level;
  page.status = head.StatusCode();
  if (page.status == 401 || page.status == 407) {
    auto& slot = page.status == 401 ? serverAuth_ : proxyAuth_;
    if (!slot) {
      slot = net::HttpAuthentication::CreateFromResponse(head);
      retry_with_credentials = slot != nullptr;
    } else {
      retry_with_credentials = slot->IsValid();
    }
    return false;
  }
  if (page.status < 200 || page.status > 299) return false;

  const values::Url& final_url = *finalURL_;
  const std::optional<std::string> content_type = head.Header("Content-Type");
  const std::string lower_type = LowerAscii(content_type.value_or(""));
  const std::optional<std::string> ext = ResponseExtension(head, final_url);
  auto take_self = [&]() -> bool {
    const std::string text = WithScanCredentials(final_url);
    if (!tables_.resultsTaken.insert(text).second) return false;
    if (!CrawlFilterPasses(text, rules_)) return false;
    TakeFile(page, text);
    return true;
  };
  if (rules_.extensionList && ext && !ext->empty()) {
    const std::string lower = LowerAscii(*ext);
    const auto& list = *rules_.extensionList;
    if (std::find(list.begin(), list.end(), "*") != list.end() ||
        std::find(list.begin(), list.end(), lower) != list.end()) {
      if (take_self()) return false;
    }
  } else if (!rules_.extensionList && lower_type.find("application/") != std::string::npos &&
             !IsParsedType(lower_type)) {
    if (take_self()) return false;
  }
  if (!content_type || !IsParsedType(lower_type)) return false;
  if (const std::size_t at = lower_type.find("charset="); at != std::string::npos) {
    std::string name = content_type->substr(at + 8);
    if (const std::size_t end = name.find_first_of("; \t"); end != std::string::npos) name.resize(end);
    while (!name.empty() && (name.front() == '"' || name.front() == '\'')) name.erase(0, 1);
    while (!name.empty() && (name.back() == '"' || name.back() == '\'')) name.pop_back();
    encoding_ = values::TextEncoding::FromName(name).value_or(values::TextEncoding::IsoLatin1());
  }
  if (auto etag = head.Header("Etag")) {
    if (!tables_.entityTags.insert(*etag).second) return false;
  }
  return true;
}

PageOutcome PageCrawl::Read(Page& page, net::HttpReadStream& stream, bool& retry_with_credentials) {
  enum class State { kReading, kEnded, kFailed, kSkip } state = State::kReading;
  bool head_seen = false;
  bool wanted = false;
  std::string data;
  std::vector<char> buffer(kCrawlReadBufferSize);
  Clock::time_point last_activity = Clock::now();

  stream.SetClient(net::kEventHasBytes | net::kEventEnd | net::kEventError | net::kEventOpenCompleted,
                   [&](net::StreamEvent event) {
                     if (state != State::kReading) return;
                     last_activity = Clock::now();
                     if (event == net::kEventError) {
                       state = head_seen ? State::kEnded : State::kFailed;
                     } else if (event == net::kEventEnd) {
                       if (!head_seen && stream.ResponseHead()) {
                         head_seen = true;
                         wanted = HandleHead(page, stream, retry_with_credentials);
                       }
                       state = head_seen ? State::kEnded : State::kFailed;
                     } else if (event == net::kEventHasBytes) {
                       if (!head_seen) {
                         head_seen = true;
                         wanted = HandleHead(page, stream, retry_with_credentials);
                         if (!wanted) {
                           state = State::kSkip;
                           loop_->Stop();
                           return;
                         }
                       }
                       const std::ptrdiff_t n = stream.Read(buffer.data(), buffer.size());
                       if (n > 0) {
                         const std::size_t room = kCrawlMaxPageBytes - data.size();
                         data.append(buffer.data(), std::min(static_cast<std::size_t>(n), room));
                         // A page past the bound is parsed as far as it came.
                         if (data.size() >= kCrawlMaxPageBytes) state = State::kEnded;
                       } else if (n == net::kStreamAtEnd || n == net::kStreamFailed) {
                         state = State::kEnded;
                       }
                       if (state == State::kReading) return;
                     } else {
                       return;
                     }
                     loop_->Stop();
                   });
  if (!stream.Open(loop_)) return PageOutcome::kNoAnswer;
  while (state == State::kReading) {
    if (ShouldStop()) return PageOutcome::kAborted;
    if (Clock::now() - last_activity > kCrawlPageIdleTimeout) return PageOutcome::kNoAnswer;
    loop_->RunFor(runtime::DurationToNanoseconds(1000), false);
  }
  if (state == State::kFailed) return PageOutcome::kNoAnswer;
  if (retry_with_credentials) return PageOutcome::kParsed;
  if (state == State::kEnded && wanted) Finish(page, data);
  return PageOutcome::kParsed;
}

void PageCrawl::Finish(Page& page, const std::string& data) {
  if (finalURL_) {
    page.url = finalURL_->String();
    tables_.visited[page.url] = page.level;
  }
  const std::optional<values::Url> url = values::Url::Create(page.url);
  if (!url) return;
  // The start page's folder (after its redirects) bounds what the scan follows.
  if (pagesRead_ == 1 && !startFolder_) startFolder_ = CopyBaseDirectoryURL(*url);
  CrawlPageContext context;
  context.base = CopyBaseDirectoryURL(*url);
  context.startFolder = startFolder_;
  context.startURL = startURL_;
  context.referer = util::CopyURLStringWithoutUserInfo(*url).value_or(page.url);
  context.encoding = encoding_;
  const std::vector<std::string> files =
      CrawlParsePage(data, request_->followImages, context, rules_, tables_);
  if (!files.empty()) nothingFound_ = false;
  CrawlPostResults(*request_, files, context.referer, false);
}

std::int32_t PageCrawl::Run() {
  loop_ = runtime::RunLoop::Current();
  deadline_ = Clock::now() + kCrawlMaxDuration;
  regex_ = CompileCrawlRegex(request_->regex);
  rules_.extensionList = request_->extensionList;
  rules_.followOtherHosts = request_->followOtherHosts;
  rules_.user = request_->user;
  rules_.password = request_->password;
  rules_.regex = regex_ ? &*regex_ : nullptr;
  rules_.negateRegex = request_->negateRegex;

  std::string start = request_->startURL;
  if (const std::size_t cut = start.find("%23"); cut != std::string::npos) start.resize(cut);
  startURL_ = values::Url::Create(start);
  tables_.frontier.emplace(start, request_->referer.value_or(""));

  // The cancel source stops the loop it is on; the slices then see the aborted flag.
  const std::shared_ptr<runtime::Source> cancel = request_->cancelSource;
  if (cancel) loop_->AddSource(cancel);

  std::int32_t result = 0;
  bool start_failed = false;
  for (std::int32_t level = 0; level < request_->levels && !tables_.frontier.empty(); ++level) {
    while (!tables_.frontier.empty() && !ShouldStop() && pagesRead_ < kCrawlMaxPages) {
      auto first = tables_.frontier.begin();
      Page page{first->first, first->second, level, 0};
      tables_.frontier.erase(first);
      const bool is_start = pagesRead_ == 0;
      ++pagesRead_;
      const PageOutcome outcome = Fetch(page);
      if (is_start) {
        if (!startFolder_)
          if (const std::optional<values::Url> url = values::Url::Create(page.url))
            startFolder_ = CopyBaseDirectoryURL(*url);
        result = page.status;
        if (outcome == PageOutcome::kNoAnswer) start_failed = true;
        // A start page that failed ends the scan after its level.
        if (page.status < 200 || page.status > 299) tables_.nextLevel.clear();
      }
      if (outcome == PageOutcome::kAborted) break;
    }
    if (ShouldStop() || pagesRead_ >= kCrawlMaxPages) break;
    tables_.frontier.swap(tables_.nextLevel);
    tables_.nextLevel.clear();
  }
  if (cancel) loop_->RemoveSource(cancel);

  if (start_failed && result == 0) return kCrawlResultNoAnswer;
  if ((result == 0 || result == 200) && nothingFound_) return kCrawlResultNothingFound;
  return result;
}

}  // namespace

void CrawlSiteTask(const CrawlRequestRef& request) {
  const std::int32_t result = PageCrawl(request).Run();
  CrawlPostFinished(*request, result);
}

}  // namespace engine
