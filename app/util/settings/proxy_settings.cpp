#include "app/util/settings/proxy_settings.h"

namespace util {

std::string FormatProxyServer(std::string_view host, std::optional<long> port,
                              std::optional<long> defaultPort) {
  if (host.empty()) return "";
  std::string server(host);
  if (const std::optional<long> p = port ? port : defaultPort) server += ":" + std::to_string(*p);
  return server;
}

}  // namespace util
