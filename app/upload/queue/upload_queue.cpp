#include "app/upload/queue/upload_queue.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/upload/engine/upload_engine.h"
#include "app/upload/queue/uploads_file.h"
#include "app/upload/upload_hooks.h"
#include "app/util/desktop/ui_helpers.h"
#include "app/util/files/file_bridges.h"
#include "platform/files/catalog_info.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/clock.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/zeroconf/zeroconf.h"

namespace upload {

bool gUploadQueueDirty = false;

namespace {

// The sharing service a Bonjour peer advertises, and how long finding it may take.
constexpr char kPeerServiceType[] = "_trsharing._tcp.";
constexpr std::chrono::milliseconds kPeerResolveTimeout{15000};

void ListChanged() {
  CallHook(UploadHooksSlot::Get().uploadListChanged);
}

bool Readable(const std::string& path) {
  return files::Exists(files::FileRef(path));
}

// The host an item names for the host matching of the sharing peers.
bool MatchesHost(const UploadItem& item, const std::string& host, int port, const std::string& user,
                 const std::string& password, std::int32_t type) {
  if (item.type != type || item.userName != user || item.pass != password) return false;
  if (type == kHostTypeBonjourPeer) return item.hostName == host;
  return item.hostName == host + ":" + std::to_string(port);
}

}  // namespace

UploadTables& Uploads() {
  static UploadTables tables;
  return tables;
}

void ClearUploadTables() {
  Uploads() = UploadTables{};
}

bool AddToQueue(const UploadItemRef& item) {
  auto& t = Uploads();
  if (!t.uploadQueue.emplace(item->uidString(), item).second) return false;
  t.queueOrder.push_back(item);
  gUploadQueueDirty = true;
  ListChanged();
  return true;
}

namespace {

// The Bonjour resolutions under way, by upload uid. Never destroyed: a resolver must not be
// torn down by the program's exit after the discovery layer it belongs to.
std::map<std::string, std::unique_ptr<zeroconf::Resolver>>& PeerResolvers() {
  static auto* resolvers = new std::map<std::string, std::unique_ptr<zeroconf::Resolver>>;
  return *resolvers;
}

void PeerNotFound(UploadItem& item) {
  util::RunStandardAlertText(
      ui::AlertType::kStop,
      values::Format(values::Localized("The computer named %@ could not be found on the network."),
                     {item.hostName}),
      std::nullopt);
  item.SetState(kUploadFailed);
}

bool LaunchUpload(const UploadItemRef& item, const std::string& host, bool notify);

// A copy found by Bonjour is reached at its service's address, on the port above the
// service's (its file server); the upload starts once that is known.
void ResolvePeer(const UploadItemRef& item) {
  item->resolving = true;
  const std::string uid = item->uidString();
  std::weak_ptr<UploadItem> weak = item;
  auto resolver = zeroconf::Resolver::Resolve(
      item->hostName, kPeerServiceType, item->domain.value_or("local."), kPeerResolveTimeout,
      [weak, uid](const std::optional<std::string>& address) {
        // The resolver may not be destroyed from inside its own callback.
        runtime::RunLoop::Main()->Perform([uid] { PeerResolvers().erase(uid); });
        const UploadItemRef item = weak.lock();
        if (!item || !item->resolving) return;
        item->resolving = false;
        const std::size_t colon = address ? address->rfind(':') : std::string::npos;
        const int port = colon == std::string::npos ? 0 : std::atoi(address->c_str() + colon + 1);
        if (port <= 0 || port >= 65535) {
          PeerNotFound(*item);
          return;
        }
        item->resolved = true;
        LaunchUpload(item, address->substr(0, colon) + ":" + std::to_string(port + 1), false);
      });
  if (!resolver) {
    item->resolving = false;
    PeerNotFound(*item);
    return;
  }
  PeerResolvers()[uid] = std::move(resolver);
}

}  // namespace

bool StartUpload(const UploadItemRef& itemRef) {
  // Our own reference: the caller's may be a slot of the waiting list itself, which the
  // erase below moves the next item into (the wrong upload would start, and the rest of
  // this function would read a slot the erase gave up).
  const UploadItemRef item = itemRef;
  auto& t = Uploads();
  if (item->stateValue == kUploadUploading) return true;
  std::erase(t.queueOrder, item);
  item->requeueAfterCancellation = false;
  if (item->type == kHostTypeBonjourPeer) {
    if (!item->resolving) ResolvePeer(item);
    return true;
  }
  return LaunchUpload(item, item->hostName, true);
}

namespace {

bool LaunchUpload(const UploadItemRef& item, const std::string& host, bool notify) {
  auto& t = Uploads();
  item->log.clear();
  item->UpdateLocation();
  if (!item->path) {
    util::RunStandardAlertText(
        ui::AlertType::kStop,
        values::Format(values::Localized("The file %@ could not be uploaded because it could not be found"),
                       {item->name}),
        std::nullopt);
    item->fileAlias.reset();
    item->SetState(kUploadFailed);
    return false;
  }
  if (item->stateValue == kUploadFinished && item->type == kHostTypeFileHosting) {
    for (const char* key : {"fileid", "killcode", "ulServer"}) item->customAttributes.erase(key);
  }
  UploadStartInfo info;
  info.host = host;
  info.user = item->userName;
  info.password = item->pass;
  info.filePath = *item->path;
  info.uid = item->uidString();
  info.hostType = item->type;
  info.uploadPath = item->uploadPath;
  info.customAttributes = item->customAttributes;
  auto controller = UploadThreadController::Create(info);
  if (!controller) {
    item->SetState(kUploadFailed);
    return false;
  }
  item->controller = std::move(controller);
  if (item->stateValue == kUploadFinished) {
    item->startDate = values::Date{values::Now()};
    item->timeElapsedBeforeTask = 0;
  }
  item->SetState(kUploadUploading);
  item->timeTaskStarted = values::Now();
  item->useTaskTime = true;
  t.activeUploads.push_back(item);
  CallHook(UploadHooksSlot::Get().postActiveUploadsChange);
  if (!notify) {
    SaveUploadQueue();
    return true;
  }

  values::Dictionary notice{{"ApplicationName", values::Value("Truvane")},
                            {"NotificationName", values::Value("Upload is starting")},
                            {"NotificationTitle", values::Value(values::Localized("Upload started"))},
                            {"NotificationDescription",
                             values::Value(values::Format(
                                 "%@, %@ to %@", {item->name, UploadSizeText(item->size), item->hostName}))}};
  if (!item->batchID.empty()) notice["GrowlNotificationIdentifier"] = values::Value(item->batchID);
  CallHook(UploadHooksSlot::Get().postNotice, notice);
  // Kept at once: a program that ends without a word now still resumes this upload.
  SaveUploadQueue();
  return true;
}

}  // namespace

void CancelUpload(const UploadItemRef& item) {
  if (item->stateValue != kUploadUploading || !item->controller) return;
  item->controller->Cancel();
}

void CancelAndRequeue(const UploadItemRef& item) {
  if (item->stateValue != kUploadUploading || !item->controller) return;
  item->requeueAfterCancellation = true;
  CancelUpload(item);
}

void ReleaseController(UploadItem& item) {
  item.controller.reset();
}

void RemoveFromQueue(const UploadItemRef& item, bool trashFile) {
  if (item->stateValue == kUploadUploading) return;
  auto& t = Uploads();
  const UploadItemRef keep = item;
  std::uint32_t oldIndex = kNotWaiting;
  if (auto it = std::find(t.queueOrder.begin(), t.queueOrder.end(), item); it != t.queueOrder.end()) {
    oldIndex = static_cast<std::uint32_t>(it - t.queueOrder.begin());
    t.queueOrder.erase(it);
  }
  std::erase_if(t.uploadQueue, [&](const auto& entry) { return entry.second == item; });
  CallHook(UploadHooksSlot::Get().registerUndoUploadRemoved, std::static_pointer_cast<void>(keep), oldIndex,
           trashFile);
  gUploadQueueDirty = true;
  ListChanged();
}

std::uint32_t WaitingIndex(const UploadItem& item) {
  const auto& order = Uploads().queueOrder;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (order[i].get() == &item) return static_cast<std::uint32_t>(i);
  }
  return kNotWaiting;
}

void AddToWaitingList(const UploadItemRef& item) {
  if (item->stateValue == kUploadUploading || WaitingIndex(*item) != kNotWaiting) return;
  Uploads().queueOrder.push_back(item);
  item->SetState(kUploadWaiting);
}

void RemoveFromWaitingList(const UploadItemRef& item) {
  if (std::erase(Uploads().queueOrder, item) > 0) {
    gUploadQueueDirty = true;
    ListChanged();
  }
}

void MoveUploadItemsInWaitingList(const std::vector<UploadItemRef>& items, std::int16_t delta) {
  auto& order = Uploads().queueOrder;
  std::vector<std::size_t> indices;
  for (const auto& item : items) {
    const std::uint32_t index = WaitingIndex(*item);
    if (index != kNotWaiting) indices.push_back(index);
  }
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  if (indices.empty() || delta == 0) return;
  const int steps = delta < 0 ? -delta : delta;
  for (int step = 0; step < steps; ++step) {
    if (delta < 0) {
      for (std::size_t k = 0; k < indices.size(); ++k) {
        if (indices[k] == k) continue;  // packed at the head: stays
        std::swap(order[indices[k]], order[indices[k] - 1]);
        --indices[k];
      }
    } else {
      const std::size_t last = order.size() - 1;
      for (std::size_t k = indices.size(); k-- > 0;) {
        if (indices[k] == last - (indices.size() - 1 - k)) continue;  // packed at the tail: stays
        std::swap(order[indices[k]], order[indices[k] + 1]);
        ++indices[k];
      }
    }
  }
  gUploadQueueDirty = true;
  ListChanged();
}

UploadItemRef FindUploadItemByUUID(const std::string& uid) {
  const auto& queue = Uploads().uploadQueue;
  auto it = queue.find(uid);
  return it == queue.end() ? nullptr : it->second;
}

void RenewUID(const UploadItemRef& item) {
  auto& queue = Uploads().uploadQueue;
  item->endDate = values::Date{values::Now()};
  queue.erase(item->uidString());
  item->uid = values::Uuid::Generate();
  queue[item->uidString()] = item;
  gUploadQueueDirty = true;
}

void FreezeElapsedTime(UploadItem& item) {
  item.timeElapsedBeforeTask = item.totalTimeElapsed();
  item.useTaskTime = false;
}

void AppendLog(UploadItem& item, const UploadLog& lines) {
  item.log.insert(item.log.end(), lines.begin(), lines.end());
}

void CheckFiles() {
  for (const auto& [key, item] : Uploads().uploadQueue) {
    if (item->stateValue == kUploadUploading || !item->path || Readable(*item->path)) continue;
    if (!item->fileAlias) {
      item->path.reset();
      continue;
    }
    auto resolved = files::ResolveAlias(*item->fileAlias);
    if (!resolved.ok()) {
      item->fileAlias.reset();
      item->path.reset();
      continue;
    }
    item->path = resolved->ref.Path();
    if (resolved->updated) gUploadQueueDirty = true;
  }
}

void CancelUploadsToHost(const std::string& host, int port, const std::string& user,
                         const std::string& password, std::int32_t type) {
  auto& t = Uploads();
  const auto active = t.activeUploads;
  for (const auto& item : active) {
    if (MatchesHost(*item, host, port, user, password, type)) CancelUpload(item);
  }
  for (std::size_t i = t.queueOrder.size(); i-- > 0;) {
    if (MatchesHost(*t.queueOrder[i], host, port, user, password, type)) {
      t.queueOrder.erase(t.queueOrder.begin() + static_cast<std::ptrdiff_t>(i));
      gUploadQueueDirty = true;
    }
  }
  ListChanged();
}

std::int32_t CountUploadsToHost(const std::string& host, int port, const std::string& user,
                                const std::string& password, std::int32_t type) {
  std::int32_t n = 0;
  for (const auto& item : Uploads().activeUploads) {
    n += item->stateValue == kUploadUploading && MatchesHost(*item, host, port, user, password, type);
  }
  for (const auto& item : Uploads().queueOrder) n += MatchesHost(*item, host, port, user, password, type);
  return n;
}

void RemoveAllUploads(bool trashFiles) {
  std::vector<UploadItemRef> all;
  for (const auto& [key, item] : Uploads().uploadQueue) all.push_back(item);
  for (const auto& item : all) RemoveFromQueue(item, trashFiles);
  CallHook(UploadHooksSlot::Get().setUndoActionName, values::Localized("Clear Uploads"));
}

void DeleteItemsWithMask(std::int32_t mask, bool trashFiles) {
  std::vector<UploadItemRef> all;
  for (const auto& [key, item] : Uploads().uploadQueue) all.push_back(item);
  std::vector<std::string> trash;
  for (const auto& item : all) {
    if ((item->stateValue & mask) == 0) continue;
    if (item->stateValue == kUploadWaiting && WaitingIndex(*item) != kNotWaiting) continue;
    if (trashFiles) {
      item->UpdateLocation();
      if (item->path) trash.push_back(*item->path);
    }
    RemoveFromQueue(item, trashFiles);
  }
  if (!trash.empty()) util::MoveItemsToTrash(trash);
}

bool DeleteItemsWithNoFile() {
  CheckFiles();
  std::vector<UploadItemRef> gone;
  for (const auto& [key, item] : Uploads().uploadQueue) {
    if (!item->fileAlias) gone.push_back(item);
  }
  for (const auto& item : gone) RemoveFromQueue(item, false);
  gUploadQueueDirty = true;
  return !gone.empty();
}

bool UploadsInStateHaveFile(std::int32_t mask) {
  for (const auto& [key, item] : Uploads().uploadQueue) {
    if ((item->stateValue & mask) == 0) continue;
    item->UpdateLocation();
    if (item->path) return true;
  }
  return false;
}

void StartNextUpload() {
  const auto& order = Uploads().queueOrder;
  if (order.empty()) return;
  const UploadItemRef head = order.front();
  StartUpload(head);
}

void RequeueActiveUploads() {
  const auto active = Uploads().activeUploads;
  for (const auto& item : active) CancelAndRequeue(item);
}

namespace {

void ClearWithConfirmation(bool interactive, std::int32_t mask, int kind, const char* undoName) {
  bool trash = false;
  if (interactive && UploadsInStateHaveFile(mask)) {
    const int answer = AskHook<int>(UploadHooksSlot::Get().runClearConfirmation, 2, kind);
    if (answer == 1) {
      trash = true;
    } else if (answer != 2) {
      return;
    }
  }
  DeleteItemsWithMask(mask, trash);
  if (interactive) CallHook(UploadHooksSlot::Get().setUndoActionName, values::Localized(undoName));
}

}  // namespace

void ClearFinishedUploads(bool interactive) {
  ClearWithConfirmation(interactive, kUploadFinished, 10, "Clear Finished Uploads");
}

void ClearInactiveUploads(bool interactive) {
  ClearWithConfirmation(interactive, kUploadCancelled, 11, "Clear Inactive Uploads");
}

}  // namespace upload
