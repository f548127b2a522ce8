#include "app/engine/urls/sensitive_servers.h"

#include <memory>

#include "app/engine/urls/url_list.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/ascii.h"

namespace engine {
namespace {

std::string_view WithoutRootDot(std::string_view host) {
  if (host.size() > 1 && host.back() == '.') host.remove_suffix(1);
  return host;
}

}  // namespace

bool SensitiveServerRuleMatches(std::string_view rule, std::string_view host) {
  host = WithoutRootDot(host);
  rule = WithoutRootDot(rule);
  if (rule.empty() || host.empty()) return false;
  if (rule.front() == '.') {
    return host.size() > rule.size() &&
           values::AsciiEqualsIgnoringCase(host.substr(host.size() - rule.size()), rule);
  }
  return values::AsciiEqualsIgnoringCase(host, rule);
}

bool IsSensitiveServerHost(std::string_view host) {
  const std::shared_ptr<const util::Settings> settings = util::CurrentSettings();
  for (const std::string& rule : settings->blackList) {
    if (SensitiveServerRuleMatches(rule, host)) return true;
  }
  return false;
}

bool URLListHasSensitiveServer(const values::Array& list) {
  for (const values::Value& entry : list) {
    const std::optional<values::Url> url = EntryURL(entry);
    if (!url) continue;
    const std::optional<std::string> host = url->Host();
    if (host && IsSensitiveServerHost(*host)) return true;
  }
  return false;
}

}  // namespace engine
