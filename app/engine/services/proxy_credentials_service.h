#pragma once
// What the settings store asks of the download engine about proxies: replace the
// credential pair the transports send to the HTTP proxy and the one for the FTP proxy.
//
// The settings store sits below the engine and cannot call it directly, so it calls this
// interface. Start-up registers the engine's own pair (EngineProxyCredentialsService,
// below) with SetProxyCredentialsService; until then the default drops what it is given
// (nothing reads proxy credentials before the engine exists).

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/engine/http/cookies_and_proxy_credentials.h"

namespace engine {

class ProxyCredentialsService {
 public:
  virtual ~ProxyCredentialsService() = default;
  // Both absent clears the pair.
  virtual void SetHTTPProxyCredentials(std::optional<std::string> user,
                                       std::optional<std::string> password) = 0;
  virtual void SetFTPProxyCredentials(std::optional<std::string> user,
                                      std::optional<std::string> password) = 0;
};

class DefaultProxyCredentialsService : public ProxyCredentialsService {
 public:
  void SetHTTPProxyCredentials(std::optional<std::string>, std::optional<std::string>) override {}
  void SetFTPProxyCredentials(std::optional<std::string>, std::optional<std::string>) override {}
};

// The engine's pair (cookies_and_proxy_credentials.h), for start-up to register.
class EngineProxyCredentialsService : public ProxyCredentialsService {
 public:
  void SetHTTPProxyCredentials(std::optional<std::string> user,
                               std::optional<std::string> password) override {
    engine::SetHTTPProxyCredentials(std::move(user), std::move(password));
  }
  void SetFTPProxyCredentials(std::optional<std::string> user, std::optional<std::string> password) override {
    engine::SetFTPProxyCredentials(std::move(user), std::move(password));
  }
};

inline std::unique_ptr<ProxyCredentialsService>& ProxyCredentialsServiceSlot() {
  static std::unique_ptr<ProxyCredentialsService> service =
      std::make_unique<DefaultProxyCredentialsService>();
  return service;
}
inline ProxyCredentialsService& GetProxyCredentialsService() {
  return *ProxyCredentialsServiceSlot();
}
inline void SetProxyCredentialsService(std::unique_ptr<ProxyCredentialsService> service) {
  ProxyCredentialsServiceSlot() = std::move(service);
}

}  // namespace engine
