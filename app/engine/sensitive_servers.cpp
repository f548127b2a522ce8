#include "app/engine/sensitive_servers.h"

#include <mutex>

#include "app/engine/url_list.h"

namespace engine {
namespace {

std::vector<std::string>& Rules() {
  static std::vector<std::string> rules;
  return rules;
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string_view WithoutRootDot(std::string_view host) {
  if (host.size() > 1 && host.back() == '.') host.remove_suffix(1);
  return host;
}

}  // namespace

runtime::CriticalRegion& SensitiveServersRegion() {
  static runtime::CriticalRegion region;
  return region;
}

void SetSensitiveServerRules(std::vector<std::string> rules) {
  std::scoped_lock lock(SensitiveServersRegion());
  Rules() = std::move(rules);
}

std::vector<std::string> CopySensitiveServerRules() {
  std::scoped_lock lock(SensitiveServersRegion());
  return Rules();
}

std::vector<std::string> SensitiveServerRulesFromPreference(const values::Value* stored) {
  std::vector<std::string> rules;
  if (stored == nullptr || !stored->IsArray()) return rules;
  for (const values::Value& v : *stored->AsArray()) {
    if (const std::string* s = v.AsString(); s != nullptr && !s->empty()) rules.push_back(*s);
  }
  return rules;
}

bool SensitiveServerRuleMatches(std::string_view rule, std::string_view host) {
  host = WithoutRootDot(host);
  rule = WithoutRootDot(rule);
  if (rule.empty() || host.empty()) return false;
  if (rule.front() == '.') {
    return host.size() > rule.size() && EqualsIgnoringCase(host.substr(host.size() - rule.size()), rule);
  }
  return EqualsIgnoringCase(host, rule);
}

bool IsSensitiveServerHost(std::string_view host) {
  std::scoped_lock lock(SensitiveServersRegion());
  for (const std::string& rule : Rules()) {
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
