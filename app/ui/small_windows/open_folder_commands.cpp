#include "app/ui/small_windows/open_folder_commands.h"

#include "app/sharing/services/received_files_service.h"
#include "app/util/settings/download_folder.h"
#include "platform/desktop/workspace.h"
#include "platform/files/file_ref.h"

namespace ui {
namespace {

constexpr runtime::Status kFileNotFound = -43;
constexpr runtime::Status kIOError = -36;

runtime::Status OpenInFileManager(const std::string& folder) {
  return desktop::WorkspaceSlot::Get().OpenFile(folder) ? runtime::kNoErr : kIOError;
}

}  // namespace

runtime::Status OpenDefaultFolderInFinder() {
  files::FileRef folder;
  if (!util::GetDefaultDownloadFolder(folder)) return kFileNotFound;
  return OpenInFileManager(folder.Path());
}

runtime::Status OpenReceivedFolderInFinder() {
  const auto folder = sharing::ReceivedFilesServiceSlot::Get().GetReceivedFilesFolder(true);
  if (!folder) return kFileNotFound;
  return OpenInFileManager(folder->string());
}

}  // namespace ui
