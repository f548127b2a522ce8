#pragma once
// Rows of the kinds whose owners stand behind services: plain records with public fields.

#include <cmath>
#include <optional>
#include <string>

#include "app/browser/services/remote_rows.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/upload/services/upload_rows.h"

namespace fakes {

struct FakeUpload : upload::UploadRow {
  std::string name;
  std::int64_t size = 0, sent = 0;
  float rate = 0;
  std::int32_t st = upload::kUploadWaiting;
  std::uint32_t waiting = 0;
  std::string fileName() const override { return name; }
  std::int64_t fileSize() const override { return size; }
  std::int64_t bytesTransferred() const override { return sent; }
  float speed() const override { return rate; }
  std::int32_t state() const override { return st; }
  std::uint32_t waitingIndex() const override { return waiting; }
  double totalElapsed() const override { return 0; }
  double startTime() const override { return NAN; }
  double endTime() const override { return NAN; }
  std::optional<std::string> localPath() const override { return std::nullopt; }
  std::int32_t completionCount() const override { return 0; }
  std::optional<std::string> user() const override { return std::nullopt; }
  std::optional<std::string> host() const override { return std::nullopt; }
  std::int32_t hostType() const override { return browser::kHostFTP; }
  std::optional<std::string> destinationPath() const override { return std::nullopt; }
  bool MatchesListFilter(const std::string& text) const override {
    return text.empty() || name.find(text) != std::string::npos;
  }
};

struct FakeReceivedFile : sharing::ReceivedFileRow {
  std::string fileName, sender;
  std::int32_t st = sharing::kReceivedFileReceived;
  std::optional<std::string> name() const override { return fileName; }
  std::int64_t fileSize() const override { return 10; }
  std::int64_t bytesTransferred() const override { return 10; }
  float speed() const override { return 0; }
  std::int32_t status() const override { return st; }
  double dateReceived() const override { return 100; }
  std::string userAtHost() const override { return sender; }
  std::string remoteHost() const override { return sender; }
  bool hasAlias() const override { return path.has_value(); }
  std::optional<std::string> UpdatePath() override { return path; }
  std::optional<std::string> path;  // the file, when it has one
};

struct FakeFavourite : browser::FavouriteRow {
  std::string favName = "srv", addr = "ftp.example";
  std::int32_t type = browser::kHostFTP;
  std::optional<std::string> userName;
  bool autoOn = false;
  std::string name() const override { return favName; }
  std::string address() const override { return addr; }
  bool connected() const override { return false; }
  std::int32_t hostType() const override { return type; }
  bool publicIDisk() const override { return false; }
  std::optional<std::string> user() const override { return userName; }
  std::optional<std::string> iDiskMemberName() const override { return std::nullopt; }
  bool autoConnect() const override { return autoOn; }
};

struct FakeFTPNode : browser::FTPNodeRow {
  bool parent = true;
  std::string nodeName, hostName, pathName;
  bool hasParent() const override { return parent; }
  std::string name() const override { return nodeName; }
  std::string host() const override { return hostName; }
  std::string path() const override { return pathName; }
  bool secure() const override { return false; }
  std::optional<std::string> owner() const override { return std::nullopt; }
  std::optional<std::string> group() const override { return std::nullopt; }
  std::uint32_t mode() const override { return 0755; }
  std::string user() const override { return "u"; }
  std::optional<double> modificationDate() const override { return std::nullopt; }
  bool wasOpen() const override { return false; }
  void Rename(const std::string& n) override { nodeName = n; }
};

}  // namespace fakes
