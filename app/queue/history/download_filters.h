#pragma once
// Download filters: groups of file extensions, each with a destination folder. The
// completion step asks which filter a finished file's name belongs to and files it into
// that filter's folder; when the filters change, every finished download in the download
// folder can be re-filed.
//
// A filter's name is its key and its destination: a folder of that name inside the
// download folder (relative) or a path, "~" meaning the home folder. Filters are tried in
// the order the settings list them; the first whose extension ends the name (any case)
// wins. The settings store loads the table at every settings load (FilterTableService).
//
// Main thread only; the table has a lock because the sharing server's listings read it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/services/filter_table_service.h"
#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"
#include "platform/values/value.h"

namespace queue {

inline constexpr std::uint32_t kFilterTag = 0x46696C74;  // 'Filt'

struct DownloadFilter {
  std::uint32_t tag = kFilterTag;
  std::string name;
  std::vector<std::string> extensions;
  bool relative = true;
  bool open = false;
};
using FilterRef = std::shared_ptr<DownloadFilter>;

// The filter table in its order.
std::vector<FilterRef> GetFilters();
void LoadFilters(const values::Array* filters);
// Replaces the table (records of a known name are updated in place and keep their open
// flag); refills the Filters view when shown and, when "keep_filters_organised" is on and
// the filters or "use filters" changed, re-files every download.
void SetFilters(const std::vector<DownloadFilter>& filters, bool useFiltersChanged = false);
values::Array CopyFiltersPreference();

FilterRef FindFilterForFileName(const std::string& name);
// 0 with `out` the folder; -48 (out: the download folder) when the name is taken by a
// file; -43 when it cannot be made.
files::OSErr MakeFilterDestination(const files::FileRef& downloadFolder, files::FileRef& out,
                                   const std::string& folderName, bool relative);
// Moves the download's finished file into its filter's folder (or back to the download
// folder when no filter takes it); files outside the download folder stay.
void FileElementByFilter(const WrapperRef& wrapper, const files::FileRef& downloadFolder);

// The settings store's side of the table.
class QueueFilterTableService : public FilterTableService {
 public:
  void LoadFilters(const values::Array* filters) override;
  std::optional<values::Array> CopyFiltersPreference() override;
};

}  // namespace queue
