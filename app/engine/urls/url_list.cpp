#include "app/engine/urls/url_list.h"

#include <array>

#include "app/util/text/regex_utilities.h"
#include "app/util/text/url_utilities.h"
#include "platform/values/char_set.h"
#include "platform/values/string_edit.h"
#include "platform/values/url_escape.h"
#include "platform/values/utf16.h"

namespace engine {
namespace {

constexpr std::string_view kMetalinkFragmentPrefix = "!metalink3!";

bool HasPrefix(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string CleanLine(std::string_view line) {
  return values::TrimWhitespace(values::DeleteCharacters(line, values::CharacterSet::Controls()));
}

// A web search engine's result link that sends the browser on to the real target:
// http://www.google.com/url?sa=t&...&q=<escaped target>&...
bool IsSearchRedirectLink(const values::Url& url) {
  if (values::Lowercase(url.Scheme()) != "http") return false;
  const std::string host = values::Lowercase(url.Host().value_or(""));
  if (host != "google.com" && !(host.size() > 11 && host.ends_with(".google.com"))) return false;
  if (url.Path() != "/url") return false;
  const std::string query = url.Query().value_or("");
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    std::string_view pair(query.data() + start, end - start);
    if (pair.substr(0, pair.find('=')) == "sa") return true;
    start = end + 1;
  }
  return false;
}

std::optional<values::Url> RedirectTarget(const std::string& line) {
  std::optional<std::string> q = util::CopyRegexCaptureFromCFString(line, "&q=([^&]+)");
  if (!q) return std::nullopt;
  std::optional<std::string> target = values::PercentUnescape(*q);
  if (!target) return std::nullopt;
  if (!HasPrefix(*target, "http://") && !HasPrefix(*target, "https://") && !HasPrefix(*target, "ftp://")) {
    return std::nullopt;
  }
  return values::Url::Create(*target);
}

std::optional<values::Url> MetalinkTarget(const values::Url& url) {
  std::optional<std::string> fragment = url.Fragment();
  if (!fragment) return std::nullopt;
  std::optional<std::string> unescaped = values::PercentUnescape(*fragment, ":/?");
  if (!unescaped || !HasPrefix(*unescaped, kMetalinkFragmentPrefix)) return std::nullopt;
  return values::Url::Create(std::string_view(*unescaped).substr(kMetalinkFragmentPrefix.size()));
}

const std::string* FindString(const values::Value& entry, std::string_view key) {
  const values::Value* v = entry.Find(key);
  return v ? v->AsString() : nullptr;
}

}  // namespace

std::optional<values::Url> EntryURL(const values::Value& entry) {
  const std::string* text = FindString(entry, kEntryURL);
  if (!text) return std::nullopt;
  return values::Url::Create(*text);
}

values::Value MakeURLEntry(const values::Url& url, const std::optional<std::string>& referer) {
  values::Value entry{{kEntryURL, url.String()}};
  if (referer) entry.Put(kEntryReferer, *referer);
  return entry;
}

std::optional<values::Array> ParseURLListText(std::string_view text,
                                              const std::optional<std::string>& referer) {
  values::Array entries;
  std::size_t start = 0;
  while (start <= text.size()) {
    // Lines end with CR (the scripting and browser hand-offs), LF (text from this system's
    // own files and pastes) or CRLF; an empty piece between CR and LF is skipped below.
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string line = CleanLine(text.substr(start, end - start));
    start = end + 1;
    if (values::Utf16Length(line) <= 7) continue;
    std::optional<std::string> escaped = util::CreatePercentEscapedString(line, "{}#", "");
    if (!escaped) continue;
    std::optional<values::Url> url = values::Url::Create(*escaped);
    if (!url) continue;
    if (IsSearchRedirectLink(*url)) {
      if (std::optional<values::Url> target = RedirectTarget(*escaped)) url = std::move(target);
    }
    if (std::optional<values::Url> target = MetalinkTarget(*url)) url = std::move(target);
    if (!url->Host()) continue;
    entries.push_back(MakeURLEntry(*url, referer));
  }
  if (entries.empty()) return std::nullopt;
  return entries;
}

std::optional<values::Array> ParseURLListCString(std::string_view utf8,
                                                 const std::optional<std::string>& referer) {
  if (!values::IsValidUtf8(utf8)) return std::nullopt;
  return ParseURLListText(utf8, referer);
}

// Entries are paired by position: mirror lists keep their order, and holding every entry
// against every other would make two identical lists of different mirrors unequal. An
// entry without a referer never equals another, so typed URLs are never taken as repeats.
bool URLListsAreEqual(const values::Array& a, const values::Array& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const values::Value* url_a = a[i].Find(kEntryURL);
    const values::Value* url_b = b[i].Find(kEntryURL);
    if (!url_a || !url_b || *url_a != *url_b) return false;
    const values::Value* referer_a = a[i].Find(kEntryReferer);
    const values::Value* referer_b = b[i].Find(kEntryReferer);
    if (!referer_a || !referer_b || *referer_a != *referer_b) return false;
  }
  return true;
}

values::Array URLListCopyWithReferer(const values::Array& list, const std::optional<std::string>& referer) {
  values::Array out = list;
  if (referer) {
    for (values::Value& entry : out) entry.Put(kEntryReferer, *referer);
  }
  return out;
}

bool URLListSchemesAreSupported(const values::Array& list) {
  static constexpr std::array<std::string_view, 5> kSchemes = {"http", "https", "ftp", "ftps", "afp"};
  for (const values::Value& entry : list) {
    std::optional<values::Url> url = EntryURL(entry);
    if (!url) return false;
    const std::string scheme = values::Lowercase(url->Scheme());
    bool supported = false;
    for (std::string_view s : kSchemes) supported = supported || scheme == s;
    if (!supported) return false;
  }
  return true;
}

void URLListCopyHostNames(const values::Array& list, values::Array& out) {
  for (const values::Value& entry : list) {
    std::optional<values::Url> url = EntryURL(entry);
    if (!url) continue;
    if (std::optional<std::string> host = url->Host()) out.emplace_back(*host);
  }
}

values::Array URLListCopyWithURLStrings(const values::Array& list) {
  return list;
}

values::Array URLListCopyWithURLObjects(const values::Array& list) {
  values::Array out = list;
  for (values::Value& entry : out) {
    if (entry.Find(kEntryURL) && !EntryURL(entry)) entry.Erase(kEntryURL);
  }
  return out;
}

void URLListRemoveKey(values::Array& list, std::string_view key) {
  for (values::Value& entry : list) entry.Erase(key);
}

bool URLListIsFTPFolder(const values::Array& list) {
  if (list.empty()) return false;
  std::optional<values::Url> url = EntryURL(list.front());
  if (!url) return false;
  const std::string scheme = values::Lowercase(url->Scheme());
  return (scheme == "ftp" || scheme == "ftps") && url->HasDirectoryPath();
}

}  // namespace engine
