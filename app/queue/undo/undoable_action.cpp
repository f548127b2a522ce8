#include "app/queue/undo/undoable_action.h"

#include <filesystem>

#include "app/browser/services/favourite_undo_service.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_locks.h"
#include "app/sharing/services/received_file_service.h"
#include "app/ui/services/main_list_services.h"
#include "app/upload/services/upload_queue_service.h"
#include "app/util/helpers/session_helpers.h"
#include "platform/files/alias.h"
#include "platform/files/standard_folders.h"
#include "platform/files/trash.h"
#include "platform/files/tree_ops.h"
#include "platform/values/localize.h"

namespace queue {
namespace {

const values::Value* Info(const values::Dictionary& info, const char* key) {
  auto it = info.find(key);
  return it == info.end() ? nullptr : &it->second;
}

std::optional<std::string> InfoString(const values::Dictionary& info, const char* key) {
  const values::Value* v = Info(info, key);
  if (v == nullptr || !v->IsString()) return std::nullopt;
  return *v->AsString();
}

bool InfoBool(const values::Dictionary& info, const char* key) {
  const values::Value* v = Info(info, key);
  return v != nullptr && v->AsBool() != nullptr && *v->AsBool();
}

std::optional<std::int64_t> InfoInteger(const values::Dictionary& info, const char* key) {
  const values::Value* v = Info(info, key);
  if (v == nullptr || v->AsNumber() == nullptr) return std::nullopt;
  return v->AsNumber()->AsInt64();
}

values::Value FolderURLValue(const files::FileRef& folder) {
  auto url = values::FileUrlFromPath(folder.Path(), true);
  return url ? values::Value(url->String()) : values::Value();
}

std::optional<files::FileRef> FolderFromURLText(const std::string& text) {
  auto url = values::Url::Create(text);
  if (!url) return std::nullopt;
  auto path = values::PathFromFileUrl(*url);
  if (!path) return std::nullopt;
  return files::FileRef(*path);
}

// The folders that hold the download's finished file and its partial package.
void PutFileLocations(DownloadQueueElement& e, values::Dictionary& info) {
  if (const auto& complete = DownloadQueueElementGetCompleteURL(e)) {
    if (auto path = values::PathFromFileUrl(*complete)) {
      info[kUndoLastLocationKey] = FolderURLValue(files::FileRef(*path).Parent());
    }
  }
  if (auto package = CopyPartialPackageURL(e)) info[kUndoLastPartialKey] = FolderURLValue(package->Parent());
}

// Puts an item back into `folder`: what went to the Trash from there is restored under its
// old name; anything else is moved there under its present name.
std::optional<files::FileRef> MoveItemBack(const files::FileRef& item, const files::FileRef& folder) {
  if (item.Parent() == folder) return item;
  if (auto original = files::ReadTrashInfoPath(item); original.ok() && original->Parent() == folder) {
    if (auto back = files::RestoreFromTrash(item); back.ok()) return *back;
  }
  const files::FileRef target = folder.Child(item.Name());
  if (files::Move(item, target).ok()) return target;
  return std::nullopt;
}

// The item of the home Trash that was trashed from `original`. An alias follows a moved
// item only within a bounded search, which the Trash may lie beyond.
std::optional<files::FileRef> FindTrashedItem(const std::string& original) {
  const files::FileRef trashed = files::StandardFolderRef(files::StandardFolder::kTrash).Child("files");
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(trashed.Path(), error)) {
    const files::FileRef item(entry.path().string());
    if (auto was = files::ReadTrashInfoPath(item); was.ok() && was->Path() == original) return item;
  }
  return std::nullopt;
}

// The path an alias field was made for.
std::optional<std::string> RecordedPath(const std::optional<values::Bytes>& alias) {
  if (!alias) return std::nullopt;
  auto record = files::AliasFromBytes(*alias);
  if (!record.ok()) return std::nullopt;
  return record->path;
}

void MoveDownloadFilesBack(const WrapperRef& wrapper, const values::Dictionary& info) {
  DownloadQueueElement& e = wrapper->element();
  if (auto folderText = InfoString(info, kUndoLastLocationKey)) {
    auto folder = FolderFromURLText(*folderText);
    const auto recorded = RecordedPath(e.completeFile);
    const auto& complete = DownloadQueueElementGetCompleteURL(e);
    auto path = complete ? values::PathFromFileUrl(*complete) : std::nullopt;
    if (!path && recorded) {
      if (auto trashed = FindTrashedItem(*recorded)) path = trashed->Path();
    }
    if (folder && path) {
      if (auto back = MoveItemBack(files::FileRef(*path), *folder)) {
        e.completeURL = values::FileUrlFromPath(back->Path(), false);
        e.completeFile = MakeAliasBytes(*back);
      }
    }
  }
  if (auto folderText = InfoString(info, kUndoLastPartialKey)) {
    auto folder = FolderFromURLText(*folderText);
    const auto recorded = RecordedPath(e.fileAlias);
    auto package = CopyPartialPackageURL(e);
    if (!package && recorded) package = FindTrashedItem(files::FileRef(*recorded).Parent().Path());
    if (folder && package && recorded) {
      if (auto back = MoveItemBack(*package, *folder)) {
        e.fileAlias = MakeAliasBytes(back->Child(files::FileRef(*recorded).Name()));
      }
    }
  }
}

void UndoDownloadRemoved(const WrapperRef& wrapper, const values::Dictionary& info) {
  DownloadQueueElement& e = wrapper->element();
  {
    QueueTablesGuard guard;
    const WrapperRef held = LookUpDownloadWrapper(e.uid);
    if (held != wrapper) {
      if (held) e.uid = NewDownloadUID();
      QueueItemsSet(e.uid, wrapper);
      if (e.status == kStatusQueued) {
        // Position count + 1 is the end of the queue: the last queued download goes back
        // there rather than On Hold.
        if (e.queuePosition < 1 || e.queuePosition > gQueuedCount + 1) {
          wrapper->setStatus(kStatusOnHold);
        } else {
          const auto at = static_cast<std::size_t>(e.queuePosition - 1);
          gQueueOrder.insert(gQueueOrder.begin() + static_cast<std::ptrdiff_t>(at), e.uid);
          RenumberQueue(at, gQueueOrder.size() - at);
        }
      }
    } else if (auto place = InfoInteger(info, kUndoQueuePositionKey); place && e.status == kStatusOnHold) {
      MoveElementToQueuePosition(wrapper, static_cast<std::int32_t>(*place));
    }
  }
  MoveDownloadFilesBack(wrapper, info);
  auto& list = ui::MainListServicesSlot::Get();
  if (const values::Value* folders = Info(info, kUndoFoldersKey); folders && folders->AsSet()) {
    for (const values::Value& id : folders->AsSet()->members) {
      if (id.AsNumber() == nullptr) continue;
      const auto folder = static_cast<ViewID>(id.AsNumber()->AsInt64());
      AddElementToFolder(wrapper, folder);
      if (IsViewDisplayed(folder)) list.AddNewDownloadRow(wrapper, true);
    }
  }
  if (auto& note = QueueHooksSlot::Get().noteElementChanged) note(wrapper, kChangedAll);
  for (ViewID id : GetDisplayedViewSet()) {
    if (IsSmartFolderID(id) || IsDateFolderID(id)) {
      list.RequestRedisplayCurrentFolder();
      break;
    }
  }
  list.MiniWindowShowDownload(wrapper);
  MarkQueueDirty();
}

void UndoFolderRemoved(const FolderRef& folder, const values::Dictionary& info) {
  {
    runtime::RegionGuard folders(gFoldersLock);
    if (LookUpFolder(folder->uid())) {
      folder->setUid((folder->flags() & kFolderFlagSmart) ? NewSmartFolderUID() : NewFolderUID());
    }
    AddFolderToFolderTable(folder, folder->uid());
  }
  auto& list = ui::MainListServicesSlot::Get();
  list.AddFolderRow(folder->uid(), folder->name());
  RegisterUndoFolderAdded(folder, InfoBool(info, kUndoItemsDeletedKey));
  list.SortFolderRows();
  list.SelectFolderRow(folder->uid());
  MarkQueueDirty();
}

void UndoUploadRemoved(const std::shared_ptr<void>& upload, const values::Dictionary& info) {
  auto& uploads = upload::UploadQueueServiceSlot::Get();
  uploads.AddToQueue(upload);
  uploads.SelectUploadRow(upload);
  uploads.RemoveFromWaitingOrder(upload);
  const auto index = InfoInteger(info, kUndoOldIndexKey).value_or(kUndoNotWaiting);
  if (index != kUndoNotWaiting && index >= 0) {
    // An upload that waited waits again: at its old place, or last when the order has
    // shortened since.
    const std::size_t count = uploads.WaitingCount();
    uploads.InsertIntoWaitingOrder(upload, std::min(static_cast<std::size_t>(index), count));
  }
  if (auto folderText = InfoString(info, kUndoLastLocationKey)) {
    if (auto path = uploads.ResolveFilePath(upload))
      MoveItemBack(files::FileRef(*path), files::FileRef(*folderText));
  }
  uploads.UpdateLocation(upload);
  uploads.MarkUploadsChanged();
}

void UndoFavouriteAdded(const std::shared_ptr<void>& favourite) {
  auto& favourites = browser::FavouriteUndoServiceSlot::Get();
  if (IsViewDisplayed(kMyServersViewID)) favourites.RemoveFavouriteRow(favourite);
  RegisterUndoFavouriteRemoved(favourite);
  favourites.RemoveFavourite(favourite);
  favourites.MarkFavouritesChanged();
}

void UndoFavouriteRemoved(const std::shared_ptr<void>& favourite, const values::Dictionary& info) {
  auto& favourites = browser::FavouriteUndoServiceSlot::Get();
  std::optional<std::uint64_t> connection;
  if (auto id = InfoInteger(info, kUndoConnectionIdentifierKey)) connection = static_cast<std::uint64_t>(*id);
  favourites.RestoreFavourite(favourite, connection);
  if (IsViewDisplayed(kMyServersViewID)) favourites.AddFavouriteRow(favourite, true);
  RegisterUndoFavouriteAdded(favourite);
  favourites.MarkFavouritesChanged();
}

void UndoReceivedFileRemoved(const std::shared_ptr<void>& file, const values::Dictionary& info) {
  auto& received = sharing::ReceivedFileServiceSlot::Get();
  received.AddToList(file);
  if (auto folderText = InfoString(info, kUndoLastLocationKey)) {
    if (auto path = received.UpdatePath(file)) {
      MoveItemBack(files::FileRef(*path), files::FileRef(*folderText));
      received.UpdatePath(file);
    }
  }
  RegisterUndoReceivedFileReadded(file);
  if (IsViewDisplayed(kReceivedFilesViewID)) received.SelectReceivedFileRow(file);
  upload::UploadQueueServiceSlot::Get().MarkUploadsChanged();
}

void Register(std::shared_ptr<void> object, UndoActionType type, values::Dictionary info = {}) {
  if (!object || !TruvaneUndo::Shared().IsRegistrationEnabled()) return;
  TruvaneUndoAddAction(std::make_shared<TruvaneUndoableAction>(std::move(object), type, std::move(info)));
}

}  // namespace

WrapperRef TruvaneUndoableAction::wrapper() const {
  switch (type_) {
    case kUndoRemoveFromFolder:
    case kUndoDownloadRemoved:
    case kUndoDownloadAdded:
    case kUndoDownloadStopped:
    case kUndoDownloadStarted:
    case kUndoDownloadFilesMoved:
      return std::static_pointer_cast<DownloadQueueWrapper>(object_);
    default:
      return nullptr;
  }
}

FolderRef TruvaneUndoableAction::folder() const {
  switch (type_) {
    case kUndoFolderRenamed:
    case kUndoFolderRemoved:
    case kUndoFolderAdded:
      return std::static_pointer_cast<TRFolder>(object_);
    default:
      return nullptr;
  }
}

void TruvaneUndoableAction::undo() const {
  switch (type_) {
    case kUndoRemoveFromFolder:
      if (auto id = InfoInteger(info_, kUndoFolderIDKey)) {
        RemoveDownloadsFromFolder({wrapper()->uid()}, static_cast<ViewID>(*id), false, true);
      }
      break;
    case kUndoDownloadRemoved:
      UndoDownloadRemoved(wrapper(), info_);
      break;
    case kUndoDownloadAdded:
      TruvaneUndoRemoveActionsForTarget(object_.get());
      RemoveDownloads({wrapper()->uid()}, {}, true, true);
      break;
    case kUndoFolderRenamed:
      if (auto name = InfoString(info_, kUndoOldNameKey)) RenameFolder(folder()->uid(), *name);
      ui::MainListServicesSlot::Get().SortFolderRows();
      break;
    case kUndoFolderRemoved:
      UndoFolderRemoved(folder(), info_);
      break;
    case kUndoDownloadStopped:
      StartDownload(wrapper());
      break;
    case kUndoDownloadStarted:
      StopDownload(wrapper());
      break;
    case kUndoFolderAdded:
      RemoveFolder(folder()->uid(), InfoBool(info_, kUndoShouldTrashKey));
      break;
    case kUndoUploadRemoved:
      UndoUploadRemoved(object_, info_);
      break;
    case kUndoFavouriteAdded:
      UndoFavouriteAdded(object_);
      break;
    case kUndoFavouriteRemoved:
      UndoFavouriteRemoved(object_, info_);
      break;
    case kUndoDownloadFilesMoved:
      // No redo: taking the folder's removal back gives its items back; redoing that
      // removal trashes the files again.
      MoveDownloadFilesBack(wrapper(), info_);
      break;
    case kUndoReceivedFileRemoved:
      UndoReceivedFileRemoved(object_, info_);
      break;
    case kUndoReceivedFileReadded:
      sharing::ReceivedFileServiceSlot::Get().RemoveFromList(object_);
      upload::UploadQueueServiceSlot::Get().MarkUploadsChanged();
      break;
  }
}

void RegisterUndoRemoveFromFolder(const WrapperRef& wrapper, ViewID folder) {
  Register(wrapper, kUndoRemoveFromFolder, {{kUndoFolderIDKey, values::Number::Int64(folder)}});
}

void RegisterUndoDownloadRemoved(const WrapperRef& wrapper, const std::set<ViewID>& folders,
                                 bool wouldDelete) {
  if (!wrapper || !TruvaneUndo::Shared().IsRegistrationEnabled()) return;
  values::Set ids;
  for (ViewID id : folders) ids.Add(values::Number::Int64(id));
  values::Dictionary info{{kUndoFoldersKey, std::move(ids)}, {kUndoWouldDeleteKey, wouldDelete}};
  PutFileLocations(wrapper->element(), info);
  if (!wouldDelete && wrapper->status() == kStatusQueued) {
    info[kUndoQueuePositionKey] = values::Number::Int64(wrapper->element().queuePosition);
  }
  Register(wrapper, kUndoDownloadRemoved, std::move(info));
}

void RegisterUndoDownloadAdded(const WrapperRef& wrapper) {
  Register(wrapper, kUndoDownloadAdded);
}

void RegisterUndoFolderRenamed(const FolderRef& folder, const std::string& oldName) {
  Register(folder, kUndoFolderRenamed, {{kUndoOldNameKey, oldName}});
}

void RegisterUndoFolderRemoved(const FolderRef& folder, bool itemsDeleted) {
  Register(folder, kUndoFolderRemoved, {{kUndoItemsDeletedKey, itemsDeleted}});
}

void RegisterUndoDownloadStopped(const WrapperRef& wrapper) {
  Register(wrapper, kUndoDownloadStopped);
}

void RegisterUndoDownloadStarted(const WrapperRef& wrapper) {
  Register(wrapper, kUndoDownloadStarted);
}

void RegisterUndoFolderAdded(const FolderRef& folder, bool undoShouldTrash) {
  Register(folder, kUndoFolderAdded, {{kUndoShouldTrashKey, undoShouldTrash}});
}

void RegisterUndoUploadRemoved(const std::shared_ptr<void>& upload, std::uint32_t oldIndex, bool fileMoved) {
  if (!upload || !TruvaneUndo::Shared().IsRegistrationEnabled()) return;
  values::Dictionary info{{kUndoOldIndexKey, values::Number::Int64(oldIndex)}};
  if (fileMoved) {
    // Registered before the file moves: its folder now is where it goes back to.
    if (auto path = upload::UploadQueueServiceSlot::Get().ResolveFilePath(upload)) {
      info[kUndoLastLocationKey] = files::FileRef(*path).Parent().Path();
    }
  }
  Register(upload, kUndoUploadRemoved, std::move(info));
}

void RegisterUndoFavouriteAdded(const std::shared_ptr<void>& favourite) {
  Register(favourite, kUndoFavouriteAdded);
}

void RegisterUndoFavouriteRemoved(const std::shared_ptr<void>& favourite) {
  if (!favourite || !TruvaneUndo::Shared().IsRegistrationEnabled()) return;
  values::Dictionary info;
  if (auto id = browser::FavouriteUndoServiceSlot::Get().ConnectionIdentifier(favourite)) {
    info[kUndoConnectionIdentifierKey] = values::Number::UInt64(*id);
  }
  Register(favourite, kUndoFavouriteRemoved, std::move(info));
}

void RegisterUndoDownloadFilesMoved(const WrapperRef& wrapper) {
  if (!wrapper || !TruvaneUndo::Shared().IsRegistrationEnabled()) return;
  values::Dictionary info;
  PutFileLocations(wrapper->element(), info);
  Register(wrapper, kUndoDownloadFilesMoved, std::move(info));
}

void RegisterUndoReceivedFileRemoved(const std::shared_ptr<void>& file) {
  if (!file || !TruvaneUndo::Shared().IsRegistrationEnabled()) return;
  values::Dictionary info;
  if (auto path = sharing::ReceivedFileServiceSlot::Get().UpdatePath(file)) {
    info[kUndoLastLocationKey] = files::FileRef(*path).Parent().Path();
  }
  Register(file, kUndoReceivedFileRemoved, std::move(info));
}

void RegisterUndoReceivedFileReadded(const std::shared_ptr<void>& file) {
  Register(file, kUndoReceivedFileReadded);
}

DownloadUndoGrouping::DownloadUndoGrouping(std::string title)
    : title_(std::move(title)), uuid_(util::CreateUUIDString()) {}

DownloadUndoGrouping::~DownloadUndoGrouping() {
  int registered = 0;
  for (const auto& wrapper : items_) {
    if (wrapper->status() != kStatusQueued) continue;
    RegisterUndoDownloadAdded(wrapper);
    ++registered;
  }
  if (registered == 0 || !TruvaneUndo::Shared().IsRegistrationEnabled()) return;
  std::string name = values::Localized(title_);
  if (auto at = name.find("%d"); at != std::string::npos) name.replace(at, 2, std::to_string(registered));
  TruvaneUndo::Shared().SetActionName(name);
}

}  // namespace queue
