#pragma once
// A CredentialsService over a fixed table of internet passwords, keyed by protocol and
// host (the server name before the colon, as the keychain search goes); records
// every search.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/browser/services/credentials_service.h"

namespace browser {

class FakeCredentialsService : public CredentialsService {
 public:
  std::map<std::pair<values::FourCharCode, std::string>, InternetPassword> items;
  std::vector<std::pair<std::string, values::FourCharCode>> searches;

  std::optional<InternetPassword> FindKeychainInternetPasswordForServer(
      std::string_view server, values::FourCharCode protocol) override {
    searches.emplace_back(std::string(server), protocol);
    const std::string host(server.substr(0, server.find(':')));
    auto it = items.find({protocol, host});
    if (it == items.end()) return std::nullopt;
    return it->second;
  }
};

}  // namespace browser
