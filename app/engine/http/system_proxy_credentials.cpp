#include "app/engine/http/system_proxy_credentials.h"

#include <optional>
#include <string>

#include "app/browser/services/credentials_service.h"
#include "app/engine/http/cookies_and_proxy_credentials.h"
#include "app/util/settings/proxy_settings.h"
#include "platform/net/proxy_settings.h"
#include "platform/values/fourcc.h"

namespace engine {

namespace {

ProxyCredentials LookUp(const std::optional<net::ProxyServer>& proxy, std::optional<long> defaultPort,
                        values::FourCharCode protocol) {
  if (!proxy || proxy->host.empty()) return {};
  const std::optional<long> port = proxy->port > 0 ? std::optional<long>(proxy->port) : std::nullopt;
  const std::string server = util::FormatProxyServer(proxy->host, port, defaultPort);
  if (const std::optional<browser::InternetPassword> found =
          browser::CredentialsServiceSlot::Get().FindKeychainInternetPasswordForServer(server, protocol)) {
    return {found->account, found->password};
  }
  if (!proxy->user.empty()) return {proxy->user, proxy->password};
  return {};
}

}  // namespace

void UpdateProxyCredentialsFromSystem() {
  const net::ProxySettings settings = net::ProxySettingsSource::Shared().Current();
  ProxyCredentials http = LookUp(settings.http, std::nullopt, values::FourCC("htpx"));
  SetHTTPProxyCredentials(std::move(http.user), std::move(http.password));
  ProxyCredentials ftp = LookUp(settings.ftp, 80, values::FourCC("ftpx"));
  SetFTPProxyCredentials(std::move(ftp.user), std::move(ftp.password));
}

}  // namespace engine
