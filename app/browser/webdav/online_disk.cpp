#include "app/browser/webdav/online_disk.h"

#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/desktop/workspace.h"

namespace browser {

std::string OnlineDiskServiceAddress() {
  auto value = util::ReadStoredSetting(util::kOnlineDiskServiceKey);
  std::string address = value && !value->empty() ? *value : std::string(kDefaultOnlineDiskService);
  while (address.ends_with('/')) address.pop_back();
  return address;
}

std::shared_ptr<TRIDiskConnection> TRIDiskConnection::connectionWithName(const std::string& user,
                                                                         const std::string& password,
                                                                         const std::string& iDiskName) {
  if (iDiskName.empty() || iDiskName.find('/') != std::string::npos) return nullptr;
  std::string address = OnlineDiskServiceAddress();
  const bool secure = !address.starts_with("http://");
  if (address.starts_with("http://")) address.erase(0, 7);
  if (address.starts_with("https://")) address.erase(0, 8);
  if (address.empty()) return nullptr;
  // A public disk opened without a password goes without credentials, as the service's
  // account of an empty name and password did.
  const bool anonymous = password.empty();
  return std::make_shared<TRIDiskConnection>(address, secure, anonymous ? std::string() : user,
                                             anonymous ? std::string() : password, iDiskName);
}

TRIDiskConnection::TRIDiskConnection(std::string serviceHost, bool secure, std::string user,
                                     std::string password, std::string iDiskName)
    : TRWebDAVConnection(std::move(serviceHost), "/" + iDiskName, std::move(user), std::move(password),
                         secure),
      iDiskName_(std::move(iDiskName)) {}

void OpenIDiskSignUpPage() {
  auto page = util::ReadStoredSetting(util::kOnlineDiskSignUpKey);
  if (!page || page->empty()) return;
  desktop::WorkspaceSlot::Get().OpenURL(*page);
}

}  // namespace browser
