#pragma once
// What the sharing tests share: a users table, a queue listing and received files as the
// server sees them, set up and put back by one fixture.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/sharing/services/received_files_service.h"
#include "app/sharing/services/shared_listing_service.h"
#include "app/util/settings/sharing_password_scramble.h"
#include "app/util/settings/sharing_users.h"

namespace sharing::testing {

inline constexpr std::uint32_t kSharedFolder = 0x100000;
inline constexpr std::uint32_t kHiddenFolder = 0x100001;
inline constexpr std::uint32_t kSmartFolder = 0x400000;
inline constexpr std::uint32_t kReceivedFolder = 22;

class FakeListing : public SharedListingService {
 public:
  std::vector<ListedFolder> folders;
  std::map<std::uint32_t, std::vector<ListedItem>> items;
  std::vector<ListedFolder> CopyFolders() override { return folders; }
  std::vector<ListedItem> CopyFolderItems(std::uint32_t uid) override {
    auto it = items.find(uid);
    return it == items.end() ? std::vector<ListedItem>{} : it->second;
  }
};

class FakeReceivedFiles : public SharedReceivedFiles {
 public:
  std::vector<ListedReceivedFile> files;
  std::vector<ListedReceivedFile> CopyReceivedFiles() override { return files; }
};

class FixedReceivedFolder : public ReceivedFilesService {
 public:
  explicit FixedReceivedFolder(std::string path) : path_(std::move(path)) {}
  std::optional<std::filesystem::path> GetReceivedFilesFolder(bool) override { return path_; }

 private:
  std::string path_;
};

inline util::SharingUserRecord User(const std::string& name, const std::string& password,
                                    std::vector<std::uint32_t> view, std::vector<std::uint32_t> download = {},
                                    bool canUpload = false) {
  util::SharingUserRecord r;
  r.passwordData = util::EncodeSharingPassword(password, name);
  r.viewUIDs = std::move(view);
  r.downloadUIDs = std::move(download);
  r.canUpload = canUpload;
  return r;
}

// bob / "pw" sees the shared folder, the smart folder and received files, and may fetch
// from the shared folder; Guest (no password) sees the shared folder only.
class SharingFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    auto listing = std::make_unique<FakeListing>();
    listing_ = listing.get();
    listing_->folders = {{kSharedFolder, "Shared", 1},
                         {kHiddenFolder, "Hidden", 1},
                         {kSmartFolder, "Smart", 9},
                         {kReceivedFolder, "Received Files", 0}};
    ListedItem a;
    a.uid = 7;
    a.folderUID = kSharedFolder;
    a.name = "a.bin";
    a.urls = "http://example.test/a.bin\rhttp://mirror.test/a.bin";
    a.referer = "http://example.test/";
    a.downloadCount = 2;
    a.size = 1234;
    a.flags = 0;
    a.finishedFileKnown = true;
    ListedItem b;
    b.uid = 8;
    b.folderUID = kSharedFolder;
    b.name = "b.txt";
    b.urls = "http://example.test/b.txt";
    b.size = -1;
    listing_->items[kSharedFolder] = {a, b};
    listing_->items[kSmartFolder] = {a};
    oldListing_ = SharedListingServiceSlot::Set(std::move(listing));
    auto received = std::make_unique<FakeReceivedFiles>();
    received_ = received.get();
    oldReceived_ = SharedReceivedFilesSlot::Set(std::move(received));
    runtime::RegionGuard inside(util::SharingUsersRegion());
    oldUsers_ = util::SharingUsers();
    util::SharingUsers() = {
        {"bob", User("bob", "pw", {kSharedFolder, kSmartFolder, kReceivedFolder}, {kSharedFolder})},
        {"Guest", User("Guest", "", {kSharedFolder})}};
  }
  void TearDown() override {
    SharedListingServiceSlot::Set(std::move(oldListing_));
    SharedReceivedFilesSlot::Set(std::move(oldReceived_));
    ReceivedFilesServiceSlot::Set(nullptr);
    runtime::RegionGuard inside(util::SharingUsersRegion());
    util::SharingUsers() = oldUsers_;
  }
  void SetUsers(util::SharingUsersTable users) {
    runtime::RegionGuard inside(util::SharingUsersRegion());
    util::SharingUsers() = std::move(users);
  }

  FakeListing* listing_ = nullptr;
  FakeReceivedFiles* received_ = nullptr;

 private:
  std::unique_ptr<SharedListingService> oldListing_;
  std::unique_ptr<SharedReceivedFiles> oldReceived_;
  util::SharingUsersTable oldUsers_;
};

}  // namespace sharing::testing
