#include "app/util/settings/download_folder.h"

#include "app/ui/services/folder_dialog_service.h"
#include "app/util/files/file_bridges.h"
#include "app/util/helpers/session_helpers.h"
#include "app/util/settings/settings_store.h"
#include "platform/files/alias.h"
#include "platform/files/standard_folders.h"
#include "platform/prefs/preference_store.h"

namespace util {

bool gSystemIs105OrLater = true;

namespace {

constexpr std::string_view kDefaultFolderAliasKey = "Default folder alias";

std::optional<files::AliasRecord> gDefaultFolderAlias;

// The session's answer; whether it was asked in this session is gSessionDownloadFolderAsked.
struct SessionFolder {
  files::FileRef folder;
  bool cancelled = false;
};
SessionFolder gSession;

void StoreAlias() {
  if (gDefaultFolderAlias)
    SetPreferenceValue(kDefaultFolderAliasKey, values::Data{files::AliasToBytes(*gDefaultFolderAlias)});
}

// The folder at a path, made with its parents when missing; nothing when something else
// stands there or it cannot be made.
std::optional<files::FileRef> MakeFolderAt(const std::string& path) {
  if (path.empty() || path.front() != '/') return std::nullopt;
  files::FileRef folder(path);
  if (!CreateDirectoryAtPath(folder.Path())) return std::nullopt;
  return folder;
}

// The folder's last known path. The preferences window writes it as "last default path";
// older settings have it as "last default folder". Either will do, the first one set.
std::optional<std::string> LastDefaultFolderPath() {
  prefs::PreferenceStore& store = SettingsPreferences();
  for (std::string_view key : {"last default folder", "last default path"}) {
    if (std::optional<std::string> path = store.GetString(key); path && !path->empty()) return path;
  }
  return std::nullopt;
}

void RememberFolder(const files::FileRef& folder) {
  files::Result<files::AliasRecord> alias = files::MakeAlias(folder);
  if (alias.ok()) gDefaultFolderAlias = std::move(alias).value();
}

}  // namespace

bool FindDefaultDownloadFolder(files::FileRef& folder) {
  if (gSystemIs105OrLater) {
    files::Result<files::FileRef> downloads =
        files::FindStandardFolder(files::StandardFolder::kDownloads, true);
    if (downloads.ok()) {
      folder = *downloads;
      return true;
    }
  }
  files::Result<files::FileRef> documents =
      files::FindStandardFolder(files::StandardFolder::kDocuments, true);
  if (!documents.ok()) return false;
  const files::FileRef fallback = documents->Child(kFallbackDownloadFolderName);
  if (!CreateDirectoryAtPath(fallback.Path())) return false;
  folder = fallback;
  return true;
}

bool GetDefaultDownloadFolder(files::FileRef& folder) {
  if (gDefaultFolderAlias) {
    files::Result<files::AliasResolution> resolved = files::ResolveAlias(*gDefaultFolderAlias);
    if (resolved.ok() && gDefaultFolderAlias->is_folder) {
      folder = resolved->ref;
      if (resolved->updated) StoreAlias();
      return true;
    }
    gDefaultFolderAlias.reset();
  }

  bool found = false;
  if (std::optional<std::string> path = LastDefaultFolderPath()) {
    if (std::optional<files::FileRef> last = MakeFolderAt(*path)) {
      folder = *last;
      found = true;
    }
  }
  if (!found) found = FindDefaultDownloadFolder(folder);
  if (found) RememberFolder(folder);
  StoreAlias();
  return found;
}

bool ChooseDefaultDownloadFolder(files::FileRef& folder) {
  GetDefaultDownloadFolder(folder);
  if (PrefIntegerForKey("downloadMode") != 2) return false;

  const ui::ChooseFolderAnswer answer =
      ui::FolderDialogServiceSlot::Get().ChooseFolder(folder.Path(), values::FourCC("Alwa"));
  switch (answer.kind) {
    case ui::ChooseFolderAnswer::Kind::kNotShown:
      return false;
    case ui::ChooseFolderAnswer::Kind::kCancelled:
      return true;
    case ui::ChooseFolderAnswer::Kind::kChosen:
      if (files::Result<files::FileRef> chosen = files::MakeExistingRef(answer.folder); chosen.ok())
        folder = *chosen;
      return false;
  }
  return false;
}

bool GetSessionDownloadFolder(files::FileRef& folder) {
  if (!gSessionDownloadFolderAsked) {
    gSession.cancelled = ChooseDefaultDownloadFolder(gSession.folder);
    gSessionDownloadFolderAsked = true;
  }
  folder = gSession.folder;
  return gSession.cancelled;
}

files::OSErr GetAppSupportFolder(files::FileRef* folder) {
  files::Result<files::FileRef> support =
      files::FindStandardFolder(files::StandardFolder::kApplicationSupport, true);
  if (!support.ok()) return support.code();
  if (folder != nullptr) *folder = *support;
  return files::noErr;
}

void LoadDefaultFolderAlias(const std::optional<values::Bytes>& bytes) {
  gDefaultFolderAlias.reset();
  if (!bytes) return;
  files::Result<files::AliasRecord> alias = files::AliasFromBytes(*bytes);
  if (alias.ok()) gDefaultFolderAlias = std::move(alias).value();
}

std::optional<values::Bytes> CopyDefaultFolderAliasBytes() {
  if (!gDefaultFolderAlias) return std::nullopt;
  return files::AliasToBytes(*gDefaultFolderAlias);
}

bool SetDefaultDownloadFolder(const files::FileRef& folder) {
  files::Result<files::AliasRecord> alias = files::MakeAlias(folder);
  if (!alias.ok()) return false;
  gDefaultFolderAlias = std::move(alias).value();
  StoreAlias();
  return true;
}

void DisposeDefaultFolderAlias() {
  gDefaultFolderAlias.reset();
}

}  // namespace util
