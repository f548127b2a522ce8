#include "platform/keychain/secret_service_keychain.h"

#include "platform/keychain/file_keychain.h"

#include <libsecret/secret.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <tuple>
#include <utility>

namespace keychain {
namespace {

constexpr const char* kSecretsBusName = "org.freedesktop.secrets";
// A service that does not answer within this is taken as absent.
constexpr int kProbeTimeoutMs = 3000;

const SecretSchema* GenericSchema() {
  static const SecretSchema schema = {"com.orbenix.Truvane.GenericPassword",
                                      SECRET_SCHEMA_NONE,
                                      {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                      0,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr};
  return &schema;
}

const SecretSchema* NetworkSchema() {
  static const SecretSchema schema = {"org.gnome.keyring.NetworkPassword",
                                      SECRET_SCHEMA_DONT_MATCH_NAME,
                                      {{"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"domain", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"object", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"protocol", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"port", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
                                       {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"authtype", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                      0,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr};
  return &schema;
}

struct HashTableUnref {
  void operator()(GHashTable* t) const { g_hash_table_unref(t); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableUnref>;

Attributes NewAttributes() {
  return Attributes(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
}
void Put(GHashTable* t, const char* key, const std::string& value) {
  g_hash_table_insert(t, g_strdup(key), g_strdup(value.c_str()));
}

Attributes GenericAttributes(const std::string& service, const std::string& account) {
  auto attrs = NewAttributes();
  Put(attrs.get(), "service", service);
  Put(attrs.get(), "account", account);
  return attrs;
}

// Every GError ends here: logged nowhere, told apart from "not found" by the caller.
Status Failed(GError* error) {
  if (error) g_error_free(error);
  return kNotAvailable;
}

constexpr std::array<std::pair<values::FourCharCode, const char*>, 7> kProtocolNames = {{
    {kProtocolFTP, "ftp"},
    {kProtocolFTPS, "ftps"},
    {kProtocolFTPAccount, "ftp-account"},
    {kProtocolHTTP, "http"},
    {kProtocolHTTPS, "https"},
    {kProtocolHTTPProxy, "http-proxy"},
    {kProtocolFTPProxy, "ftp-proxy"},
}};

std::string AuthTypeName(values::FourCharCode code) {
  return code == kAuthenticationDefault ? "default" : values::FourCCString(code);
}
values::FourCharCode AuthTypeCode(const char* name) {
  if (name == nullptr || std::string_view(name) == "default") return kAuthenticationDefault;
  const std::string_view s(name);
  if (s.size() != 4) return kAuthenticationDefault;
  return values::FourCCFromBytes(s[0], s[1], s[2], s[3]);
}

bool NameAnswers(GDBusConnection* bus) {
  GError* error = nullptr;
  GVariant* owned = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "NameHasOwner",
                                                g_variant_new("(s)", kSecretsBusName), G_VARIANT_TYPE("(b)"),
                                                G_DBUS_CALL_FLAGS_NONE, kProbeTimeoutMs, nullptr, &error);
  if (owned == nullptr) {
    g_error_free(error);
    return false;
  }
  gboolean hasOwner = FALSE;
  g_variant_get(owned, "(b)", &hasOwner);
  g_variant_unref(owned);
  if (hasOwner) return true;
  // Not running yet: a desktop starts it on demand when it is activatable.
  GVariant* names = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListActivatableNames",
      nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, kProbeTimeoutMs, nullptr, &error);
  if (names == nullptr) {
    g_error_free(error);
    return false;
  }
  bool found = false;
  GVariantIter* iter = nullptr;
  const gchar* name = nullptr;
  g_variant_get(names, "(as)", &iter);
  while (g_variant_iter_loop(iter, "&s", &name)) {
    if (std::string_view(name) == kSecretsBusName) found = true;
  }
  g_variant_iter_free(iter);
  g_variant_unref(names);
  return found;
}

}  // namespace

std::string SecretServiceKeychain::ProtocolName(values::FourCharCode protocol) {
  for (const auto& [code, name] : kProtocolNames) {
    if (code == protocol) return name;
  }
  std::string text = values::FourCCString(protocol);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

values::FourCharCode SecretServiceKeychain::ProtocolCode(const std::string& name) {
  for (const auto& [code, known] : kProtocolNames) {
    if (name == known) return code;
  }
  if (name.empty() || name.size() > 4) return 0;
  std::string padded = name;
  padded.resize(4, ' ');
  return values::FourCCFromBytes(padded[0], padded[1], padded[2], padded[3]);
}

std::unique_ptr<SecretServiceKeychain> SecretServiceKeychain::Connect() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  // Without an address GLib would try to launch a bus of its own through X11.
  if (address == nullptr || *address == '\0') return nullptr;
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (bus == nullptr) {
    g_error_free(error);
    return nullptr;
  }
  const bool answers = NameAnswers(bus);
  g_object_unref(bus);
  if (!answers) return nullptr;
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
  if (service == nullptr) {
    g_error_free(error);
    return nullptr;
  }
  g_object_unref(service);
  return std::unique_ptr<SecretServiceKeychain>(new SecretServiceKeychain());
}

Status SecretServiceKeychain::StoreGeneric(const std::string& service, const std::string& account,
                                           const values::Bytes& data) {
  auto attrs = GenericAttributes(service, account);
  SecretValue* value = secret_value_new(reinterpret_cast<const gchar*>(data.data()),
                                        static_cast<gssize>(data.size()), "application/octet-stream");
  GError* error = nullptr;
  const gboolean stored = secret_password_storev_binary_sync(
      GenericSchema(), attrs.get(), SECRET_COLLECTION_DEFAULT, service.c_str(), value, nullptr, &error);
  secret_value_unref(value);
  return stored ? kNoErr : Failed(error);
}

Status SecretServiceKeychain::AddGenericPassword(const std::string& service, const std::string& account,
                                                 const values::Bytes& data) {
  std::lock_guard lock(mutex_);
  auto attrs = GenericAttributes(service, account);
  GError* error = nullptr;
  SecretValue* existing = secret_password_lookupv_binary_sync(GenericSchema(), attrs.get(), nullptr, &error);
  if (error) return Failed(error);
  if (existing) {
    secret_value_unref(existing);
    return kDuplicateItem;
  }
  return StoreGeneric(service, account, data);
}

Status SecretServiceKeychain::FindGenericPassword(const std::string& service, const std::string& account,
                                                  values::Bytes& data) {
  std::lock_guard lock(mutex_);
  auto attrs = GenericAttributes(service, account);
  GError* error = nullptr;
  SecretValue* value = secret_password_lookupv_binary_sync(GenericSchema(), attrs.get(), nullptr, &error);
  if (error) return Failed(error);
  if (value == nullptr) return kItemNotFound;
  gsize length = 0;
  const gchar* bytes = secret_value_get(value, &length);
  data.assign(reinterpret_cast<const std::uint8_t*>(bytes),
              reinterpret_cast<const std::uint8_t*>(bytes) + length);
  secret_value_unref(value);
  return kNoErr;
}

Status SecretServiceKeychain::ReplaceGenericPassword(const std::string& service, const std::string& account,
                                                     const values::Bytes& data) {
  std::lock_guard lock(mutex_);
  auto attrs = GenericAttributes(service, account);
  GError* error = nullptr;
  SecretValue* existing = secret_password_lookupv_binary_sync(GenericSchema(), attrs.get(), nullptr, &error);
  if (error) return Failed(error);
  if (existing == nullptr) return kItemNotFound;
  secret_value_unref(existing);
  // The same attributes in the same collection: the service replaces the item's secret.
  return StoreGeneric(service, account, data);
}

Status SecretServiceKeychain::DeleteGenericPassword(const std::string& service, const std::string& account) {
  std::lock_guard lock(mutex_);
  auto attrs = GenericAttributes(service, account);
  GError* error = nullptr;
  const gboolean removed = secret_password_clearv_sync(GenericSchema(), attrs.get(), nullptr, &error);
  if (error) return Failed(error);
  return removed ? kNoErr : kItemNotFound;
}

Status SecretServiceKeychain::AddInternetPassword(const InternetPassword& item) {
  {
    std::vector<InternetPassword> found;
    InternetQuery query{item.server, item.protocol, item.account, item.port, item.authenticationType};
    const Status s = FindInternetPasswords(query, found);
    if (s == kNotAvailable) return s;
    for (const auto& f : found) {
      if (f.path == item.path) return kDuplicateItem;
    }
  }
  std::lock_guard lock(mutex_);
  auto attrs = NewAttributes();
  Put(attrs.get(), "server", item.server);
  Put(attrs.get(), "user", item.account);
  Put(attrs.get(), "object", item.path);
  Put(attrs.get(), "protocol", ProtocolName(item.protocol));
  Put(attrs.get(), "authtype", AuthTypeName(item.authenticationType));
  if (item.port != 0) Put(attrs.get(), "port", std::to_string(item.port));
  GError* error = nullptr;
  const gboolean stored =
      secret_password_storev_sync(NetworkSchema(), attrs.get(), SECRET_COLLECTION_DEFAULT,
                                  item.server.c_str(), item.password.c_str(), nullptr, &error);
  return stored ? kNoErr : Failed(error);
}

Status SecretServiceKeychain::FindInternetPasswords(const InternetQuery& query,
                                                    std::vector<InternetPassword>& found) {
  std::lock_guard lock(mutex_);
  found.clear();
  // Searched by server and protocol only; the optional fields are compared here, so an
  // item another program stored without a port or an authentication type is still seen.
  auto attrs = NewAttributes();
  Put(attrs.get(), "server", query.server);
  Put(attrs.get(), "protocol", ProtocolName(query.protocol));
  GError* error = nullptr;
  GList* items = secret_password_searchv_sync(
      NetworkSchema(), attrs.get(),
      static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS),
      nullptr, &error);
  if (error) return Failed(error);
  std::vector<std::pair<guint64, InternetPassword>> matches;
  for (GList* l = items; l != nullptr; l = l->next) {
    auto* retrievable = static_cast<SecretRetrievable*>(l->data);
    GHashTable* a = secret_retrievable_get_attributes(retrievable);
    auto text = [a](const char* key) {
      const auto* v = static_cast<const char*>(g_hash_table_lookup(a, key));
      return v ? std::string(v) : std::string();
    };
    InternetPassword item;
    item.server = text("server");
    item.account = text("user");
    item.path = text("object");
    item.protocol = ProtocolCode(text("protocol"));
    item.authenticationType = AuthTypeCode(static_cast<const char*>(g_hash_table_lookup(a, "authtype")));
    const std::string port = text("port");
    const long portNumber = port.empty() ? 0 : std::strtol(port.c_str(), nullptr, 10);
    item.port = portNumber > 0 && portNumber <= 0xFFFF ? static_cast<std::uint16_t>(portNumber) : 0;
    const guint64 created = secret_retrievable_get_created(retrievable);
    g_hash_table_unref(a);
    if (query.account && item.account != *query.account) continue;
    if (query.port && item.port != *query.port) continue;
    if (query.authenticationType && item.authenticationType != *query.authenticationType) continue;
    GError* secretError = nullptr;
    SecretValue* value = secret_retrievable_retrieve_secret_sync(retrievable, nullptr, &secretError);
    if (value == nullptr) {
      if (secretError) g_error_free(secretError);
      continue;
    }
    gsize length = 0;
    const gchar* secret = secret_value_get(value, &length);
    item.password.assign(secret, length);
    secret_value_unref(value);
    matches.emplace_back(created, std::move(item));
  }
  g_list_free_full(items, g_object_unref);
  // Creation times have whole seconds: items made in the same second keep a fixed order.
  std::sort(matches.begin(), matches.end(), [](const auto& a, const auto& b) {
    return std::tie(a.first, a.second.account, a.second.port, a.second.path, a.second.password) <
           std::tie(b.first, b.second.account, b.second.port, b.second.path, b.second.password);
  });
  for (auto& m : matches) found.push_back(std::move(m.second));
  return found.empty() ? kItemNotFound : kNoErr;
}

std::unique_ptr<Keychain> OpenUserKeychain() {
  if (auto service = SecretServiceKeychain::Connect()) return service;
  return FileKeychain::OpenDefault();
}

std::vector<std::unique_ptr<Keychain>> OpenUserKeychains() {
  std::vector<std::unique_ptr<Keychain>> all;
  if (auto service = SecretServiceKeychain::Connect()) all.push_back(std::move(service));
  all.push_back(FileKeychain::OpenDefault());
  return all;
}

}  // namespace keychain
