// truvane-bench-peer-server: this copy's file server, on its own, serving one file to a peer
// over loopback the way a shared download is served (digest login, session key required),
// for bench/peer_compare.sh.
//
//   truvane-bench-peer-server FILE PORT
//
// The file is item 1 of a shared folder of user "bob" (password "pw"); fetch it as
// http://bob:pw@127.0.0.1:PORT/1?dig (truvane-bench-download --peer). Serves until its
// standard input closes. Settings and the server key live in a throw-away folder.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/sharing/crypto/server_key.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/services/shared_listing_service.h"
#include "app/util/settings/settings_store.h"
#include "app/util/settings/sharing_password_scramble.h"
#include "app/util/settings/sharing_users.h"
#include "platform/prefs/preference_store.h"

namespace {

constexpr std::uint32_t kFolder = 0x100000;

class OneFile : public sharing::SharedListingService {
 public:
  explicit OneFile(std::string path) : path_(std::move(path)) {}
  std::vector<sharing::ListedFolder> CopyFolders() override { return {{kFolder, "Shared", 1}}; }
  std::vector<sharing::ListedItem> CopyFolderItems(std::uint32_t) override { return {}; }
  sharing::SharedItemAccess FindSharedItemFile(std::uint32_t uid, const std::vector<std::uint32_t>&,
                                               sharing::SharedItemFile& file) override {
    if (uid != 1) return sharing::SharedItemAccess::kNotFound;
    file.path = path_;
    file.name = std::filesystem::path(path_).filename().string();
    return sharing::SharedItemAccess::kGranted;
  }

 private:
  std::string path_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: truvane-bench-peer-server FILE PORT\n");
    return 2;
  }
  char folderTemplate[] = "/tmp/truvane-bench-peer-XXXXXX";
  const char* folder = ::mkdtemp(folderTemplate);
  if (folder == nullptr) return 1;
  ::setenv("XDG_DATA_HOME", folder, 1);
  prefs::PreferenceStore store(folder);
  util::SetSettingsPreferences(&store);
  util::ChangeSettings([](util::Settings& s) { s.requireSecureTransfer = true; });
  sharing::SharedListingServiceSlot::Set(std::make_unique<OneFile>(argv[1]));
  {
    runtime::RegionGuard inside(util::SharingUsersRegion());
    util::SharingUserRecord bob;
    bob.passwordData = util::EncodeSharingPassword("pw", "bob");
    bob.viewUIDs = {kFolder};
    bob.downloadUIDs = {kFolder};
    util::SharingUsers() = {{"bob", bob}};
  }
  if (!sharing::CopyOrCreateServerKey()) return 1;
  sharing::FileTransferServerOptions options;
  options.port = static_cast<std::uint16_t>(std::atoi(argv[2]));
  options.loopbackOnly = true;
  auto server = sharing::FileTransferServer::Start(options);
  if (!server) {
    std::fprintf(stderr, "cannot listen on port %s\n", argv[2]);
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  char c;
  while (::read(0, &c, 1) > 0) {
  }
  server->Stop();
  util::SetSettingsPreferences(nullptr);
  std::filesystem::remove_all(folder);
  return 0;
}
