#include "app/queue/smartfolders/smart_folder.h"

#include <cstdio>
#include <vector>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/smartfolders/date_notifier.h"
#include "app/queue/smartfolders/element_metadata.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/queue/undo/undoable_action.h"
#include "app/ui/services/main_list_services.h"
#include "app/ui/services/ui_services.h"
#include "platform/files/alias.h"
#include "platform/values/localize.h"
#include "platform/values/plist.h"

namespace queue {
namespace {

constexpr std::uint32_t kDateBits = kChangedStartDate | kChangedEndDate;  // 48

// The pending changes: download UID -> accumulated change bits.
std::map<DownloadUID, std::uint32_t>& ChangeTable() {
  static std::map<DownloadUID, std::uint32_t> table;
  return table;
}

}  // namespace

FolderColumnOptions SmartFolderColumnOptions() {
  FolderColumnOptions options;
  const std::uint32_t props[] = {1025, 1026, 1028, 1027, 1034, 1029, 1035};
  const std::uint16_t sizes[] = {200, 120, 70, 75, 100, 100, 100};
  for (std::size_t i = 0; i < 7; ++i) {
    options.props[i] = props[i];
    options.sizes[i] = sizes[i];
  }
  return options;
}

TRSmartFolder::TRSmartFolder(PredicateRef predicate) {
  setFlags(kFolderFlagSmart);
  setPredicate(std::move(predicate));
}

TRSmartFolder::~TRSmartFolder() = default;

std::map<DownloadUID, WrapperRef> TRSmartFolder::Items() {
  runtime::RegionGuard folders(gFoldersLock);
  std::lock_guard lock(smartItemsLock_);
  if (!populated_) {
    repopulateElements();
  } else {
    std::map<DownloadUID, WrapperRef> cached;
    {
      std::lock_guard guard(itemsLock());
      cached = items();
    }
    std::vector<DownloadUID> gone;
    {
      runtime::RegionGuard queueItems(gQueueItemsLock);
      for (const auto& [uid, wrapper] : cached)
        if (!gQueueItems.count(uid)) gone.push_back(uid);
    }
    if (!gone.empty()) {
      std::lock_guard guard(itemsLock());
      for (DownloadUID uid : gone) items().erase(uid);
    }
  }
  std::lock_guard guard(itemsLock());
  return items();
}

std::map<DownloadUID, WrapperRef> TRSmartFolder::itemsCache() {
  std::lock_guard lock(smartItemsLock_);
  std::lock_guard guard(itemsLock());
  return items();
}

void TRSmartFolder::repopulateElements() {
  runtime::RegionGuard folders(gFoldersLock);
  std::lock_guard lock(smartItemsLock_);
  std::map<DownloadUID, WrapperRef> members;
  if (predicate_) {
    runtime::RegionGuard queueItems(gQueueItemsLock);
    for (const auto& [uid, wrapper] : gQueueItems)
      if (predicate_->evaluateForElement(*wrapper)) members.emplace(uid, wrapper);
  }
  {
    std::lock_guard guard(itemsLock());
    items() = std::move(members);
  }
  populated_ = true;
}

void TRSmartFolder::invalidateCache() {
  std::lock_guard lock(smartItemsLock_);
  populated_ = false;
  std::lock_guard guard(itemsLock());
  items().clear();
}

int TRSmartFolder::checkElement(const WrapperRef& wrapper) {
  std::lock_guard lock(smartItemsLock_);
  if (!populated_) return 2;
  const bool accepted = predicate_ && predicate_->evaluateForElement(*wrapper);
  std::lock_guard guard(itemsLock());
  const bool cached = items().count(wrapper->uid()) != 0;
  if (!accepted && cached) {
    items().erase(wrapper->uid());
    return 1;
  }
  if (accepted && !cached) {
    items().emplace(wrapper->uid(), wrapper);
    return 0;
  }
  return 2;
}

void TRSmartFolder::SyncArchive() {
  if (predicate_) {
    setArchivedPredicate(values::Value(values::Data{ArchivePredicate(*predicate_)}));
  } else {
    setArchivedPredicate(std::nullopt);
  }
}

void TRSmartFolder::setPredicate(PredicateRef predicate) {
  if (predicate == predicate_ || (predicate && predicate_ && predicate->Equals(*predicate_))) return;
  predicate_ = std::move(predicate);
  SyncArchive();
  {
    std::lock_guard lock(smartItemsLock_);
    populated_ = false;
  }
  if (IsViewDisplayed(uid())) ui::MainListServicesSlot::Get().RefillMainList();
  if (predicate_ && (predicate_->variableTypes() & kDateBits) && !dateObserver_.IsActive()) {
    dateObserver_ = TRDateNotifier::sharedNotificationCenter().AddObserver(
        kDateHasChangedNotification, {}, [this](const runtime::Notification&) { dateChanged(); });
  }
}

void TRSmartFolder::dateChanged() {
  if (!predicate_ || !(predicate_->variableTypes() & kDateBits)) return;
  {
    std::lock_guard lock(smartItemsLock_);
    populated_ = false;
  }
  if (IsViewDisplayed(uid())) ui::MainListServicesSlot::Get().RefillMainList();
}

void TRSmartFolder::setSmartFolder(std::optional<values::Bytes> alias) {
  setSavedSearchAlias(std::move(alias));
  checkAlias();
}

void TRSmartFolder::checkAlias() {
  auto alias = savedSearchAlias();
  if (!alias) return;
  if (!ResolveAliasField(alias)) {
    setSavedSearchAlias(std::nullopt);
  } else {
    setSavedSearchAlias(std::move(alias));
  }
}

void TRSmartFolder::updateSmartFolder() {
  auto alias = savedSearchAlias();
  if (!alias) return;
  auto file = ResolveAliasField(alias);
  if (!file) {
    setSavedSearchAlias(std::nullopt);
    return;
  }
  createFolderAtURL(file->Path());
}

bool TRSmartFolder::createFolderAtURL(const std::string& path) {
  std::string query;
  try {
    if (!predicate_) return false;
    query = predicate_->spotlightQuery();
  } catch (const SpotlightQueryError& e) {
    std::string informative;
    switch (e.code) {
      case kQueryRegexTooSimple:
        informative =
            "The smart folder rule contains a regular expression that is too complicated for spotlight.";
        break;
      case kQueryNoTerms:
        informative = "The smart folder rule contains no terms understandable by spotlight.";
        break;
      case 1:
      case 2:
      case 3:
      case 4:
        informative = "The smart folder rule is invalid.";
        break;
      default:
        break;
    }
    ui::UiServicesSlot::Get().RunStandardAlert(ui::AlertType::kStop,
                                               values::Localized("The smart folder could not be created."),
                                               values::Localized(informative));
    return false;
  }
  if (query.empty()) return false;
  values::Value search(values::Dictionary{
      {"CompatibleVersion", values::Number::Int64(0)},
      {"RawQuery", "com_orbenix_truvane_FromTR==1 && (" + query + ")"},
      {"Version", "10.4"},
      {"SearchCriteria",
       values::Value(values::Dictionary{
           {"FXScopeArrayOfPaths", values::Array{values::Value("kMDQueryScopeComputer")}}})},
  });
  auto bytes = values::WritePropertyList(search, values::PlistFormat::kXml);
  if (!bytes.ok()) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(bytes->data(), 1, bytes->size(), f) == bytes->size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) return false;
  // The extension is hidden where the file manager reads that flag; nothing to set here.
  setSmartFolder(MakeAliasBytes(files::FileRef(path)));
  MarkQueueDirty();
  return true;
}

SmartFolderRef TRSmartFolder::createSmartFolderWithName(const std::string& name, ViewID uid,
                                                        PredicateRef predicate) {
  auto folder = std::make_shared<TRSmartFolder>(std::move(predicate));
  folder->setUid(uid);
  folder->setName(name);
  folder->setOptions(SmartFolderColumnOptions());
  folder->setSort(kSortByQueueOrder);
  folder->setSortOrder(1);
  folder->setFlags(kFolderFlagSmart);
  return folder;
}

SmartFolderRef TRSmartFolder::addSmartFolderToListWithName(const std::string& name, ViewID uid,
                                                           PredicateRef predicate) {
  auto folder = createSmartFolderWithName(name, uid, std::move(predicate));
  AddFolderToFolderTable(folder, uid);
  RegisterUndoFolderAdded(folder, false);
  TruvaneUndoSetActionName("Add Folder");
  MarkQueueDirty();
  return folder;
}

std::string TRSmartFolder::smartDescription() {
  char head[64];
  std::snprintf(head, sizeof head, "<TRSmartFolder: %x: folder id %u name:",
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(this)), uid());
  std::string out =
      head + name() + " predicate:" + (predicate_ ? predicate_->description() : "(null)") + " itemsCache:{";
  for (const auto& [id, w] : itemsCache()) out += " " + std::to_string(id);
  return out + " }";
}

SmartFolderRef LookUpSmartFolder(ViewID uid) {
  return std::dynamic_pointer_cast<TRSmartFolder>(LookUpFolder(uid));
}

// ---- Built-in folders ----

namespace {

SmartFolderRef MakeDateFolder(ViewID uid, const char* key, PredicateRef rule) {
  return TRSmartFolder::createSmartFolderWithName(values::Localized(key), uid, std::move(rule));
}

void AddTypeFolder(ViewID uid, const char* key, const char* types) {
  if (LookUpFolder(uid)) return;
  auto folder = TRSmartFolder::addSmartFolderToListWithName(
      values::Localized(key), uid, TRSearchPredicate::WithStringOfTypes(types, kOpTypeIn));
  ui::MainListServicesSlot::Get().AddFolderRow(uid, folder->name());
}

}  // namespace

SmartFolderRef CreateTodayFolder() {
  return MakeDateFolder(200, "kTodayFolderLabel", TRSearchPredicate::LastNPredicate(1));
}
SmartFolderRef CreateYesterdayFolder() {
  return MakeDateFolder(201, "kYesterdayFolderLabel", TRSearchPredicate::YesterdayPredicate());
}
SmartFolderRef CreatePastWeekFolder() {
  return MakeDateFolder(202, "kPastWeekFolderLabel", TRSearchPredicate::LastNPredicate(7));
}
SmartFolderRef CreatePastMonthFolder() {
  return MakeDateFolder(203, "kPastMonthFolderLabel", TRSearchPredicate::LastNPredicate(30));
}
SmartFolderRef CreateDateFolder(ViewID uid) {
  switch (uid) {
    case 200:
      return CreateTodayFolder();
    case 201:
      return CreateYesterdayFolder();
    case 202:
      return CreatePastWeekFolder();
    case 203:
      return CreatePastMonthFolder();
    default:
      return nullptr;
  }
}

void AddApplicationTypesFolder() {
  AddTypeFolder(0x400001, "kAllApplications", "bin;sit;sitx;dmg;zip;tgz;gz");
}
void AddDocumentTypesFolder() {
  AddTypeFolder(0x400002, "kAllDocuments", "doc;docx;xls;xlsx;pdf;rtf;pages");
}
void AddMusicTypesFolder() {
  AddTypeFolder(0x400003, "kAllMusic", "wma;flac;mp3;m4a;m4p");
}
void AddPDFFolder() {
  AddTypeFolder(0x400005, "kAllPDF", "pdf");
}
void AddPicturesTypesFolder() {
  AddTypeFolder(0x400004, "kAllPictures", "jpeg;jpg;tif;tiff;png;psd");
}
void AddPresentationTypesFolder() {
  AddTypeFolder(0x400006, "kAllPresentations", "ppt;key;odp");
}

void AddBuiltInTypeSmartFolders() {
  AddApplicationTypesFolder();
  AddDocumentTypesFolder();
  AddMusicTypesFolder();
  AddPDFFolder();
  AddPicturesTypesFolder();
  AddPresentationTypesFolder();
  ui::MainListServicesSlot::Get().SortFolderRows();
}

// ---- The queue file ----

SmartFolderRef TRSmartFolderCreateFromArchivedPredicate(const values::Value& archive,
                                                        const std::optional<values::Bytes>& alias) {
  PredicateRef rule = UnarchivePredicate(archive);
  if (!rule) return nullptr;
  auto folder = std::make_shared<TRSmartFolder>(std::move(rule));
  if (alias) folder->setSmartFolder(alias);
  return folder;
}

values::Bytes TRSmartFolderCopyArchivedPredicate(const TRSmartFolder& folder) {
  return folder.predicate() ? ArchivePredicate(*folder.predicate()) : values::Bytes{};
}

// ---- Change tracking ----

void NoteElementChanged(const WrapperRef& wrapper, std::uint32_t bits) {
  if (!wrapper) return;
  ChangeTable()[wrapper->uid()] |= bits;
  NoteMetadataChange(wrapper->uid(), bits);
}

std::size_t PendingSmartFolderChanges() {
  return ChangeTable().size();
}

void ClearSmartFolderChanges() {
  ChangeTable().clear();
}

void UpdateFolderForChangedElements(TRFolder& folder) {
  auto* smart = dynamic_cast<TRSmartFolder*>(&folder);
  auto& list = ui::MainListServicesSlot::Get();
  const bool displayed = IsViewDisplayed(folder.uid());
  int scope = kScopeAll;
  std::uint32_t interest = 0;
  if (smart != nullptr) {
    interest = smart->predicate() ? smart->predicate()->variableTypes() : 0;
    if (displayed) scope = list.CurrentFilterScope();
  } else {
    if (!displayed) return;
    scope = list.CurrentFilterScope();
    if (scope == kScopeAll) return;
  }
  std::vector<WrapperRef> add;
  std::vector<std::uint32_t> remove;
  for (const auto& [uid, bits] : ChangeTable()) {
    WrapperRef wrapper = LookUpDownloadWrapper(uid);
    if (!wrapper) continue;
    if (smart != nullptr && (interest & bits)) {
      const int change = smart->checkElement(wrapper);
      if (displayed && change == 0) add.push_back(wrapper);
      if (displayed && change == 1) remove.push_back(uid);
    }
    if (scope != kScopeAll && displayed) {
      bool member = false;
      {
        std::lock_guard lock(folder.itemsLock());
        member = folder.items().count(uid) != 0;
      }
      if (member) {
        if (ElementMatchesViewFilter(wrapper->element(), scope)) {
          add.push_back(wrapper);
        } else {
          remove.push_back(uid);
        }
      }
    }
  }
  for (const auto& w : add) list.AddNewDownloadRow(w, false);
  if (!remove.empty()) list.RemoveDownloadRows(remove);
  if (!add.empty() || !remove.empty()) list.RefreshStatusBar();
}

void FlushSmartFolderChanges() {
  if (ChangeTable().empty()) return;
  std::vector<FolderRef> folders;
  {
    std::lock_guard lock(gFoldersLock);
    folders.reserve(gFolders.size());
    for (const auto& [uid, folder] : gFolders) folders.push_back(folder);
  }
  for (const auto& folder : folders) UpdateFolderForChangedElements(*folder);
  ChangeTable().clear();
}

}  // namespace queue
