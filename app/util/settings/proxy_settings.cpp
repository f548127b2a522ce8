#include "app/util/settings/proxy_settings.h"

#include "app/browser/services/credentials_service.h"
#include "app/engine/services/proxy_credentials_service.h"
#include "platform/net/proxy_settings.h"
#include "platform/values/fourcc.h"

namespace util {

namespace {

struct Credentials {
  std::optional<std::string> user;
  std::optional<std::string> password;
};

Credentials LookUp(const std::optional<net::ProxyServer>& proxy, std::optional<long> defaultPort,
                   values::FourCharCode protocol) {
  if (!proxy || proxy->host.empty()) return {};
  const std::optional<long> port = proxy->port > 0 ? std::optional<long>(proxy->port) : std::nullopt;
  const std::string server = FormatProxyServer(proxy->host, port, defaultPort);
  if (const std::optional<browser::InternetPassword> found =
          browser::GetCredentialsService().FindKeychainInternetPasswordForServer(server, protocol)) {
    return {found->account, found->password};
  }
  if (!proxy->user.empty()) return {proxy->user, proxy->password};
  return {};
}

}  // namespace

std::string FormatProxyServer(std::string_view host, std::optional<long> port,
                              std::optional<long> defaultPort) {
  if (host.empty()) return "";
  std::string server(host);
  if (const std::optional<long> p = port ? port : defaultPort) server += ":" + std::to_string(*p);
  return server;
}

void UpdateProxyCredentialsFromSystem() {
  const net::ProxySettings settings = net::ProxySettingsSource::Shared().Current();
  engine::ProxyCredentialsService& engine = engine::GetProxyCredentialsService();
  Credentials http = LookUp(settings.http, std::nullopt, values::FourCC("htpx"));
  engine.SetHTTPProxyCredentials(std::move(http.user), std::move(http.password));
  Credentials ftp = LookUp(settings.ftp, 80, values::FourCC("ftpx"));
  engine.SetFTPProxyCredentials(std::move(ftp.user), std::move(ftp.password));
}

}  // namespace util
