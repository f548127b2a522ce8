#include "app/ui/add_files/add_files_form.h"

#include <regex.h>

#include <algorithm>

#include "app/browser/services/auth_items_service.h"
#include "app/engine/crawl/page_crawl_links.h"
#include "app/util/text/url_utilities.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/url.h"
#include "platform/values/uuid.h"

namespace ui {
namespace {

std::string LowerAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return text;
}

// Without control characters and white space (a URL pasted across lines comes whole).
std::string WithoutSpaces(const std::string& text) {
  std::string out;
  for (char c : text)
    if (static_cast<unsigned char>(c) > 0x20 && c != 0x7f) out += c;
  return out;
}

std::int64_t Integer(const std::string& text) {
  std::int64_t value = 0;
  bool negative = false;
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value > (INT64_MAX - 9) / 10) break;  // a number past any sensible size stops growing
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

std::optional<browser::AuthItem> StoredCredentials(const values::Url& url) {
  const std::string scheme = LowerAscii(url.Scheme());
  int port = url.Port();
  if (port < 0)
    port = scheme == "https" ? 443 : scheme == "http" ? 80 : (scheme == "ftp" || scheme == "ftps") ? 21 : -1;
  if (port < 0) return std::nullopt;
  const int type = scheme == "https"                       ? browser::kAuthItemTypeHTTPS
                   : (scheme == "ftp" || scheme == "ftps") ? browser::kAuthItemTypeFTP
                                                           : browser::kAuthItemTypeOther;
  return browser::AuthItemsServiceSlot::Get().FindAuthItem(
      url.Host().value_or("") + ":" + std::to_string(port), url.Path(), type);
}

}  // namespace

std::vector<std::string> PutRecentEntry(std::vector<std::string> list, const std::string& entry) {
  list.erase(std::remove(list.begin(), list.end(), entry), list.end());
  list.insert(list.begin(), entry);
  if (list.size() > kAddFilesRecentLimit) list.resize(kAddFilesRecentLimit);
  return list;
}

std::variant<AddFilesStart, std::string> MakeCrawlRequestFromForm(const AddFilesForm& form) {
  AddFilesStart start;
  const std::optional<std::string> escaped =
      util::CreatePercentEscapedString(WithoutSpaces(form.url), "#", "");
  const std::optional<values::Url> url = escaped ? values::Url::Create(*escaped) : std::nullopt;
  if (!url || escaped->empty() || !url->Host()) return values::Localized(kInvalidURLMessage);
  const std::string scheme = url->Scheme();
  if (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "ftps")
    return values::Localized(kSchemeMessage);

  std::optional<std::string> regex;
  if (!form.regex.empty()) {
    if (!engine::CompileCrawlRegex(form.regex))
      return values::Format(values::Localized(kInvalidRegexMessage), {form.regex});
    regex = form.regex;
  }

  std::string url_text = *escaped;
  if ((scheme == "ftp" || scheme == "ftps") && !url_text.ends_with('/')) url_text += '/';

  std::optional<std::vector<std::string>> list;
  std::string ext_text;
  for (char c : WithoutSpaces(form.extensions))
    if (c != '.') ext_text += c;
  ext_text = LowerAscii(ext_text);
  if (ext_text.size() > 1 && form.useExtensionList) {
    std::replace(ext_text.begin(), ext_text.end(), ',', ';');
    start.extensions = ext_text;
    std::vector<std::string> pieces;
    std::size_t from = 0;
    while (from <= ext_text.size()) {
      const std::size_t semi = std::min(ext_text.find(';', from), ext_text.size());
      if (semi > from) pieces.push_back(ext_text.substr(from, semi - from));
      from = semi + 1;
    }
    if (!pieces.empty()) list = std::move(pieces);
  }

  auto request = engine::CreateCrawlRequest();
  request->startURL = url_text;
  if (!form.referer.empty()) request->referer = form.referer;
  request->extensionList = std::move(list);
  request->followImages = form.followImages;
  request->followOtherHosts = form.followLinks;
  request->preserveHierarchy = form.preserveHierarchy;
  request->destinationFolder = form.folder;
  request->regex = regex;
  request->negateRegex = form.negateRegex;
  request->minimumSize = Integer(form.minimumSize) * std::max<std::int64_t>(form.unitBytes, 1);
  if (request->minimumSize < 0) request->minimumSize = 0;

  const std::int64_t connections = Integer(form.connections);
  request->connections = connections == 0   ? 3
                         : connections < 0  ? 1
                         : connections > 16 ? 16
                                            : static_cast<std::int32_t>(connections);
  const std::int64_t levels = form.useScanLevels ? Integer(form.levels) : 1;
  request->levels = levels < 0 ? 0 : levels > 1000 ? 1000 : static_cast<std::int32_t>(levels);

  if (!form.user.empty()) request->user = form.user;
  if (!form.password.empty()) request->password = form.password;
  if (!request->user && !request->password) {
    if (auto item = StoredCredentials(*url)) {
      request->user = item->user;
      request->password = item->password;
    }
  }
  request->crawlID = values::NewUuidString();
  start.url = url_text;
  start.regex = regex;
  start.request = std::move(request);
  return start;
}

}  // namespace ui
