#pragma once
// A recording ProxyService: answers the system proxy settings it is given and keeps every
// credential pair it is handed, in order.

#include <optional>
#include <vector>

#include "app/engine/proxy_service.h"

namespace engine {

class FakeProxyService : public ProxyService {
 public:
  std::optional<SystemProxySettings> systemSettings;
  std::vector<ProxyCredentials> httpCalls;
  std::vector<ProxyCredentials> ftpCalls;

  std::optional<SystemProxySettings> CopySystemProxySettings() override { return systemSettings; }
  void SetHTTPProxyCredentials(ProxyCredentials credentials) override {
    httpCalls.push_back(std::move(credentials));
  }
  void SetFTPProxyCredentials(ProxyCredentials credentials) override {
    ftpCalls.push_back(std::move(credentials));
  }
};

}  // namespace engine
