#pragma once
// What the settings store asks of the credentials store: the keychain's internet password
// for a server, used for the proxies' credentials.
//
// The remote browser registers its implementation at start-up with CredentialsServiceSlot::Set.
// The default finds nothing, so proxy credentials stay cleared.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/runtime/service_slot.h"
#include "platform/values/fourcc.h"

namespace browser {

struct InternetPassword {
  std::string account;
  std::string password;
  bool operator==(const InternetPassword&) const = default;
};

class CredentialsService {
 public:
  virtual ~CredentialsService() = default;
  // The first internet password of the keychain for the protocol ('htpx' HTTP proxy,
  // 'ftpx' FTP proxy) and the server, given as "host:port" and searched by its host.
  virtual std::optional<InternetPassword> FindKeychainInternetPasswordForServer(
      std::string_view server, values::FourCharCode protocol) = 0;
};

class DefaultCredentialsService : public CredentialsService {
 public:
  std::optional<InternetPassword> FindKeychainInternetPasswordForServer(std::string_view,
                                                                        values::FourCharCode) override {
    return std::nullopt;
  }
};

using CredentialsServiceSlot = runtime::ServiceSlot<CredentialsService, DefaultCredentialsService>;

}  // namespace browser
