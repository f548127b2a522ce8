#include "app/engine/crawl/ftp_folder_crawler.h"

#include <algorithm>
#include <chrono>

#include "app/engine/crawl/crawl_events.h"
#include "app/engine/crawl/crawl_request.h"
#include "app/engine/crawl/page_crawl_links.h"
#include "app/engine/ftp/ftp_read_stream.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/url_utilities.h"

namespace engine {
namespace {

using Clock = std::chrono::steady_clock;

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

bool ExtensionWanted(const std::vector<std::string>& list, const std::optional<std::string>& extension) {
  if (!extension || extension->empty()) return false;
  if (std::find(list.begin(), list.end(), "*") != list.end()) return true;
  return std::find(list.begin(), list.end(), LowerAscii(*extension)) != list.end();
}

class FTPCrawl {
 public:
  explicit FTPCrawl(CrawlRequestRef request) : request_(std::move(request)) {}
  std::int32_t Run();

 private:
  enum class ListOutcome { kListed, kFailed, kAborted };
  bool ShouldStop() const { return request_->aborted || Clock::now() >= deadline_; }
  ListOutcome List(const std::string& folder_text, net::StreamError& error);

  CrawlRequestRef request_;
  std::shared_ptr<runtime::RunLoop> loop_;
  Clock::time_point deadline_;
  CrawlFTPRules rules_;
  std::optional<util::CompiledRegex> regex_;
  CrawlFTPTables tables_;
};

FTPCrawl::ListOutcome FTPCrawl::List(const std::string& folder_text, net::StreamError& error) {
  tables_.visited.insert(folder_text);
  const std::optional<values::Url> folder = values::Url::Create(folder_text);
  if (!folder || !folder->Host()) return ListOutcome::kFailed;

  FTPReadStream stream(*folder);
  stream.SetAttemptPersistentConnection(true);
  if (LowerAscii(folder->Scheme()) == "ftps") stream.SetTlsRequired(true);
  if (request_->user && request_->password) {
    stream.SetUser(*request_->user);
    stream.SetPassword(*request_->password);
  } else {
    stream.SetUser("anonymous");
    stream.SetPassword(util::CurrentSettings()->anonFTPPassword);
  }

  enum class State { kReading, kEnded, kFailed } state = State::kReading;
  std::string data;
  std::size_t total = 0;
  std::vector<char> buffer(kCrawlReadBufferSize);
  CrawlFTPFolderResult result;
  Clock::time_point last_activity = Clock::now();

  // Entries are parsed as their bytes arrive; only an unfinished line stays in `data`.
  auto parse = [&](bool at_end) {
    std::size_t pos = 0;
    while (pos < data.size()) {
      std::optional<FTPResource> entry;
      const std::int64_t used = ParseFTPResourceListing(std::string_view(data).substr(pos), at_end, entry);
      if (used < 0) return false;
      if (used == 0) break;
      pos += static_cast<std::size_t>(used);
      if (entry) CrawlFTPEntry(*entry, *folder, rules_, tables_, result);
    }
    data.erase(0, pos);
    return true;
  };

  stream.SetClient(net::kEventHasBytes | net::kEventEnd | net::kEventError, [&](net::StreamEvent event) {
    if (state != State::kReading) return;
    last_activity = Clock::now();
    if (event == net::kEventHasBytes) {
      const std::ptrdiff_t n = stream.Read(buffer.data(), buffer.size());
      if (n > 0) {
        data.append(buffer.data(), static_cast<std::size_t>(n));
        total += static_cast<std::size_t>(n);
        // An endless or unparsable listing ends the folder with what it gave so far.
        if (!parse(false) || total >= kCrawlMaxPageBytes) state = State::kEnded;
      } else if (n == net::kStreamAtEnd || n == net::kStreamFailed) {
        state = State::kEnded;
      }
      if (state == State::kReading) return;
    } else if (event == net::kEventEnd) {
      state = State::kEnded;
    } else if (event == net::kEventError) {
      error = stream.Error();
      state = total > 0 ? State::kEnded : State::kFailed;
    }
    loop_->Stop();
  });

  ListOutcome outcome = ListOutcome::kListed;
  if (!stream.Open(loop_)) {
    error = stream.Error();
    return ListOutcome::kFailed;
  }
  while (state == State::kReading) {
    if (ShouldStop()) {
      outcome = ListOutcome::kAborted;
      break;
    }
    if (Clock::now() - last_activity > kCrawlPageIdleTimeout) {
      state = State::kFailed;
      break;
    }
    loop_->RunFor(runtime::DurationToNanoseconds(1000), false);
  }
  stream.Close();
  if (outcome == ListOutcome::kAborted) return outcome;
  if (state == State::kFailed) return ListOutcome::kFailed;
  parse(true);
  CrawlPostResults(*request_, result.found, folder_text, true, &result.sizes);
  return ListOutcome::kListed;
}

std::int32_t FTPCrawl::Run() {
  loop_ = runtime::RunLoop::Current();
  deadline_ = Clock::now() + kCrawlMaxDuration;
  regex_ = CompileCrawlRegex(request_->regex);
  rules_.extensionList = request_->extensionList;
  rules_.regex = regex_ ? &*regex_ : nullptr;
  rules_.negateRegex = request_->negateRegex;
  rules_.minimumSize = request_->minimumSize;
  rules_.user = request_->user;
  rules_.password = request_->password;

  std::string start = request_->startURL;
  if (!start.ends_with('/')) start += '/';
  tables_.frontier.insert(start);
  const std::shared_ptr<runtime::Source> cancel = request_->cancelSource;
  if (cancel) loop_->AddSource(cancel);

  std::int32_t result = 0;
  std::size_t listed = 0;
  bool stop = false;
  for (std::int32_t level = 0; level < request_->levels && !tables_.frontier.empty() && !stop; ++level) {
    while (!tables_.frontier.empty()) {
      if (ShouldStop() || listed >= kCrawlMaxPages) {
        stop = true;
        break;
      }
      const std::string folder = *tables_.frontier.begin();
      tables_.frontier.erase(tables_.frontier.begin());
      const bool is_start = listed == 0;
      ++listed;
      net::StreamError error;
      const ListOutcome outcome = List(folder, error);
      if (outcome == ListOutcome::kAborted) {
        stop = true;
        break;
      }
      // The start folder's failure is the scan's: it found nothing, and says why.
      if (is_start && outcome == ListOutcome::kFailed) {
        result = error.domain == net::ErrorDomain::kFtp && error.code > 0 ? error.code : kCrawlResultNoAnswer;
        stop = true;
        break;
      }
    }
    tables_.frontier.swap(tables_.nextLevel);
    tables_.nextLevel.clear();
  }
  if (cancel) loop_->RemoveSource(cancel);
  return result;
}

}  // namespace

void CrawlFTPEntry(const FTPResource& entry, const values::Url& folder, const CrawlFTPRules& rules,
                   CrawlFTPTables& tables, CrawlFTPFolderResult& result) {
  if (entry.name.empty() || entry.type == 0) return;
  if (entry.type == kFTPResourceFolder) {
    if (entry.name.front() == '.') return;
    const std::optional<values::Url> sub = folder.AppendingPathComponent(entry.name, true);
    if (!sub) return;
    const std::string text = sub->AbsoluteString();
    if (tables.nextLevel.contains(text) || tables.frontier.contains(text) || tables.visited.contains(text))
      return;
    tables.nextLevel.insert(text);
    return;
  }
  if (entry.type != kFTPResourceFile) return;
  const std::optional<values::Url> file = folder.AppendingPathComponent(entry.name, false);
  if (!file) return;
  const std::string plain = file->AbsoluteString();
  const std::string text =
      (rules.user && !rules.user->empty())
          ? util::CopyURLStringWithCredentials(plain, rules.user, rules.password).value_or(plain)
          : plain;
  if (tables.resultsTaken.contains(text)) return;
  if (rules.extensionList) {
    if (!ExtensionWanted(*rules.extensionList, file->PathExtension())) return;
    tables.resultsTaken.insert(text);
    if (rules.regex && util::RegexMatchesCFString(entry.name, *rules.regex) == rules.negateRegex) return;
    if (entry.size) {
      // A known size must pass the minimum; an unknown one cannot be judged and is taken.
      if (*entry.size <= 0 || *entry.size <= rules.minimumSize) return;
      result.sizes[text] = *entry.size;
    }
    result.found.push_back(text);
    return;
  }
  tables.resultsTaken.insert(text);
  result.found.push_back(text);
  if (entry.size && *entry.size > 0) result.sizes[text] = *entry.size;
}

void CrawlFTPTask(const CrawlRequestRef& request) {
  const std::int32_t result = FTPCrawl(request).Run();
  CrawlPostFinished(*request, result);
}

}  // namespace engine
