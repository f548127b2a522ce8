#include "app/engine/crawl/page_crawl_links.h"

#include <regex.h>

#include <algorithm>
#include <array>
#include <cctype>

#include "app/browser/services/auth_items_service.h"
#include "app/engine/crawl/crawl_request.h"
#include "app/util/text/string_utilities.h"
#include "app/util/text/url_utilities.h"
#include "platform/values/string_compare.h"

namespace engine {
namespace {

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

bool EqualsCaseless(std::string_view a, std::string_view b) {
  return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

int DefaultPort(std::string_view lower_scheme) {
  if (lower_scheme == "https") return 443;
  if (lower_scheme == "http") return 80;
  if (lower_scheme == "ftp" || lower_scheme == "ftps") return 21;
  return -1;
}

int EffectivePort(const values::Url& url) {
  const int port = url.Port();
  return port >= 0 ? port : DefaultPort(LowerAscii(url.Scheme()));
}

// Same scheme, host and port: the servers the scan's own credentials are meant for.
bool SameServer(const values::Url& a, const values::Url& b) {
  return EqualsCaseless(a.Scheme(), b.Scheme()) &&
         EqualsCaseless(a.Host().value_or(""), b.Host().value_or("")) && EffectivePort(a) == EffectivePort(b);
}

// The stored authorisation for the URL's server and path, when there is one.
std::optional<browser::AuthItem> StoredAuthorisation(const values::Url& url) {
  const std::string scheme = LowerAscii(url.Scheme());
  const int port = EffectivePort(url);
  if (port < 0) return std::nullopt;
  const int type = scheme == "https"                       ? browser::kAuthItemTypeHTTPS
                   : (scheme == "ftp" || scheme == "ftps") ? browser::kAuthItemTypeFTP
                                                           : browser::kAuthItemTypeOther;
  const std::string host = url.Host().value_or("") + ":" + std::to_string(port);
  return browser::AuthItemsServiceSlot::Get().FindAuthItem(host, url.Path(), type);
}

std::string WithCredentials(const std::string& text, const std::optional<std::string>& user,
                            const std::optional<std::string>& password) {
  if (!user || user->empty()) return text;
  return util::CopyURLStringWithCredentials(text, user, password).value_or(text);
}

bool PathBelow(const values::Url& url, const std::optional<values::Url>& folder) {
  if (!folder) return false;
  const std::string prefix = LowerAscii(folder->Path());
  return LowerAscii(url.Path()).starts_with(prefix);
}

void QueuePage(const CrawlLink& link, const std::string& url_text, const CrawlPageContext& page,
               CrawlTables& tables) {
  if (tables.Known(url_text)) return;
  if (link.kind == CrawlLinkKind::kFrame)
    tables.frontier.emplace(url_text, page.referer);
  else
    tables.nextLevel.emplace(url_text, page.referer);
}

bool MayBePage(const CrawlLink& link, const util::URLExtensions& extensions) {
  if (link.kind == CrawlLinkKind::kFileOnly) return false;
  return !extensions.path_extension || IsCrawlPageExtension(*extensions.path_extension);
}

std::optional<values::Url> MakeLinkURL(const std::string& text, const CrawlPageContext& page) {
  auto make = [&](std::string_view t) -> std::optional<values::Url> {
    if (page.base) return values::Url::Create(t, *page.base);
    return values::Url::Create(t);
  };
  if (auto url = make(text)) return url;
  const auto escaped = util::CreatePercentEscapedString(text, "", "");
  if (!escaped) return std::nullopt;
  return make(*escaped);
}

// The link names its own scheme ("http:", "ftp:"), as opposed to a path relative to the page.
bool HasScheme(std::string_view text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  for (char c : text) {
    if (c == ':') return true;
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

}  // namespace

bool IsCrawlPageExtension(std::string_view ext) {
  static constexpr std::array<std::string_view, 13> kPageExtensions = {
      "html", "htm", "shtml", "shtm", "php", "pl", "py", "asp", "aspx", "rb", "jsp", "cgi", "cfm"};
  return std::find(kPageExtensions.begin(), kPageExtensions.end(), ext) != kPageExtensions.end();
}

std::optional<values::Url> CopyBaseDirectoryURL(const values::Url& url) {
  const values::Url absolute = url.Absolute();
  const std::string path = absolute.Path();
  if (!path.starts_with('/')) return values::Url::Create(absolute.String() + "/");
  if (absolute.HasDirectoryPath()) return absolute;
  return absolute.DeletingLastPathComponent();
}

std::optional<util::CompiledRegex> CompileCrawlRegex(const std::optional<std::string>& pattern) {
  if (!pattern || pattern->empty() || pattern->size() >= kCrawlRegexMaxBytes) return std::nullopt;
  return util::CompiledRegex::Compile(*pattern, REG_EXTENDED | REG_ICASE | REG_NOSUB);
}

bool CrawlFilterPasses(std::string_view url_text, const CrawlLinkRules& rules) {
  if (!rules.regex) return true;
  return util::URLLastComponentMatchesRegex(url_text, *rules.regex) != rules.negateRegex;
}

void CrawlAddLink(const values::Url& url, const std::string& url_text, const CrawlLinkRules& rules,
                  CrawlTables& tables, std::vector<std::string>& results) {
  if (rules.extensionList) {
    const util::URLExtensions ext = util::CopyURLExtensions(url);
    if (!ext.path_extension && !ext.tail) return;
    const auto& list = *rules.extensionList;
    auto listed = [&](const std::optional<std::string>& e) {
      return e && std::find(list.begin(), list.end(), *e) != list.end();
    };
    const bool every = std::find(list.begin(), list.end(), "*") != list.end();
    if (!every && !listed(ext.path_extension) && !listed(ext.tail)) return;
  }
  if (!tables.resultsTaken.insert(url_text).second) return;
  if (!CrawlFilterPasses(url_text, rules)) return;
  results.push_back(url_text);
}

void CrawlResolveLink(const CrawlLink& link, const CrawlPageContext& page, const CrawlLinkRules& rules,
                      CrawlTables& tables, std::vector<std::string>& results) {
  std::string_view raw = link.text;
  if (raw.empty() || raw.front() == '#') return;
  if (const std::size_t hash = raw.rfind('#'); hash != std::string_view::npos) raw = raw.substr(0, hash);

  std::optional<std::string> decoded = values::DecodeText(raw, page.encoding);
  if (!decoded) return;
  std::string text = std::move(*decoded);
  if (text.starts_with("http:///")) text.erase(5, 1);
  text = util::CopyXMLUnescapedString(text);

  const std::optional<values::Url> made = MakeLinkURL(text, page);
  if (!made || !made->IsDecomposable()) return;
  const bool absolute = HasScheme(text);
  if (!absolute && !page.base) return;
  const values::Url url = made->Absolute();
  if (!url.IsDecomposable()) return;

  const std::string scheme = LowerAscii(url.Scheme());
  if (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "ftps") return;
  const std::optional<std::string> host = url.Host();
  if (!host || host->empty()) return;
  const bool same_host =
      page.startFolder && EqualsCaseless(*host, page.startFolder->Host().value_or(std::string()));

  // Pages are queued without a user part (the fetch applies the scan's credentials); a
  // file keeps what the page wrote unless credentials meant for its server replace it.
  const std::string plain = util::CopyURLStringWithoutUserInfo(url).value_or(url.String());
  std::string with_credentials = url.String();
  if (page.startURL && SameServer(url, *page.startURL)) {
    if (rules.user && !rules.user->empty())
      with_credentials = WithCredentials(plain, rules.user, rules.password);
  } else if (auto item = StoredAuthorisation(url)) {
    with_credentials = WithCredentials(plain, item->user, item->password);
  }
  const util::URLExtensions extensions = util::CopyURLExtensions(url);

  if (absolute) {
    if (!same_host && !rules.followOtherHosts) return;
    CrawlAddLink(url, with_credentials, rules, tables, results);
    if (scheme == "ftp" || scheme == "ftps" || !MayBePage(link, extensions)) return;
    if (!rules.followOtherHosts && !PathBelow(url, page.startFolder)) return;
    QueuePage(link, plain, page, tables);
    return;
  }
  CrawlAddLink(url, with_credentials, rules, tables, results);
  if (!same_host || !MayBePage(link, extensions) || !PathBelow(url, page.startFolder)) return;
  QueuePage(link, plain, page, tables);
}

std::vector<std::string> CrawlParsePage(std::string_view document, bool followImages,
                                        const CrawlPageContext& page, const CrawlLinkRules& rules,
                                        CrawlTables& tables) {
  std::vector<std::string> results;
  for (const CrawlLink& link : ParseCrawlLinks(document, followImages))
    CrawlResolveLink(link, page, rules, tables, results);
  return results;
}

}  // namespace engine
