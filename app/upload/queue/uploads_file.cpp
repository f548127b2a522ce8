#include "app/upload/queue/uploads_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "app/browser/services/stored_password_service.h"
#include "app/engine/log/transfer_log.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/services/received_files_archive.h"
#include "platform/files/catalog_info.h"
#include "platform/files/file_handle.h"
#include "platform/files/rename.h"
#include "platform/files/standard_folders.h"
#include "platform/values/plist.h"
#include "platform/values/plist_xml.h"
#include "platform/values/text_encoding.h"

namespace upload {

namespace {

bool gSaveBlocked = false;
bool gOmissionLogged = false;  // the log said once that values were left out

void ReportFailure(const std::string& text) {
  engine::LogMessageToGlobalLog(true, "%@", {text});
}

std::string StringOf(const values::Value& record, const char* key) {
  std::string out;
  record.GetString(key, out);
  return out;
}

std::int64_t IntOf(const values::Value& record, const char* key, std::int64_t fallback = 0) {
  std::int64_t out = fallback;
  record.GetInt64(key, out);
  return out;
}

double DoubleOf(const values::Value& record, const char* key) {
  double out = 0;
  record.GetDouble(key, out);
  return std::isfinite(out) ? out : 0;
}

std::optional<values::Date> DateOf(const values::Value& record, const char* key) {
  values::Date date;
  if (record.GetDate(key, date) != values::Lookup::kOk || !std::isfinite(date.seconds)) return std::nullopt;
  return date;
}

values::Value EncodeLog(const UploadLog& log) {
  values::Array runs;
  for (const auto& run : log) {
    runs.push_back(values::Value(values::Dictionary{{"text", values::Value(run.text)},
                                                    {"style", values::Value(static_cast<int>(run.style))}}));
  }
  return values::Value(std::move(runs));
}

UploadLog DecodeLog(const values::Value& record) {
  UploadLog log;
  const values::Array* runs = nullptr;
  if (record.GetArray("alog", runs) == values::Lookup::kOk) {
    for (const auto& run : *runs) {
      LogRun r;
      r.text = StringOf(run, "text");
      const std::int64_t style = IntOf(run, "style");
      r.style = style == 1 ? LogStyle::kBold : style == 2 ? LogStyle::kFixedPitch : LogStyle::kPlain;
      log.push_back(std::move(r));
    }
  } else {
    std::string text;
    if (record.GetString("alog", text) == values::Lookup::kOk) log.push_back({text, LogStyle::kPlain});
  }
  return log;
}

std::optional<std::string> DecipherPassword(const values::Bytes& enciphered) {
  auto plain = browser::StoredPasswordServiceSlot::Get().DecryptStoredPassword(enciphered);
  if (!plain) return std::nullopt;
  return values::DecodeText(std::string_view(reinterpret_cast<const char*>(plain->data()), plain->size()),
                            values::TextEncoding::Utf16());
}

std::optional<values::Bytes> EncipherPassword(const std::string& password) {
  auto utf16 = values::EncodeText(password, values::TextEncoding::Utf16());
  if (!utf16) return std::nullopt;
  return browser::StoredPasswordServiceSlot::Get().EncryptStoredPassword(
      values::Bytes(utf16->begin(), utf16->end()));
}

void SyncFolder(const files::FileRef& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

files::Status WriteAndCheck(const files::FileRef& file, const values::Bytes& bytes, std::size_t itemCount) {
  {
    auto handle =
        files::FileHandle::Open(file, files::kOpenWrite | files::kOpenCreate | files::kOpenTruncate, 0600);
    if (!handle.ok()) return handle.status();
    if (auto s = handle->WriteAt(0, bytes); !s.ok()) return s;
    if (auto s = handle->Sync(); !s.ok()) return s;
    if (auto s = handle->Close(); !s.ok()) return s;
  }
  auto back = files::ReadFileContents(file, bytes.size() + 1);
  if (!back.ok()) return back.status();
  auto archive = ReadUploadsArchive(std::span<const std::uint8_t>(back.value()));
  if (!archive || archive->items.size() != itemCount) return files::Status(files::ioErr);
  return {};
}

bool MoveAside(const files::FileRef& file) {
  for (unsigned n = 0; n < 1000; ++n) {
    std::string name = file.Name() + ".unreadable";
    if (n > 0) name += "." + std::to_string(n);
    const files::FileRef aside = file.Parent().Child(name);
    const files::Status s = files::RenameNoReplace(file, aside);
    if (s.ok()) {
      ReportFailure("The uploads file could not be read. It was kept as \"" + aside.Path() + "\".");
      return true;
    }
    if (s.code() != files::dupFNErr) break;
  }
  return false;
}

void GiveUnreadableFileUp(const files::FileRef& file) {
  if (!MoveAside(file)) {
    gSaveBlocked = true;
    ReportFailure("The uploads file \"" + file.Path() +
                  "\" could not be read or moved aside. The uploads will not be saved until it is removed.");
  }
}

// The location after a load: the stored path when it still leads to the item, else the
// alias; a missing item clears both.
void ReestablishLocation(UploadItem& item) {
  if (item.path && files::Exists(files::FileRef(*item.path))) return;
  if (!item.fileAlias) {
    item.path.reset();
    return;
  }
  auto resolved = files::ResolveAlias(*item.fileAlias);
  if (!resolved.ok()) {
    item.path.reset();
    item.fileAlias.reset();
    return;
  }
  item.path = resolved->ref.Path();
  if (resolved->updated) gUploadQueueDirty = true;
}

}  // namespace

bool UploadsFileSaveBlocked() {
  return gSaveBlocked;
}

values::Value EncodeUploadItem(const UploadItem& item) {
  values::Dictionary d;
  d["count"] = values::Value(item.count);
  d["uid"] = values::Value(values::Data{values::Bytes(item.uid.bytes.begin(), item.uid.bytes.end())});
  d["fileName"] = values::Value(item.name);
  d["uploadPath"] = values::Value(item.uploadPath);
  d["alog"] = EncodeLog(item.log);
  d["fileSize"] = values::Value(values::Number::Int64(item.size));
  d["state"] = values::Value(item.stateValue);
  d["bytesTransferred"] = values::Value(values::Number::Int64(item.bytes));
  d["host"] = values::Value(item.hostName);
  d["user"] = values::Value(item.userName);
  if (item.domain) d["domain"] = values::Value(*item.domain);
  if (!item.pass.empty()) {
    if (auto enciphered = EncipherPassword(item.pass)) d["epass"] = values::Value(values::Data{*enciphered});
  } else if (item.keptPass) {
    d["epass"] = values::Value(values::Data{*item.keptPass});
  }
  d["hostType"] = values::Value(item.type);
  d["rendezvous"] = values::Value(item.type == kHostTypeBonjourPeer);
  if (item.fileAlias) d["fileAlias"] = values::Value(values::Data{files::AliasToBytes(*item.fileAlias)});
  if (item.startDate) d["startDate"] = values::Value(*item.startDate);
  if (item.endDate) d["endDate"] = values::Value(*item.endDate);
  if (item.path) d["path"] = values::Value(*item.path);
  d["timeElapsedBeforeTask"] = values::Value(item.totalTimeElapsed());
  d["speed"] = values::Value(static_cast<double>(item.speedValue));
  d["batchID"] = values::Value(item.batchID);
  d["customAttributes"] = values::Value(item.customAttributes);
  return values::Value(std::move(d));
}

UploadItemRef DecodeUploadItem(const values::Value& record, bool& wasUploading) {
  wasUploading = false;
  if (!record.IsDictionary()) return nullptr;
  auto item = std::make_shared<UploadItem>();
  item->count = static_cast<std::int32_t>(IntOf(record, "count"));
  values::Bytes uid;
  if (record.GetData("uid", uid) == values::Lookup::kOk && uid.size() == 16) {
    std::copy(uid.begin(), uid.end(), item->uid.bytes.begin());
  } else {
    item->uid = values::Uuid::Generate();
  }
  item->name = StringOf(record, "fileName");
  item->uploadPath = StringOf(record, "uploadPath");
  item->log = DecodeLog(record);
  item->size = IntOf(record, "fileSize");
  item->stateValue = static_cast<std::int32_t>(IntOf(record, "state", kUploadWaiting));
  switch (item->stateValue) {
    case kUploadFailed:
    case kUploadCredentialsRefused:
    case kUploadAbortedByPeer:
    case kUploadCancelled:
    case kUploadWaiting:
    case kUploadFinished:
      break;
    case kUploadUploading:
      wasUploading = true;
      item->stateValue = kUploadWaiting;
      break;
    default:
      item->stateValue = kUploadFailed;
      break;
  }
  item->bytes = std::max<std::int64_t>(0, IntOf(record, "bytesTransferred"));
  item->hostName = StringOf(record, "host");
  item->userName = StringOf(record, "user");
  std::string domain;
  if (record.GetString("domain", domain) == values::Lookup::kOk) item->domain = domain;
  values::Bytes epass;
  bool havePassword = false;
  if (record.GetData("epass", epass) == values::Lookup::kOk) {
    if (auto password = DecipherPassword(epass)) {
      item->pass = *password;
      havePassword = true;
    } else {
      item->keptPass = std::move(epass);
    }
  }
  if (!havePassword) record.GetString("pass", item->pass);
  bool rendezvous = false;
  record.GetBool("rendezvous", rendezvous);
  std::int64_t type = IntOf(record, "hostType");
  if (type == 0) type = rendezvous ? kHostTypeBonjourPeer : kHostTypePeerAddress;
  if (type < 1 || type > 8) type = kHostTypePeerAddress;
  item->type = static_cast<std::int32_t>(type);
  values::Bytes alias;
  if (record.GetData("fileAlias", alias) == values::Lookup::kOk) {
    if (auto decoded = files::AliasFromBytes(alias); decoded.ok()) item->fileAlias = *decoded;
  }
  item->startDate = DateOf(record, "startDate");
  item->endDate = DateOf(record, "endDate");
  std::string path;
  if (record.GetString("path", path) == values::Lookup::kOk && !path.empty()) item->path = path;
  item->timeElapsedBeforeTask = std::max(0.0, DoubleOf(record, "timeElapsedBeforeTask"));
  item->speedValue = static_cast<float>(DoubleOf(record, "speed"));
  item->batchID = StringOf(record, "batchID");
  const values::Value* attributes = nullptr;
  if (record.GetDictionary("customAttributes", attributes) == values::Lookup::kOk)
    item->customAttributes = *attributes->AsDictionary();
  return item;
}

std::optional<UploadsArchive> ReadUploadsArchive(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kMaxUploadsFileSize) return std::nullopt;
  auto root = values::ReadPropertyList(bytes);
  if (!root.ok() || !root->IsDictionary()) return std::nullopt;
  const values::Value* objects = nullptr;
  if (root->GetDictionary("objects", objects) != values::Lookup::kOk) return std::nullopt;
  UploadsArchive archive;
  for (const auto& [key, record] : *objects->AsDictionary()) {
    UploadsArchive::Entry entry;
    entry.item = DecodeUploadItem(record, entry.wasUploading);
    if (!entry.item) return std::nullopt;
    archive.items.push_back(std::move(entry));
  }
  const values::Array* order = nullptr;
  if (root->GetArray("order", order) == values::Lookup::kOk) {
    for (const auto& uid : *order) {
      if (const std::string* text = uid.AsString()) archive.order.push_back(*text);
    }
  }
  if (const values::Value* received = root->Find("received files")) archive.receivedFiles = *received;
  return archive;
}

files::Result<files::FileRef> UploadsFileRef() {
  auto folder = files::FindStandardFolder(files::StandardFolder::kApplicationSupport, true);
  if (!folder.ok()) return folder.status();
  return folder->Child(kUploadsFileName);
}

files::Status SaveUploadQueue() {
  if (gSaveBlocked) return files::Status(files::fBsyErr);
  auto file = UploadsFileRef();
  if (!file.ok()) return file.status();
  const auto& tables = Uploads();
  values::Dictionary objects;
  for (const auto& [key, item] : tables.uploadQueue) objects[key] = EncodeUploadItem(*item);
  values::Array order;
  for (const auto& item : tables.queueOrder) order.push_back(values::Value(item->uidString()));
  values::Value root(values::Dictionary{{"objects", values::Value(std::move(objects))},
                                        {"order", values::Value(std::move(order))}});
  values::Value received = ReceivedFilesArchiveSlot::Get().CopyReceivedFiles();
  if (!received.IsNull()) root.Put("received files", std::move(received));
  // A value the file cannot hold (text that is not UTF-8, a control character) is left
  // out, so that one bad record never stops every upload from being saved.
  if (const auto removed = values::RemoveValuesXmlCannotHold(root); !removed.empty() && !gOmissionLogged) {
    gOmissionLogged = true;
    std::string paths;
    for (const std::string& path : removed) paths += (paths.empty() ? "" : ", ") + path;
    ReportFailure("The uploads file left out what it cannot hold: " + paths + ".");
  }
  const values::Value* kept = root.Find("objects");
  const std::size_t count = kept && kept->AsDictionary() ? kept->AsDictionary()->size() : 0;
  auto bytes = values::WritePropertyList(root, values::PlistFormat::kXml);
  if (!bytes.ok()) {
    ReportFailure("Couldn't save the uploads file: " + bytes.error());
    return files::Status(files::paramErr);
  }
  const files::FileRef newFile = file->Parent().Child(std::string(kUploadsFileName) + ".new");
  files::Status status = WriteAndCheck(newFile, bytes.value(), count);
  if (status.ok() && ::rename(newFile.c_str(), file->c_str()) != 0) status = files::Status::FromErrno(errno);
  if (!status.ok()) {
    ::unlink(newFile.c_str());
    ReportFailure("Couldn't save the uploads file. Error " + std::to_string(status.code()) + ".");
    return status;
  }
  SyncFolder(file->Parent());
  gUploadQueueDirty = false;
  return {};
}

files::Status LoadUploadQueue() {
  gSaveBlocked = false;
  auto fileRef = UploadsFileRef();
  if (!fileRef.ok()) return fileRef.status();
  files::FileRef file = *fileRef;
  bool older = false;
  auto info = files::GetCatalogInfo(file, files::LinkMode::kFollow);
  if (!info.ok() || info->IsFolder()) {
    file = files::StandardFolderRef(files::StandardFolder::kPreferences).Child(kOlderUploadsFileName);
    older = true;
    if (!files::Exists(file)) return {};
  }
  auto bytes = files::ReadFileContents(file, kMaxUploadsFileSize);
  std::optional<UploadsArchive> archive;
  if (bytes.ok()) archive = ReadUploadsArchive(std::span<const std::uint8_t>(bytes.value()));
  if (!archive) {
    // The older file is another program version's: it stays where it is, unread.
    if (!older) GiveUnreadableFileUp(file);
    return files::Status(files::ioErr);
  }

  ClearUploadTables();
  auto& tables = Uploads();
  std::vector<UploadItemRef> wereUploading;
  for (auto& entry : archive->items) {
    UploadItemRef item = entry.item;
    ReestablishLocation(*item);
    // A UID names one upload: a repeated one gets a new identity rather than replace.
    while (tables.uploadQueue.count(item->uidString()) != 0) {
      item->uid = values::Uuid::Generate();
      gUploadQueueDirty = true;
    }
    tables.uploadQueue[item->uidString()] = item;
    if (entry.wasUploading) {
      item->interruptedBefore = true;
      wereUploading.push_back(item);
    }
  }
  for (const auto& item : wereUploading) tables.queueOrder.push_back(item);
  for (const std::string& uid : archive->order) {
    auto it = tables.uploadQueue.find(uid);
    if (it == tables.uploadQueue.end()) continue;
    if (std::find(tables.queueOrder.begin(), tables.queueOrder.end(), it->second) != tables.queueOrder.end())
      continue;
    tables.queueOrder.push_back(it->second);
  }
  ReceivedFilesArchiveSlot::Get().SetReceivedFiles(archive->receivedFiles);
  if (older) gUploadQueueDirty = true;
  return {};
}

}  // namespace upload
