#include "app/browser/auth_items.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "app/browser/stored_password_cipher.h"
#include "app/engine/log/transfer_log.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/ascii.h"
#include "platform/values/plist.h"
#include "platform/values/text_encoding.h"
#include "platform/values/utf16.h"

namespace browser {
namespace {

using values::Value;

struct AuthList {
  std::recursive_mutex region;  // re-entered: StoreCredentials looks up while holding it
  std::vector<AuthItemRecord> items;
  // The keychain could not say what it holds: never overwrite it.
  bool storedListUnknown = false;
  bool unstorableLogged = false;  // the global log said once that an item was left out
  // Read from the keychain by the first caller that wants the list, not at start-up.
  std::atomic<bool> loadPending{false};
};
AuthList& List() {
  static AuthList list;
  if (list.loadPending.load()) {
    // Under the lock, so that a second caller waits for the list rather than seeing it empty.
    std::lock_guard lock(list.region);
    if (list.loadPending.exchange(false)) LoadAuthItems();
  }
  return list;
}

std::string Lower(std::string_view s) {
  return values::AsciiLower(s);
}

std::string NormalisedPath(std::string_view path) {
  std::string p(path);
  if (p.empty() || p.front() != '/') p.insert(p.begin(), '/');
  if (p.back() != '/') p.push_back('/');
  return p;
}

const char* DefaultPort(int type) {
  return type == kAuthItemTypeFTP ? ":21" : type == kAuthItemTypeHTTPS ? ":443" : ":80";
}

std::vector<std::string> Labels(std::string_view s) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = s.find('.', start);
    out.push_back(
        Lower(s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start)));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return out;
}

// Whether the item labels from `i` match the host labels from `h` exactly to the end of
// both. A "*" skips any run of host labels up to one equal to the label after it; every
// such point is tried, so a label that occurs twice in the host does not hide a match.
// `wildcards` gets the fewest wildcards of any match.
bool MatchLabels(const std::vector<std::string>& item, std::size_t i, const std::vector<std::string>& host,
                 std::size_t h, int& wildcards) {
  if (i == item.size()) return h == host.size();
  if (item[i] == "*") {
    if (i + 1 == item.size()) return false;
    for (std::size_t at = h; at < host.size(); ++at) {
      if (host[at] != item[i + 1]) continue;
      int rest = 0;
      if (MatchLabels(item, i + 2, host, at + 1, rest)) {
        wildcards = rest + 1;
        return true;
      }
    }
    return false;
  }
  if (h == host.size() || host[h] != item[i]) return false;
  return MatchLabels(item, i + 1, host, h + 1, wildcards);
}

// The index of the best item, or nothing. The caller holds the region.
std::optional<std::size_t> FindIndex(std::string_view hostWithPort, std::string_view path, int type) {
  const std::string wanted = NormalisedPath(path);
  const auto host = Labels(hostWithPort);
  const auto& items = List().items;
  std::optional<std::size_t> best;
  int bestScore = 1000;
  for (std::size_t n = 0; n < items.size(); ++n) {
    const AuthItemRecord& item = items[n];
    if (item.type != type) continue;
    int wildcards = 0;
    if (!MatchLabels(Labels(item.domain), 0, host, 0, wildcards)) continue;
    if (wanted.compare(0, item.path.size(), item.path) != 0) continue;
    const int score = wildcards - PathComponentCount(item.path);
    if (score < bestScore) {
      bestScore = score;
      best = n;
    }
  }
  return best;
}

AuthItem ToAuthItem(const AuthItemRecord& r) {
  return AuthItem{r.domain, r.user, r.pass, r.path, r.type};
}

std::string StringIn(const Value& d, const char* key) {
  const Value* v = d.Find(key);
  return v && v->IsString() ? *v->AsString() : std::string();
}

// Text of a fixed field: up to its first NUL, never past the field.
std::string FieldText(const std::uint8_t* field, std::size_t size) {
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(field, 0, size));
  // The older records hold whatever bytes were typed: read as Latin-1 where they are not
  // UTF-8, since the list is stored as text that must be UTF-8.
  return values::DecodeUtf8OrLatin1(std::string_view(reinterpret_cast<const char*>(field),
                                                     end ? static_cast<std::size_t>(end - field) : size));
}

std::int32_t HostInt32(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The older preference's records, 538 bytes each; lengths and the count are taken only as
// far as the fields and the data reach.
void MigrateLegacyRecords(const values::Bytes& data, std::int64_t count) {
  constexpr std::size_t kRecord = 538, kFieldSize = 128;
  const auto available = static_cast<std::int64_t>(data.size() / kRecord);
  count = std::clamp<std::int64_t>(count, 0, available);
  for (std::int64_t n = 0; n < count; ++n) {
    const std::uint8_t* r = data.data() + n * kRecord;
    const auto unscramble = [](const std::uint8_t* field, std::int32_t length, int offset) {
      const std::size_t len = static_cast<std::size_t>(std::clamp<std::int32_t>(length, 0, kFieldSize));
      std::uint8_t plain[kFieldSize] = {};
      for (std::size_t i = 0; i < len; ++i)
        plain[i] = field[i] ^ static_cast<std::uint8_t>((i + offset) & 0xFF);
      return FieldText(plain, len);
    };
    const std::string domain = FieldText(r, 256);
    const std::string user = unscramble(r + 256, HostInt32(r + 512), 27);
    const std::string pass = unscramble(r + 384, HostInt32(r + 516), 43);
    const std::string scheme = FieldText(r + 520, 16);
    const int type = scheme == "ftp"     ? kAuthItemTypeFTP
                     : scheme == "https" ? kAuthItemTypeHTTPS
                                         : kAuthItemTypeOther;
    List().items.push_back(MakeAuthItem(type, domain, user, pass, "/", r[536] != 0));
  }
}

}  // namespace

AuthItemRecord MakeAuthItem(int type, std::string_view domain, std::string_view user, std::string_view pass,
                            std::string_view path, bool dontAsk) {
  AuthItemRecord r;
  r.type = type;
  r.user = std::string(user);
  r.pass = std::string(pass);
  r.path = NormalisedPath(path);
  r.dontAsk = dontAsk;
  r.domain = std::string(domain);
  if (r.domain.find(':') == std::string::npos) r.domain += DefaultPort(type);
  return r;
}

int PathComponentCount(std::string_view path) {
  if (path == "/") return 1;
  return static_cast<int>(std::count(path.begin(), path.end(), '/')) + 1;
}

std::optional<AuthItem> FindAuthItem(std::string_view hostWithPort, std::string_view path, int type) {
  std::lock_guard lock(List().region);
  if (auto n = FindIndex(hostWithPort, path, type)) return ToAuthItem(List().items[*n]);
  return std::nullopt;
}

void AddAuthItem(int type, std::string_view domain, std::string_view path, std::string_view user,
                 std::string_view pass, bool dontAsk) {
  std::lock_guard lock(List().region);
  List().items.push_back(MakeAuthItem(type, domain, user, pass, path, dontAsk));
  SaveAuthItemsToKeychain();
}

void StoreCredentials(std::string_view host, std::string_view user, std::string_view pass, int type,
                      std::string_view path) {
  const AuthItemRecord wanted = MakeAuthItem(type, host, user, pass, path, false);
  std::lock_guard lock(List().region);
  if (auto n = FindIndex(wanted.domain, wanted.path, type)) {
    AuthItemRecord& found = List().items[*n];
    // Only the item made for this very host and path changes: a wildcard item that also
    // matches serves other hosts, whose credentials these are not.
    if (Lower(found.domain) == Lower(wanted.domain) && found.path == wanted.path) {
      found.user = wanted.user;
      found.pass = wanted.pass;
      SaveAuthItemsToKeychain();
      return;
    }
  }
  AddAuthItem(type, wanted.domain, wanted.path, wanted.user, wanted.pass, false);
}

void StoreCredentialsForURLDomain(const values::Url& url, std::string_view user, std::string_view pass) {
  const auto host = url.Host();
  const std::string scheme = Lower(url.Scheme());
  if (!host || host->empty() || scheme.empty()) return;
  // The URL's own host: widening "files.example.org" to "*.example.org" would hand these
  // credentials to every other host of the domain, some of them in other hands.
  std::string pattern = Lower(*host);
  if (url.Port() >= 0) pattern += ":" + std::to_string(url.Port());
  const int type = scheme == "ftp" || scheme == "ftps" ? kAuthItemTypeFTP
                   : scheme == "https"                 ? kAuthItemTypeHTTPS
                                                       : kAuthItemTypeOther;
  StoreCredentials(pattern, user, pass, type, "/");
}

std::optional<values::Bytes> AuthItemsDataRepresentation() {
  std::lock_guard lock(List().region);
  values::Array root;
  for (const AuthItemRecord& r : List().items) {
    // One item that cannot be stored as text is left out, never the whole list with it.
    if (!values::IsValidUtf8(r.domain) || !values::IsValidUtf8(r.user) || !values::IsValidUtf8(r.pass) ||
        !values::IsValidUtf8(r.path)) {
      if (!List().unstorableLogged) {
        List().unstorableLogged = true;
        engine::LogMessageToGlobalLog(true, kUnstorableAuthItemMessage,
                                      {values::DecodeUtf8OrLatin1(r.domain)});
      }
      continue;
    }
    root.push_back(Value{{"domain", r.domain},
                         {"user", r.user},
                         {"pass", r.pass},
                         {"path", r.path},
                         {"type", r.type},
                         {"dontAsk", r.dontAsk}});
  }
  auto bytes = values::WritePropertyList(Value{{"root", std::move(root)}}, values::PlistFormat::kBinary);
  if (!bytes) return std::nullopt;
  return std::move(bytes).value();
}

void LoadAuthItemsFromData(const values::Bytes& data) {
  std::lock_guard lock(List().region);
  List().items.clear();
  auto archive = values::ReadPropertyList(std::span<const std::uint8_t>(data));
  const values::Array* root = nullptr;
  if (!archive || archive->GetArray("root", root) != values::Lookup::kOk) return;
  for (const Value& v : *root) {
    if (!v.IsDictionary()) continue;
    std::int64_t type = 0;
    v.GetInt64("type", type);
    const Value* dontAsk = v.Find("dontAsk");
    List().items.push_back(MakeAuthItem(static_cast<int>(type), StringIn(v, "domain"), StringIn(v, "user"),
                                        StringIn(v, "pass"), StringIn(v, "path"),
                                        dontAsk != nullptr && dontAsk->BoolOr(false)));
  }
}

bool SaveAuthItemsToKeychain() {
  std::lock_guard lock(List().region);
  auto k = GetCredentialsKeychain();
  if (!k || List().storedListUnknown) return false;
  // A list that cannot be written leaves the stored one as it is: never replaced by nothing.
  const std::optional<values::Bytes> bytes = AuthItemsDataRepresentation();
  if (!bytes) return false;
  keychain::Status s = k->AddGenericPassword(kAuthItemsService, "", *bytes);
  if (s == keychain::kDuplicateItem) s = k->ReplaceGenericPassword(kAuthItemsService, "", *bytes);
  return s == keychain::kNoErr;
}

void LoadAuthItemsOnFirstUse() {
  List().loadPending = true;
}

void LoadAuthItems() {
  std::lock_guard lock(List().region);
  List().loadPending = false;
  List().items.clear();
  List().storedListUnknown = false;
  auto k = GetCredentialsKeychain();
  if (!k) return;
  values::Bytes stored;
  const keychain::Status found = k->FindGenericPassword(kAuthItemsService, "", stored);
  if (found == keychain::kNoErr) {
    LoadAuthItemsFromData(stored);
    return;
  }
  if (found != keychain::kItemNotFound) {
    List().storedListUnknown = true;
    return;
  }
  const auto legacy = util::ReadStoredSetting(util::kLegacyAuthenticationDataKey);
  if (!legacy) return;
  const Value dict(*legacy);
  std::int64_t count = 0;
  values::Bytes data;
  if (dict.GetInt64("count", count) == values::Lookup::kOk && count > 0 &&
      dict.GetData("data", data) == values::Lookup::kOk) {
    MigrateLegacyRecords(data, count);
    // The older preference goes only once the keychain holds what it held.
    if (!SaveAuthItemsToKeychain()) return;
  }
  util::RemoveSetting(util::kLegacyAuthenticationDataKey);
  util::SynchronizeSettings();
}

std::vector<AuthItemRecord> CopyAuthItems() {
  std::lock_guard lock(List().region);
  return List().items;
}

int GetAuthItemCount() {
  std::lock_guard lock(List().region);
  return static_cast<int>(List().items.size());
}

void ClearAuthItems() {
  std::lock_guard lock(List().region);
  List().items.clear();
  List().storedListUnknown = false;
}

std::optional<InternetPassword> FindKeychainInternetPasswordForServer(std::string_view server,
                                                                      values::FourCharCode protocol) {
  auto k = GetCredentialsKeychain();
  if (!k) return std::nullopt;
  std::vector<keychain::InternetPassword> found;
  keychain::InternetQuery query;
  query.server = std::string(server.substr(0, server.find(':')));
  query.protocol = protocol;
  if (k->FindInternetPasswords(query, found) != keychain::kNoErr || found.empty()) return std::nullopt;
  return InternetPassword{found.front().account, found.front().password};
}

std::string CopyKeychainPasswordForFTPLocation(std::string_view location, std::string_view account,
                                               std::string* outAccount) {
  auto k = GetCredentialsKeychain();
  if (!k) return {};
  keychain::InternetQuery query;
  std::string_view server = location;
  if (location.starts_with("ftp://")) {
    query.protocol = keychain::kProtocolFTP;
    server.remove_prefix(6);
  } else if (location.starts_with("ftps://")) {
    query.protocol = keychain::kProtocolFTPS;
    server.remove_prefix(7);
  } else {
    query.protocol = values::FourCC("TRFa");
  }
  std::uint16_t port = 0;
  if (const auto colon = server.find(':'); colon != std::string_view::npos) {
    unsigned long n = 0;
    for (std::size_t i = colon + 1; i < server.size() && server[i] >= '0' && server[i] <= '9' && n <= 0xFFFF;
         ++i)
      n = n * 10 + static_cast<unsigned long>(server[i] - '0');
    port = n <= 0xFFFF ? static_cast<std::uint16_t>(n) : 0;
    server = server.substr(0, colon);
  }
  query.server = std::string(server);
  query.account = std::string(account);
  query.port = port;
  query.authenticationType = keychain::kAuthenticationDefault;
  std::vector<keychain::InternetPassword> found;
  if (k->FindInternetPasswords(query, found) != keychain::kNoErr || found.empty()) return {};
  if (outAccount) *outAccount = found.front().account;
  return found.front().password;
}

std::optional<AuthItem> StoredAuthItems::FindAuthItem(std::string_view hostWithPort, std::string_view path,
                                                      int type) {
  return browser::FindAuthItem(hostWithPort, path, type);
}

std::optional<InternetPassword> KeychainCredentials::FindKeychainInternetPasswordForServer(
    std::string_view server, values::FourCharCode protocol) {
  return browser::FindKeychainInternetPasswordForServer(server, protocol);
}

}  // namespace browser
