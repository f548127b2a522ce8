#pragma once
// How the keychain names a proxy server (engine/http/system_proxy_credentials.h looks the
// proxies' credentials up under this name).

#include <optional>
#include <string>
#include <string_view>

namespace util {

// The proxy server as the keychain knows it: the host followed by ":port". The HTTP port
// is appended only when the system gives one; the FTP port is 80 when it gives none. An
// absent host gives "".
std::string FormatProxyServer(std::string_view host, std::optional<long> port,
                              std::optional<long> defaultPort);

}  // namespace util
