#include "app/queue/history/download_filters.h"

#include <cstdlib>
#include <mutex>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/view_ids.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/files/file_system_helpers.h"
#include "app/util/settings/download_folder.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/files/catalog_info.h"
#include "platform/files/create_items.h"
#include "platform/values/string_compare.h"

namespace queue {
namespace {

std::mutex gFiltersLock;
std::vector<FilterRef> gFilters;
bool gFiltersLoaded = false;

std::vector<FilterRef> DefaultFilters() {
  const auto make = [](std::string name, std::vector<std::string> ext) {
    auto f = std::make_shared<DownloadFilter>();
    f->name = std::move(name);
    f->extensions = std::move(ext);
    return f;
  };
  return {
      make("Applications", {".sit", ".sitx", ".dmg", ".hqx", ".gz", ".tgz", ".bin", ".zip"}),
      make("Documents", {".doc", ".xls", ".pdf", ".txt"}),
      make("Images", {".gif", ".jpg", ".png", ".tiff", ".psd"}),
      make("Music", {".mp3", ".m4a", ".m4p", ".mp4", ".wav", ".aiff"}),
      make("Video", {".mov", ".mpeg", ".mpg", ".avi"}),
  };
}

// "a.zip" -> "a.<n>.zip"; a name without a dot gets ".<n>" at its end.
std::string RetryName(const std::string& name, int n) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos) return name + "." + std::to_string(n);
  return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

}  // namespace

std::vector<FilterRef> GetFilters() {
  std::lock_guard lock(gFiltersLock);
  return gFilters;
}

void LoadFilters(const values::Array* filters) {
  std::vector<FilterRef> table;
  if (filters == nullptr) {
    table = DefaultFilters();
  } else {
    for (const values::Value& d : *filters) {
      if (!d.IsDictionary()) continue;
      auto f = std::make_shared<DownloadFilter>();
      f->name = "F";
      d.GetString("name", f->name);
      const values::Array* ext = nullptr;
      if (d.GetArray("extensions", ext) == values::Lookup::kOk) {
        for (const values::Value& e : *ext)
          if (const std::string* s = e.AsString()) f->extensions.push_back(*s);
      }
      bool relative = true;
      if (d.GetBool("relative", relative) == values::Lookup::kOk) f->relative = relative;
      table.push_back(std::move(f));
    }
  }
  std::lock_guard lock(gFiltersLock);
  gFilters = std::move(table);
  gFiltersLoaded = true;
}

void SetFilters(const std::vector<DownloadFilter>& filters, bool useFiltersChanged) {
  bool changed = useFiltersChanged;
  {
    std::lock_guard lock(gFiltersLock);
    std::vector<FilterRef> table;
    for (const DownloadFilter& given : filters) {
      FilterRef kept;
      for (const auto& old : gFilters)
        if (old->name == given.name) kept = old;
      if (kept) {
        if (kept->extensions != given.extensions || kept->relative != given.relative) changed = true;
        kept->extensions = given.extensions;
        kept->relative = given.relative;
      } else {
        kept = std::make_shared<DownloadFilter>(given);
        kept->tag = kFilterTag;
        kept->open = false;
        changed = true;
      }
      table.push_back(std::move(kept));
    }
    if (table.size() != gFilters.size()) changed = true;
    gFilters = std::move(table);
    gFiltersLoaded = true;
  }
  if (IsViewDisplayed(kFiltersViewID)) ui::MainListServicesSlot::Get().RefillMainList();
  if (changed && util::ReadSetting(util::kKeepFiltersOrganisedKey)) {
    files::FileRef folder;
    if (!util::GetDefaultDownloadFolder(folder)) return;
    std::vector<WrapperRef> all;
    for (const auto& [uid, w] : gQueueItems) all.push_back(w);
    for (const auto& w : all) FileElementByFilter(w, folder);
  }
}

values::Array CopyFiltersPreference() {
  values::Array out;
  for (const auto& f : GetFilters()) {
    values::Array ext;
    for (const auto& e : f->extensions) ext.push_back(values::Value(e));
    out.push_back(values::Value(
        values::Dictionary{{"name", f->name}, {"extensions", std::move(ext)}, {"relative", f->relative}}));
  }
  return out;
}

FilterRef FindFilterForFileName(const std::string& name) {
  if (!util::ReadSetting(util::kUseFiltersKey)) return nullptr;
  for (const auto& f : GetFilters()) {
    if (f->name.empty()) continue;
    for (const auto& ext : f->extensions)
      if (values::HasSuffix(name, ext, values::kCaseInsensitive)) return f;
  }
  return nullptr;
}

files::OSErr MakeFilterDestination(const files::FileRef& downloadFolder, files::FileRef& out,
                                   const std::string& folderName, bool relative) {
  out = downloadFolder;
  if (downloadFolder.empty() || folderName.empty()) return files::fnfErr;
  files::FileRef target;
  if (relative) {
    // A filter's name is one folder inside the download folder, never a way out of it.
    if (folderName == "." || folderName == ".." || folderName.find('/') != std::string::npos)
      return files::fnfErr;
    target = downloadFolder.Child(folderName);
  } else if (folderName[0] == '~') {
    const char* home = std::getenv("HOME");
    if (home == nullptr) return files::fnfErr;
    target = files::FileRef(std::string(home) + folderName.substr(1));
  } else {
    target = files::FileRef(folderName);
  }
  if (!files::Exists(target)) files::CreateFolder(target, true);
  auto info = files::GetCatalogInfo(target, files::LinkMode::kFollow);
  if (!info.ok()) return files::fnfErr;
  if (!info->IsFolder()) return files::dupFNErr;
  out = target;
  return files::noErr;
}

void FileElementByFilter(const WrapperRef& wrapper, const files::FileRef& downloadFolder) {
  if (!wrapper) return;
  DownloadQueueElement& e = wrapper->element();
  if (!e.completeFile || e.relativeLocation) return;
  std::optional<files::FileRef> file;
  if (const auto& url = DownloadQueueElementGetCompleteURL(e)) {
    if (auto path = url->FileSystemPath()) file = files::FileRef(*path);
  }
  if (!file) file = ResolveAliasField(e.completeFile);
  if (!file) return;
  if (file->Path().rfind(downloadFolder.Path() + "/", 0) != 0) return;
  files::FileRef destination = downloadFolder;
  if (FilterRef filter = FindFilterForFileName(file->Name())) {
    if (MakeFilterDestination(downloadFolder, destination, filter->name, filter->relative) != files::noErr)
      return;
  }
  if (file->Parent() == destination) return;
  files::FileRef moved;
  const std::string name = file->Name();
  files::OSErr err = MoveAndRenameItem(*file, destination, nullptr, &moved);
  for (int n = 1; err == files::dupFNErr && n < 10000; ++n) {
    const std::string retry = RetryName(name, n);
    err = MoveAndRenameItem(*file, destination, &retry, &moved);
  }
  if (err != files::noErr) return;
  if (auto alias = MakeAliasBytes(moved)) e.completeFile = std::move(alias);
  e.completeURL = values::FileUrlFromPath(moved.Path(), false);
  MarkQueueDirty();
}

void QueueFilterTableService::LoadFilters(const values::Array* filters) {
  queue::LoadFilters(filters);
}

std::optional<values::Array> QueueFilterTableService::CopyFiltersPreference() {
  return queue::CopyFiltersPreference();
}

}  // namespace queue
