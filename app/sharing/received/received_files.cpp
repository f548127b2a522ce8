#include "app/sharing/received/received_files.h"

#include <sys/stat.h>

#include <cmath>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

#include "app/sharing/fileserver/file_server_events.h"
#include "app/util/files/file_bridges.h"
#include "app/util/settings/download_folder.h"
#include "app/util/settings/settings_store.h"
#include "app/util/settings/sharing_users.h"
#include "platform/files/alias.h"
#include "platform/values/clock.h"
#include "platform/values/uuid.h"

namespace sharing {

namespace fs = std::filesystem;

struct ReceivedFileAccess {
  static ReceivedFile::Fields& Of(ReceivedFile& f) { return f.f_; }
  static const ReceivedFile::Fields& Of(const ReceivedFile& f) { return f.f_; }
};

namespace {

using Access = ReceivedFileAccess;

std::recursive_mutex& ListLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::map<std::string, ReceivedFileRef>& List() {
  static std::map<std::string, ReceivedFileRef> list;
  return list;
}

void Changed() {
  runtime::CallHook(ReceivedFileHooksSlot::Get().listChanged);
}

values::Bytes AliasOf(const std::string& path) {
  auto alias = files::MakeAlias(files::FileRef(path));
  return alias.ok() ? files::AliasToBytes(*alias) : values::Bytes{};
}

std::int64_t FileSizeAt(const std::string& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  return ec ? 0 : static_cast<std::int64_t>(size);
}

double Now() {
  return values::Now();
}

}  // namespace

std::optional<std::string> ReceivedFile::name() const {
  std::lock_guard lock(ListLock());
  return f_.name;
}
std::int64_t ReceivedFile::fileSize() const {
  std::lock_guard lock(ListLock());
  return f_.fileSize;
}
std::int64_t ReceivedFile::bytesTransferred() const {
  std::lock_guard lock(ListLock());
  return f_.bytesTransferred;
}
float ReceivedFile::speed() const {
  std::lock_guard lock(ListLock());
  return f_.speed;
}
std::int32_t ReceivedFile::status() const {
  std::lock_guard lock(ListLock());
  return f_.status;
}
double ReceivedFile::dateReceived() const {
  std::lock_guard lock(ListLock());
  return f_.status == kReceivedFileReceived ? f_.dateReceived : std::nan("");
}
std::string ReceivedFile::userAtHost() const {
  std::lock_guard lock(ListLock());
  return f_.user + "@" + f_.host;
}
std::string ReceivedFile::remoteHost() const {
  std::lock_guard lock(ListLock());
  return f_.host;
}
bool ReceivedFile::hasAlias() const {
  std::lock_guard lock(ListLock());
  return !f_.alias.empty();
}
std::string ReceivedFile::uidString() const {
  std::lock_guard lock(ListLock());
  return f_.uidString;
}
ReceivedFile::Fields ReceivedFile::Copy() const {
  std::lock_guard lock(ListLock());
  return f_;
}

std::optional<std::string> ReceivedFile::UpdatePath() {
  std::lock_guard lock(ListLock());
  std::error_code ec;
  if (f_.path && fs::exists(*f_.path, ec)) return f_.path;
  if (f_.alias.empty()) return f_.path;
  auto alias = files::AliasFromBytes(f_.alias);
  if (!alias.ok()) return f_.path = std::nullopt;
  auto resolved = files::ResolveAlias(*alias);
  if (!resolved.ok()) return f_.path = std::nullopt;
  if (resolved->updated) f_.alias = files::AliasToBytes(*alias);
  return f_.path = resolved->ref.Path();
}

ReceivedFileRef ReceivedFileAddPartial(const std::string& partialPath, const std::string& name,
                                       const std::string& user, const std::string& host,
                                       const std::string& uid, std::int64_t dataForkSize,
                                       std::int64_t wholeSize, std::shared_ptr<TransferCancelSource> cancel) {
  ReceivedFileRef file;
  {
    std::lock_guard lock(ListLock());
    if (auto it = List().find(uid); it != List().end()) {
      file = it->second;
    } else {
      ReceivedFile::Fields f;
      f.path = partialPath;
      f.alias = AliasOf(partialPath);
      f.name = name;
      f.uidString = uid;
      f.user = user;
      f.host = host;
      f.fileSize = wholeSize;
      f.dataForkSize = dataForkSize;
      f.dateReceived = std::nan("");
      file = std::make_shared<ReceivedFile>(std::move(f));
      List()[uid] = file;
    }
  }
  ReceivedFileSetCancelSource(file, std::move(cancel));
  return file;
}

ReceivedFileRef ReceivedFileAddComplete(const std::string& path, const std::string& user,
                                        const std::string& host, const std::string& uid) {
  ReceivedFileRef file;
  {
    std::lock_guard lock(ListLock());
    if (auto it = List().find(uid); it != List().end()) {
      file = it->second;
      auto& f = Access::Of(*file);
      f.host = host;
      f.path = path;
      f.alias = AliasOf(path);
      f.name = fs::path(path).filename().string();
      f.dateReceived = Now();
      f.status = kReceivedFileReceived;
      f.bytesTransferred = f.fileSize;
    } else {
      ReceivedFile::Fields f;
      f.path = path;
      f.alias = AliasOf(path);
      f.name = fs::path(path).filename().string();
      f.uidString = uid;
      f.user = user;
      f.host = host;
      f.fileSize = f.dataForkSize = f.bytesTransferred = FileSizeAt(path);
      f.dateReceived = Now();
      f.status = kReceivedFileReceived;
      file = std::make_shared<ReceivedFile>(std::move(f));
      List()[uid] = file;
    }
  }
  Changed();
  return file;
}

ReceivedFileRef ReceivedFileFindByUUID(const std::string& uid) {
  std::lock_guard lock(ListLock());
  auto it = List().find(uid);
  return it == List().end() ? nullptr : it->second;
}

std::vector<ReceivedFileRef> ReceivedFilesCopyArray() {
  std::lock_guard lock(ListLock());
  std::vector<ReceivedFileRef> out;
  for (const auto& [uid, f] : List()) out.push_back(f);
  return out;
}

std::size_t ReceivedFilesCount() {
  std::lock_guard lock(ListLock());
  return List().size();
}

void ReceivedFileSetCancelSource(const ReceivedFileRef& file, std::shared_ptr<TransferCancelSource> cancel) {
  if (!file) return;
  {
    std::lock_guard lock(ListLock());
    auto& f = Access::Of(*file);
    if (cancel) {
      f.cancel = std::move(cancel);
      f.status = kReceivedFileReceiving;
    } else if (f.cancel) {
      f.cancel.reset();
      f.status = kReceivedFileIncomplete;
    }
  }
  Changed();
}

void ReceivedFileCancel(const ReceivedFileRef& file) {
  if (!file) return;
  std::shared_ptr<TransferCancelSource> cancel;
  {
    std::lock_guard lock(ListLock());
    cancel = Access::Of(*file).cancel;
  }
  if (cancel) cancel->Signal();
}

void ReceivedFilesCancelAll() {
  for (const auto& f : ReceivedFilesCopyArray()) ReceivedFileCancel(f);
}

void ReceivedFileSetBytesTransferred(const ReceivedFileRef& file, std::int64_t bytes) {
  if (!file) return;
  {
    std::lock_guard lock(ListLock());
    Access::Of(*file).bytesTransferred = bytes;
  }
  Changed();
}

void ReceivedFileSetSpeed(const ReceivedFileRef& file, float speed) {
  if (!file) return;
  std::lock_guard lock(ListLock());
  Access::Of(*file).speed = speed;
}

void ReceivedFileAddToList(const ReceivedFileRef& file) {
  if (!file) return;
  {
    std::lock_guard lock(ListLock());
    List()[Access::Of(*file).uidString] = file;
  }
  Changed();
}

bool ReceivedFileRemove(const ReceivedFileRef& file, bool undoable) {
  if (!file) return false;
  {
    std::lock_guard lock(ListLock());
    const auto& f = Access::Of(*file);
    if (f.status == kReceivedFileReceiving) return false;
    auto it = List().find(f.uidString);
    if (it == List().end() || it->second != file) return false;
    List().erase(it);
  }
  if (undoable) runtime::CallHook(ReceivedFileHooksSlot::Get().registerUndoRemoved, file);
  Changed();
  return true;
}

void ReceivedFilesRemoveAll(bool moveToTrash) {
  std::lock_guard lock(ListLock());
  const auto all = ReceivedFilesCopyArray();
  if (moveToTrash) {
    std::vector<std::string> paths;
    for (const auto& f : all) {
      if (f->status() == kReceivedFileReceiving) continue;
      if (auto p = f->UpdatePath()) paths.push_back(*p);
    }
    if (!paths.empty()) util::MoveItemsToTrash(paths);
  }
  for (const auto& f : all) ReceivedFileRemove(f);
}

void ClearReceivedFilesForTests() {
  std::lock_guard lock(ListLock());
  List().clear();
}

values::Value ArchiveReceivedFiles() {
  values::Array out;
  for (const auto& file : ReceivedFilesCopyArray()) {
    const auto f = file->Copy();
    values::Dictionary d;
    d["alias"] = values::Value(values::Data{f.alias});
    if (f.path) d["path"] = values::Value(*f.path);
    d["name"] = values::Value(f.name);
    d["uidString"] = values::Value(f.uidString);
    d["user"] = values::Value(f.user);
    d["host"] = values::Value(f.host);
    if (!std::isnan(f.dateReceived)) d["dateReceived"] = values::Value(values::Date{f.dateReceived});
    d["fileSize"] = values::Value(values::Number::Int64(f.fileSize));
    d["dataForkSize"] = values::Value(values::Number::Int64(f.dataForkSize));
    d["bytesTransferred"] = values::Value(values::Number::Int64(f.bytesTransferred));
    d["status"] = values::Value(values::Number::Int32(f.status));
    d["speed"] = values::Value(f.speed);
    out.push_back(values::Value(std::move(d)));
  }
  return values::Value(std::move(out));
}

void UnarchiveReceivedFiles(const values::Value& files) {
  std::map<std::string, ReceivedFileRef> list;
  if (const values::Array* array = files.AsArray()) {
    for (const values::Value& v : *array) {
      if (!v.AsDictionary()) continue;
      ReceivedFile::Fields f;
      f.uidString = v.Find("uidString") ? v.Find("uidString")->StringOr("") : "";
      if (f.uidString.empty()) continue;
      if (const values::Value* p = v.Find("path"); p && p->AsString()) f.path = *p->AsString();
      if (const values::Value* a = v.Find("alias"); a && a->AsData()) f.alias = a->AsData()->bytes;
      f.name = v.Find("name") ? v.Find("name")->StringOr("") : "";
      f.user = v.Find("user") ? v.Find("user")->StringOr("") : "";
      f.host = v.Find("host") ? v.Find("host")->StringOr("") : "";
      values::Date date{};
      f.dateReceived = v.GetDate("dateReceived", date) == values::Lookup::kOk ? date.seconds : std::nan("");
      v.GetInt64("fileSize", f.fileSize);
      v.GetInt64("dataForkSize", f.dataForkSize);
      v.GetInt64("bytesTransferred", f.bytesTransferred);
      std::int64_t status = kReceivedFileIncomplete;
      v.GetInt64("status", status);
      // No transfer survives a restart.
      f.status = status == kReceivedFileReceived ? kReceivedFileReceived : kReceivedFileIncomplete;
      double speed = 0;
      v.GetDouble("speed", speed);
      f.speed = static_cast<float>(speed);
      auto file = std::make_shared<ReceivedFile>(std::move(f));
      file->UpdatePath();
      list[file->uidString()] = file;
    }
  }
  {
    std::lock_guard lock(ListLock());
    List() = std::move(list);
  }
  Changed();
}

std::optional<fs::path> GetReceivedFilesFolder(bool create) {
  runtime::RegionGuard inside(util::IncomingFolderRegion());
  auto& stored = util::IncomingFolderAlias();
  if (stored && !stored->empty()) {
    if (auto alias = files::AliasFromBytes(*stored); alias.ok()) {
      if (auto resolved = files::ResolveAlias(*alias); resolved.ok()) {
        std::error_code ec;
        if (fs::is_directory(resolved->ref.Path(), ec)) {
          if (resolved->updated) stored = files::AliasToBytes(*alias);
          return fs::path(resolved->ref.Path());
        }
      }
    }
  }
  if (!create) return std::nullopt;
  std::error_code ec;
  // The folder the person last chose, when it still is or can be made again; else the
  // default one under the download folder.
  fs::path folder;
  if (const fs::path last = util::CurrentSettings()->lastUploadFolderPath; last.is_absolute()) {
    fs::create_directories(last, ec);
    if (fs::is_directory(last, ec)) folder = last;
  }
  if (folder.empty()) {
    files::FileRef downloads;
    if (!util::GetDefaultDownloadFolder(downloads)) return std::nullopt;
    folder = fs::path(downloads.Path()) / kReceivedFilesFolderName;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) return std::nullopt;
  }
  auto alias = files::MakeAlias(files::FileRef(folder.string()));
  if (alias.ok()) {
    stored = files::AliasToBytes(*alias);
    util::SetPreferenceValue("Default incoming folder alias", values::Value(values::Data{*stored}));
  }
  return folder;
}

void AdoptUnlistedReceivedFiles() {
  const auto folder = GetReceivedFilesFolder(true);
  if (!folder) return;
  std::map<std::pair<std::uint64_t, std::uint64_t>, bool> known;  // (device, inode) of listed files
  for (const auto& f : ReceivedFilesCopyArray()) {
    if (auto p = f->UpdatePath()) {
      struct stat st {};
      if (::stat(p->c_str(), &st) == 0) known[{st.st_dev, st.st_ino}] = true;
    }
  }
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(*folder, fs::directory_options::skip_permission_denied, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const std::string name = it->path().filename().string();
    const bool hidden = !name.empty() && name[0] == '.';
    if (it->is_directory(ec)) {
      // Partial packages are files still arriving, not files to adopt.
      if (hidden || it->path().extension() == ".partial") it.disable_recursion_pending();
      continue;
    }
    if (hidden || !it->is_regular_file(ec)) continue;
    struct stat st {};
    if (::stat(it->path().c_str(), &st) != 0 || known.count({st.st_dev, st.st_ino})) continue;
    ReceivedFileAddComplete(it->path().string(), std::string(util::kGuestUserName), "localhost",
                            values::NewUuidString());
  }
  Changed();
}

void HandleFileServerEvent(const runtime::Event& event) {
  const auto text = [&](values::FourCharCode code) {
    std::string out;
    event.GetParameter(code, out);
    return out;
  };
  const std::string uid = text(values::FourCC("UID "));
  switch (event.kind()) {
    case kFileServerReceptionStarted: {
      runtime::FileRef data;
      if (event.GetParameter(values::FourCC("File"), data) != runtime::kNoErr) return;
      const auto size = event.GetInteger(values::FourCC("Size")).value_or(0);
      const auto dataSize = event.GetInteger(values::FourCC("DSiz")).value_or(0);
      ReceivedFileAddPartial(data.path, text(values::FourCC("Fnam")), text(values::FourCC("Unam")),
                             text(values::FourCC("IP__")), uid, dataSize, size,
                             event.GetObject<TransferCancelSource>(values::FourCC("Canc")));
      return;
    }
    case kFileServerReceptionProgress: {
      const auto file = ReceivedFileFindByUUID(uid);
      if (auto total = event.GetInteger(values::FourCC("Tot_")))
        ReceivedFileSetBytesTransferred(file, *total);
      if (auto speed = event.GetReal(values::FourCC("Sped")))
        ReceivedFileSetSpeed(file, static_cast<float>(*speed));
      return;
    }
    case kFileServerReceptionEnded: {
      const auto file = ReceivedFileFindByUUID(uid);
      ReceivedFileSetCancelSource(file, nullptr);
      runtime::FileRef done;
      if (event.GetParameter(values::FourCC("File"), done) == runtime::kNoErr) {
        const std::string user = file ? file->Copy().user : std::string(util::kGuestUserName);
        const auto completed = ReceivedFileAddComplete(done.path, user, text(values::FourCC("IP  ")), uid);
        if (auto speed = event.GetReal(values::FourCC("Sped")))
          ReceivedFileSetSpeed(completed, static_cast<float>(*speed));
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace sharing
