#pragma once
// Drag and drop of the main list.
//
// Out: a dragged download row carries its wrapper (for drops inside the program), its URLs
// as text and, when local and finished, its file; an upload its file; remote nodes their
// node. Other programs see the files and the text (toolbox drag payloads).
//
// In: a download row dropped on a Queued local download, while the list is sorted by a
// queue column (status, queue box, queue place), moves to that place of the queue (queued
// first when it was not); with any other sort the drop on a local download is refused.
// From other programs: a browser's ".download" bundle is imported, a web URL and every
// line of dropped text (longer than one character) become downloads, other files open the
// send-files window with them.
//
// Dropped text is read only up to kMaxDroppedTextBytes, and at most kMaxDroppedLines lines
// of it (or items of a dropped URI list) are taken: a drop from another program is
// outside input.
//
// Main thread only.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ui/services/main_list_browser.h"
#include "platform/toolbox/lists/list_view.h"
#include "platform/toolbox/views/drag.h"

namespace ui {

inline constexpr values::FourCharCode kFlavorDownloadRow = values::FourCC("QEl_");
inline constexpr values::FourCharCode kFlavorFTPNode = values::FourCC("FTPN");
inline constexpr values::FourCharCode kFlavorDotMacNode = values::FourCC(".McN");

inline constexpr std::size_t kMaxDroppedTextBytes = 1 << 20;
inline constexpr std::size_t kMaxDroppedLines = 5000;

bool DragHasText(const toolbox::Drag& drag);
bool DragHasFileURL(const toolbox::Drag& drag);
// Some item's URL is a file whose name ends in ".download", in any letter case.
bool DragHasDownloadBundle(const toolbox::Drag& drag);
// The item's URL, when it carries one.
std::optional<std::string> CopyDragFileURL(const toolbox::DragItem& item);

// The flavours of one dragged row; nothing for rows that are not dragged.
std::optional<toolbox::DragItem> AddDragFlavorsForRow(const MainListItem& row);

// Whether the drop over `target` (nullptr: no row) would be taken.
bool ListAcceptDragCallback(const toolbox::ListView& list, const toolbox::Drag& drag,
                            const MainListItem* target);
// Carries the drop out; true when the drop was taken.
bool ListDragReceiveCallback(toolbox::ListView& list, const toolbox::Drag& drag, const MainListItem* target);
// A drag of rows ended: the insertion mark goes, the cursor is the arrow again.
void MoveDraggedItemsToTrash(const toolbox::Drag& drag, unsigned action);
// The row the insertion mark is over during a reorder drag (0: none).
toolbox::ListItemID DragInsertionMark();

// The lines of dropped text that name downloads: split at CR, LF, U+2028 and U+2029,
// trimmed, lines of one character or none dropped; bounded as said above.
std::vector<std::string> DroppedTextLines(const std::string& text);
// Adds a download (default settings) for each of those lines; the number added.
std::size_t AddDroppedTextLines(const std::string& text);

// Where dropped files that are not downloads go (the paths): the send-files window, unless
// a test installs another.
using DroppedFilesSender = std::function<void(const std::vector<std::string>& paths)>;
DroppedFilesSender SetDroppedFilesSender(DroppedFilesSender sender);

}  // namespace ui
