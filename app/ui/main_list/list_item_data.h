#pragma once
// The cells of the main list: for every row kind and column property, the text, icon,
// check box or date the list shows, the answers to the list's questions (selectable,
// editable, container), and the few edits a cell takes (renaming a remote file, node or
// saved server; the queue check box; the auto-connect box).
//
// Values are read without locks on the main thread; the engine's tasks change the
// download records only through events handled there.

#include <cstdint>
#include <string>

#include "app/queue/record/download_queue_element.h"
#include "app/ui/services/main_list_browser.h"
#include "platform/toolbox/lists/list_view.h"

namespace ui {

// Set by the Rename command; the next editable question of a row that can be renamed
// answers true once and clears it.
extern bool gRenameRequested;

toolbox::Status ListItemDataCallback(const MainListItem& item, std::uint32_t property,
                                     toolbox::ListItemData& data, bool set);

// Text rules shared by the cells.
// "%llds", "%lld:%.2lld" or "%lld:%.2lld:%.2lld" of whole seconds.
std::string DurationText(std::int64_t seconds);
// "%ld bytes", "%ld KB" or "%.1f MB" (single precision); no larger unit.
std::string DownloadSizeText(std::int64_t size);
// The size a download row shows and sorts by: the total, or the received bytes while the
// total is 0 or unknown.
std::int64_t DownloadDisplaySize(const queue::DownloadQueueElement& e);
// Average KB/s of a completed download; 0 when no time was spent.
float AverageSpeed(const queue::DownloadQueueElement& e);
// Whole seconds left of a running download, when it has an estimate (speed above 0.2 KB/s
// and a known size).
bool RemainingSeconds(const queue::DownloadQueueElement& e, std::int64_t& seconds);
// "rwxr-xr-x" with s/S and t/T for the set-id and sticky bits.
std::string CopyPermissionsString(std::uint32_t mode);
// "Today", "Yesterday" or the medium date of a history day (seconds since 1904).
std::string HistoryDayLabel(std::uint32_t day1904);
// The shown text of an FTP root: host and path joined by one slash.
std::string FTPRootText(const std::string& host, const std::string& path);
// The shown name of a peer reached by address.
std::string PeerHostText(const std::string& address, const std::optional<std::string>& serviceName);

}  // namespace ui
