#pragma once
// An AuthItemsService over a fixed list of items, matched by exact "host:port" and path
// prefix; records every lookup (host, path, type).

#include <string>
#include <tuple>
#include <vector>

#include "app/browser/services/auth_items_service.h"

namespace browser {

class FakeAuthItemsService : public AuthItemsService {
 public:
  std::vector<std::pair<std::string, AuthItem>> items;  // "host:port" -> item
  std::vector<std::tuple<std::string, std::string, int>> lookups;

  std::optional<AuthItem> FindAuthItem(std::string_view hostWithPort, std::string_view path,
                                       int type) override {
    lookups.emplace_back(std::string(hostWithPort), std::string(path), type);
    for (const auto& [server, item] : items) {
      if (server == hostWithPort && std::string_view(path).starts_with(item.path) && item.type == type)
        return item;
    }
    return std::nullopt;
  }
};

}  // namespace browser
