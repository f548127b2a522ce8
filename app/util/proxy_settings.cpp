#include "app/util/proxy_settings.h"

#include "app/browser/credentials_service.h"
#include "app/engine/proxy_service.h"
#include "platform/values/fourcc.h"

namespace util {

namespace {

engine::ProxyCredentials LookUp(const std::string& server, values::FourCharCode protocol) {
  if (server.empty()) return {};
  const std::optional<browser::InternetPassword> found =
      browser::GetCredentialsService().FindKeychainInternetPasswordForServer(server, protocol);
  if (!found) return {};
  return {found->account, found->password};
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
  engine::ProxyService& proxies = engine::GetProxyService();
  const std::optional<engine::SystemProxySettings> settings = proxies.CopySystemProxySettings();
  if (!settings) return;
  proxies.SetHTTPProxyCredentials(LookUp(
      FormatProxyServer(settings->httpHost, settings->httpPort, std::nullopt), values::FourCC("htpx")));
  proxies.SetFTPProxyCredentials(
      LookUp(FormatProxyServer(settings->ftpHost, settings->ftpPort, 80), values::FourCC("ftpx")));
}

}  // namespace util
