#include "app/upload/interface/upload_interface.h"

#include <algorithm>
#include <cctype>

#include "app/ui/services/main_list_browser.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/services/upload_handoff_service.h"
#include "app/upload/services/upload_queue_service.h"
#include "app/upload/services/upload_rows.h"
#include "app/upload/upload_hooks.h"

namespace upload {

namespace {

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

UploadItemRef ItemOfHandle(const UploadHandle& handle) {
  return std::static_pointer_cast<UploadItem>(handle);
}

// The uploads selected in the main list, in row order.
std::vector<UploadItemRef> SelectedUploads() {
  std::vector<UploadItemRef> items;
  for (const auto& row : ui::MainListBrowserSlot::Get().SelectedRows()) {
    if (row.kind != ui::RowKind::kUpload || !row.record) continue;
    auto* item = dynamic_cast<UploadItem*>(static_cast<UploadRow*>(row.record.get()));
    if (item) items.push_back(item->shared_from_this());
  }
  return items;
}

class Queue : public UploadQueueService {
 public:
  void RequeueActiveUploads() override { upload::RequeueActiveUploads(); }
  float SumActiveUploadRates() override {
    float sum = 0;
    for (const auto& item : Uploads().activeUploads) sum += item->speedValue * 1024.0f;
    return sum;
  }
  bool DeleteUploadsWithNoFile() override { return DeleteItemsWithNoFile(); }
  void MarkUploadsChanged() override { gUploadQueueDirty = true; }
  void QueueSelectedUploads() override {
    for (const auto& item : SelectedUploads()) AddToWaitingList(item);
  }
  void HoldSelectedUploads() override {
    for (const auto& item : SelectedUploads()) RemoveFromWaitingList(item);
  }
  void StopSelectedUploads() override {
    for (const auto& item : SelectedUploads()) CancelUpload(item);
  }
  void StartSelectedUploads() override {
    for (const auto& item : SelectedUploads()) StartUpload(item);
  }
  std::size_t RemoveSelectedUploads(bool) override {
    std::size_t removed = 0;
    for (const auto& item : SelectedUploads()) {
      if (item->stateValue == kUploadUploading) continue;
      RemoveFromQueue(item, false);
      ++removed;
    }
    return removed;
  }
  void AddToQueue(const UploadHandle& handle) override {
    if (auto item = ItemOfHandle(handle)) upload::AddToQueue(item);
  }
  void SelectUploadRow(const UploadHandle& handle) override {
    auto item = ItemOfHandle(handle);
    if (!item) return;
    ui::MainListBrowserSlot::Get().SelectRows(
        {ui::MakeListItem(ui::RowKind::kUpload, std::static_pointer_cast<UploadRow>(item))});
  }
  std::size_t WaitingCount() override { return Uploads().queueOrder.size(); }
  void RemoveFromWaitingOrder(const UploadHandle& handle) override {
    if (auto item = ItemOfHandle(handle)) RemoveFromWaitingList(item);
  }
  void InsertIntoWaitingOrder(const UploadHandle& handle, std::size_t index) override {
    auto item = ItemOfHandle(handle);
    if (!item) return;
    auto& order = Uploads().queueOrder;
    std::erase(order, item);
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(std::min(index, order.size())), item);
    gUploadQueueDirty = true;
    CallHook(UploadHooksSlot::Get().uploadListChanged);
  }
  std::optional<std::string> ResolveFilePath(const UploadHandle& handle) override {
    auto item = ItemOfHandle(handle);
    if (!item || !item->fileAlias) return std::nullopt;
    files::AliasRecord alias = *item->fileAlias;
    auto resolved = files::ResolveAlias(alias);
    if (!resolved.ok()) return std::nullopt;
    return resolved->ref.Path();
  }
  void UpdateLocation(const UploadHandle& handle) override {
    if (auto item = ItemOfHandle(handle)) item->UpdateLocation();
  }
};

class Rows : public UploadRowsService {
 public:
  std::vector<UploadRowRef> CopyAllUploadItems() override {
    std::vector<UploadRowRef> rows;
    for (const auto& [key, item] : Uploads().uploadQueue) rows.push_back(item);
    return rows;
  }
  void CheckUploadFiles() override {
    CheckFiles();
    CallHook(UploadHooksSlot::Get().uploadListChanged);
  }
};

class Handoff : public UploadHandoffService {
 public:
  bool EnqueueRapidShareFile(const std::string& path) override {
    return UploadItemEnqueueRapidShareFile(path) != nullptr;
  }
  std::int32_t CountActiveUploads() override {
    return static_cast<std::int32_t>(Uploads().activeUploads.size());
  }
  bool EnqueueUpload(const UploadRequest& r) override {
    return UploadItemCreateAndEnqueue(r.localPath, r.host, r.domain, r.user, r.password, r.uploadPath,
                                      r.hostType) != nullptr;
  }
  void CancelUploadsToHost(const std::string& host, int port, const std::string& user,
                           const std::string& password, std::int32_t type) override {
    upload::CancelUploadsToHost(host, port, user, password, type);
  }
  std::int32_t CountUploadsToHost(const std::string& host, int port, const std::string& user,
                                  const std::string& password, std::int32_t type) override {
    return upload::CountUploadsToHost(host, port, user, password, type);
  }
};

}  // namespace

UploadItemRef UploadItemCreateAndEnqueue(const std::string& localPath, const std::string& host,
                                         const std::optional<std::string>& domain, const std::string& user,
                                         const std::string& password, const std::string& uploadPath,
                                         std::int32_t hostType) {
  std::string destination = host;
  if (hostType == kHostTypeFTP && !StartsWithNoCase(destination, "ftp://"))
    destination = "ftp://" + destination;
  if (hostType == kHostTypeFTPS && !StartsWithNoCase(destination, "ftps://"))
    destination = "ftps://" + destination;
  auto alias = files::MakeAlias(files::FileRef(localPath));
  if (!alias.ok()) alias = files::AliasRecord{localPath, "", 0, 0, std::nullopt, false};
  auto item = UploadItem::Create(*alias, destination, domain, user, password, hostType);
  if (!item) return nullptr;
  item->uploadPath = uploadPath;
  if (!AddToQueue(item)) return nullptr;
  return item;
}

UploadItemRef UploadItemEnqueueRapidShareFile(const std::string& localPath) {
  auto alias = files::MakeAlias(files::FileRef(localPath));
  if (!alias.ok()) return nullptr;
  auto item = UploadItem::Create(*alias, kFileHostingHost, std::nullopt, "", "", kHostTypeFileHosting);
  if (!item || !AddToQueue(item)) return nullptr;
  return item;
}

void InstallUploadServices() {
  UploadQueueServiceSlot::Set(std::make_unique<Queue>());
  UploadRowsServiceSlot::Set(std::make_unique<Rows>());
  UploadHandoffServiceSlot::Set(std::make_unique<Handoff>());
}

}  // namespace upload
