#pragma once
// One "add files from URL" scan: what the window asked for, and the little state the
// window and the scan share.
//
// The window's controller builds the request and starts the scan task with it (the page
// crawler for http and https, the FTP folder crawler for ftp and ftps). The task owns
// everything else of the scan; the main thread touches the request only to abort it
// (`Abort`: the flag, then the cancel source that stops the task's run loop) and, after
// the end event, to let it go. The scan reports to the application target by 'SEX_'
// events: kind 2 once for every page or listing it read, kind 1 exactly once, last.
//
// Every scan is bounded, whatever a server sends: in pages, in links per page, in bytes
// per page, in time per page and in time overall (the constants below).

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/event_target.h"
#include "platform/runtime/object_handle.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/fourcc.h"

namespace engine {

// Pages (or folder listings) one scan reads at most; what is found before is reported.
inline constexpr std::size_t kCrawlMaxPages = 5000;
// Links taken from one page at most; a page with more is read up to there.
inline constexpr std::size_t kCrawlMaxLinksPerPage = 10000;
// Bytes of one page (or listing) read at most; a longer one is parsed as far as it came.
inline constexpr std::size_t kCrawlMaxPageBytes = 8 * 1024 * 1024;
// A page that sends nothing for this long has failed.
inline constexpr std::chrono::seconds kCrawlPageIdleTimeout{60};
// A whole scan stops after this long, as if aborted.
inline constexpr std::chrono::hours kCrawlMaxDuration{6};
// A page whose connection fails is asked again this often, this long apart, then dropped.
inline constexpr int kCrawlPageRetries = 3;
inline constexpr std::chrono::seconds kCrawlRetryDelay{2};
// Read chunk of a page or listing.
inline constexpr std::size_t kCrawlReadBufferSize = 24576;
// The longest file-name expression, in UTF-8 bytes with its end.
inline constexpr std::size_t kCrawlRegexMaxBytes = 256;

inline constexpr values::FourCharCode kEventClassLinkScan = values::FourCC("SEX_");
inline constexpr std::uint32_t kLinkScanEventFinished = 1;
inline constexpr std::uint32_t kLinkScanEventResults = 2;
inline constexpr values::FourCharCode kLinkScanParamWindow = values::FourCC("WIND");
inline constexpr values::FourCharCode kLinkScanParamID = values::FourCC("UUID");
inline constexpr values::FourCharCode kLinkScanParamResult = values::FourCC("Resu");
inline constexpr values::FourCharCode kLinkScanParamPageURL = values::FourCC("URL*");
inline constexpr values::FourCharCode kLinkScanParamConnections = values::FourCC("Conn");
inline constexpr values::FourCharCode kLinkScanParamPreserve = values::FourCC("Pres");
inline constexpr values::FourCharCode kLinkScanParamFolder = values::FourCC("Pare");
inline constexpr values::FourCharCode kLinkScanParamSizes = values::FourCC("Siz@");

struct CrawlRequest {
  std::string startURL;
  std::optional<std::string> referer;
  // Lower-case extensions; nothing when the user did not restrict them; may hold "*".
  std::optional<std::vector<std::string>> extensionList;
  std::int32_t connections = 3;  // of each download added, 1..16
  // The window, handed back in every event.
  runtime::ObjectHandle window;
  bool followImages = false;
  bool followOtherHosts = false;
  std::optional<std::string> destinationFolder;  // path
  std::shared_ptr<runtime::EventTarget> eventTarget;
  std::int32_t levels = 1;  // level 0 is the start page
  std::optional<std::string> user;
  std::optional<std::string> password;
  std::string crawlID;
  std::int64_t minimumSize = 0;  // FTP only, bytes
  std::optional<std::string> regex;
  bool negateRegex = false;
  bool preserveHierarchy = false;

  // Set by Abort from the main thread.
  std::atomic<bool> aborted{false};
  // Signalled by Abort; the task adds it to its run loop and stops the loop when it fires.
  std::shared_ptr<runtime::Source> cancelSource;

  // Any thread: the task stops within its next run-loop slice and still posts its end.
  void Abort() {
    aborted = true;
    if (cancelSource && cancelSource->IsValid()) cancelSource->Signal();
  }
};

using CrawlRequestRef = std::shared_ptr<CrawlRequest>;

// A request with its cancel source, whose perform stops the run loop of the task it is
// added to.
CrawlRequestRef CreateCrawlRequest();

// The tasks' entry points: run the scan on the calling thread to its end (kind 1 posted).
void CrawlSiteTask(const CrawlRequestRef& request);
void CrawlFTPTask(const CrawlRequestRef& request);

// Starts the scan on a task of its own (the FTP crawler for "ftp" and "ftps" in any
// case, else the page crawler). False when no task could be made.
bool StartCrawlTask(const CrawlRequestRef& request);

}  // namespace engine
