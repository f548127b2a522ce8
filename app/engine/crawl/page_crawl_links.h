#pragma once
// What the page crawler does with one link of a page: take it as a file, queue it as a
// page to read (this level for frames, the next for other links), both, or neither.
//
// Files: with an extension list, a link whose path extension (or, failing that, the
// extension at the end of its whole text: "get.php?f=a.zip") is in the list, or any
// link with an extension when the list holds "*"; without a list, every link. Each file
// URL is taken once per scan, and the name filter (matched on the last path component)
// may reject it.
//
// Pages: links without a path extension or with a page extension, never ftp, not seen
// before, on the start folder's host and below the start folder's path; an absolute
// link on another host or outside the folder only when the scan follows other hosts. A
// relative link that leaves the start folder is never followed.
//
// Credentials: a link on the start URL's scheme, host and port carries the scan's user
// and password; a link elsewhere carries the stored authorisation for its server, when
// there is one. The credentials of the start server never go to another server or port.
//
// Plain data and functions, used by the crawl task only (one thread).

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/crawl/crawl_link_parser.h"
#include "app/util/text/regex_utilities.h"
#include "platform/values/text_encoding.h"
#include "platform/values/url.h"

namespace engine {

// Path extensions of pages that may be followed.
bool IsCrawlPageExtension(std::string_view lower_extension);

// The directory of a page's URL: the URL itself when its path ends in "/", else the URL
// without its last path component; an URL without a path gets "/".
std::optional<values::Url> CopyBaseDirectoryURL(const values::Url& url);

// The expression as the scan uses it: nothing for an empty one, one longer than
// kCrawlRegexMaxBytes - 1 bytes, or one that does not compile (extended, case-blind).
std::optional<util::CompiledRegex> CompileCrawlRegex(const std::optional<std::string>& pattern);

struct CrawlLinkRules {
  std::optional<std::vector<std::string>> extensionList;
  bool followOtherHosts = false;
  std::optional<std::string> user;
  std::optional<std::string> password;
  const util::CompiledRegex* regex = nullptr;
  bool negateRegex = false;
};

// The shared tables of one scan.
struct CrawlTables {
  std::map<std::string, std::string> frontier;   // page URL -> referer, this level
  std::map<std::string, std::string> nextLevel;  // page URL -> referer
  std::map<std::string, std::int32_t> visited;   // page URL -> level
  std::set<std::string> resultsTaken;            // file URL strings reported
  std::set<std::string> entityTags;

  bool Known(const std::string& url) const {
    return frontier.contains(url) || nextLevel.contains(url) || visited.contains(url);
  }
};

// One page being read: where it is, and what counts as "here".
struct CrawlPageContext {
  std::optional<values::Url> base;         // the page's directory
  std::optional<values::Url> startFolder;  // the start page's directory
  std::optional<values::Url> startURL;     // scheme, host and port of the scan's credentials
  std::string referer;                     // the page URL without its user part
  values::TextEncoding encoding = values::TextEncoding::IsoLatin1();
};

// Whether the filter lets the file URL through.
bool CrawlFilterPasses(std::string_view url_text, const CrawlLinkRules& rules);

// Takes the URL as a file when it qualifies: appends it to `results`, unless taken before.
void CrawlAddLink(const values::Url& url, const std::string& url_text, const CrawlLinkRules& rules,
                  CrawlTables& tables, std::vector<std::string>& results);

// Handles one link of a page: the file it may be goes to `results`, the page it may be to
// the frontier or the next level.
void CrawlResolveLink(const CrawlLink& link, const CrawlPageContext& page, const CrawlLinkRules& rules,
                      CrawlTables& tables, std::vector<std::string>& results);

// The files of one document, its pages queued on the way.
std::vector<std::string> CrawlParsePage(std::string_view document, bool followImages,
                                        const CrawlPageContext& page, const CrawlLinkRules& rules,
                                        CrawlTables& tables);

}  // namespace engine
