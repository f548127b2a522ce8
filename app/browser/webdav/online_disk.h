#pragma once
// The online disk: a member's folder on the online-disk service, and its public folder.
//
// The service this program was first written for is gone, and with it its framework.
// Here the online disk is any WebDAV server standing in for it, at the address the
// preference util::kOnlineDiskServiceKey names (https unless the address says http://): the
// member "joe" finds his disk at <service>/joe/ and his public folder at
// <service>/joe-Public/. The connection speaks through the program's own WebDAV client;
// the tree above it sees only the connection's operations, as for any WebDAV server.
//
// A public disk (a member name ending in "-Public") is opened without credentials when no
// password is given, as the service let anyone read public folders.

#include <memory>
#include <string>

#include "app/browser/webdav/webdav_client.h"

namespace browser {

inline constexpr const char* kDefaultOnlineDiskService = "https://idisk.invalid";
// The sign-up page OpenIDiskSignUpPage opens; empty: there is none, nothing opens.

// The service's address from the preferences: scheme, host and an optional port.
std::string OnlineDiskServiceAddress();

class TRIDiskConnection : public TRWebDAVConnection {
 public:
  // Nothing when the member name is empty (the service would refuse the session) or the
  // service address is not usable.
  static std::shared_ptr<TRIDiskConnection> connectionWithName(const std::string& user,
                                                               const std::string& password,
                                                               const std::string& iDiskName);
  TRIDiskConnection(std::string serviceHost, bool secure, std::string user, std::string password,
                    std::string iDiskName);

  std::string iDiskName() const override { return iDiskName_; }
  void setIDiskName(std::string name) { iDiskName_ = std::move(name); }
  std::string type() const override { return "idisk"; }

 private:
  std::string iDiskName_;
};

// Opens the service's sign-up page in the default browser, when one is configured.
void OpenIDiskSignUpPage();

}  // namespace browser
