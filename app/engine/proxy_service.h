#pragma once
// What the settings store asks of the download engine about proxies: the system's proxy
// settings, and the credentials to send to the HTTP and FTP proxies.
//
// The engine registers its implementation at start-up with SetProxyService. Until then
// the default stands in: it knows no system proxy (so a settings load skips the proxy
// step) and keeps the credentials it is given, guarded by a mutex, for whoever reads them.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace engine {

// The system's proxies. An absent host is empty.
struct SystemProxySettings {
  std::string httpHost;
  std::optional<long> httpPort;  // absent when the system gives none
  std::string ftpHost;
  std::optional<long> ftpPort;
};

// A user name and password for a proxy; both absent clears them.
struct ProxyCredentials {
  std::optional<std::string> user;
  std::optional<std::string> password;
  bool operator==(const ProxyCredentials&) const = default;
};

class ProxyService {
 public:
  virtual ~ProxyService() = default;
  // The system's proxy settings, or nothing when the system gives none.
  virtual std::optional<SystemProxySettings> CopySystemProxySettings() = 0;
  // Replace the credential pair of the HTTP (FTP) proxy; the transports read them.
  virtual void SetHTTPProxyCredentials(ProxyCredentials credentials) = 0;
  virtual void SetFTPProxyCredentials(ProxyCredentials credentials) = 0;
};

class DefaultProxyService : public ProxyService {
 public:
  std::optional<SystemProxySettings> CopySystemProxySettings() override { return std::nullopt; }
  void SetHTTPProxyCredentials(ProxyCredentials credentials) override {
    std::lock_guard lock(mutex_);
    http_ = std::move(credentials);
  }
  void SetFTPProxyCredentials(ProxyCredentials credentials) override {
    std::lock_guard lock(mutex_);
    ftp_ = std::move(credentials);
  }
  ProxyCredentials HTTPProxyCredentials() const {
    std::lock_guard lock(mutex_);
    return http_;
  }
  ProxyCredentials FTPProxyCredentials() const {
    std::lock_guard lock(mutex_);
    return ftp_;
  }

 private:
  mutable std::mutex mutex_;
  ProxyCredentials http_;
  ProxyCredentials ftp_;
};

inline std::unique_ptr<ProxyService>& ProxyServiceSlot() {
  static std::unique_ptr<ProxyService> service = std::make_unique<DefaultProxyService>();
  return service;
}
inline ProxyService& GetProxyService() {
  return *ProxyServiceSlot();
}
inline void SetProxyService(std::unique_ptr<ProxyService> service) {
  ProxyServiceSlot() = std::move(service);
}

}  // namespace engine
