#pragma once
// A recording ProxyCredentialsService: keeps every pair it is handed, in order.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/engine/services/proxy_credentials_service.h"

namespace engine {

struct RecordedProxyCredentials {
  std::optional<std::string> user;
  std::optional<std::string> password;
  bool operator==(const RecordedProxyCredentials&) const = default;
};

class FakeProxyCredentialsService : public ProxyCredentialsService {
 public:
  std::vector<RecordedProxyCredentials> httpCalls;
  std::vector<RecordedProxyCredentials> ftpCalls;

  void SetHTTPProxyCredentials(std::optional<std::string> user,
                               std::optional<std::string> password) override {
    httpCalls.push_back({std::move(user), std::move(password)});
  }
  void SetFTPProxyCredentials(std::optional<std::string> user, std::optional<std::string> password) override {
    ftpCalls.push_back({std::move(user), std::move(password)});
  }
};

}  // namespace engine
