#pragma once
// What the download engine asks of the credentials store: the stored authorisation
// ("AuthItem") for a server and path, used when a URL carries no user or password of
// its own.
//
// An item matches when its domain pattern matches the host label by label and its path
// is a prefix of the asked path (the asked path first made to begin and end with "/").
// The host is asked with its port ("host:443"), the type is 0 for HTTP and anything
// else, 1 for FTP, 2 for HTTPS.
//
// The remote browser registers the real store at start-up with AuthItemsServiceSlot::Set;
// until then the default finds nothing, so a server that asks for credentials makes the
// download ask the user.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/runtime/service_slot.h"

namespace browser {

inline constexpr int kAuthItemTypeOther = 0;
inline constexpr int kAuthItemTypeFTP = 1;
inline constexpr int kAuthItemTypeHTTPS = 2;

struct AuthItem {
  std::string domain;
  std::string user;
  std::string password;
  std::string path;
  int type = kAuthItemTypeOther;
};

class AuthItemsService {
 public:
  virtual ~AuthItemsService() = default;
  // Any thread. Nothing when no stored item matches.
  virtual std::optional<AuthItem> FindAuthItem(std::string_view hostWithPort, std::string_view path,
                                               int type) = 0;
};

class NoAuthItems : public AuthItemsService {
 public:
  std::optional<AuthItem> FindAuthItem(std::string_view, std::string_view, int) override {
    return std::nullopt;
  }
};

using AuthItemsServiceSlot = runtime::ServiceSlot<AuthItemsService, NoAuthItems>;

}  // namespace browser
