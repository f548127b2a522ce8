#pragma once
// The main list's own cells: the status column (a progress bar, or a status text, beside a
// small status icon), the actions column (up to three icon buttons) and the icon column
// of the remote views (one button); what a click on one of those icons does; and the help
// tags of the rows.
//
// Geometry, in the list's coordinates. Buttons: an area at least 52 points wide in the
// actions column (20 in the icon column), centred on a narrower cell; 16-point icons 18
// points apart from the area's left, vertically centred. Status column: the left 20
// points hold the status icon, the text or bar the rest, inset 5 points on each side.
//
// A press on an icon is tracked by the list (the icon drawn pressed while the mouse stays
// over it) and acts on release over it; a press elsewhere in the actions or icon column
// does nothing at all (the row is not even selected), a press elsewhere in the status
// column is an ordinary click. Actions that belong to a window's command handler post the
// command after selecting only the clicked row, so that the handler does the work once the
// click is over.
//
// Main thread only; the drawing reads counters that transfer tasks update, without a lock.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/queue/record/download_queue_element.h"
#include "app/ui/services/main_list_browser.h"
#include "platform/toolbox/lists/list_view.h"
#include "platform/values/fourcc.h"

namespace upload {
class UploadRow;
}

namespace ui {

// Icons of the cells (creator 'Truv').
inline constexpr values::FourCharCode kCellIconStop = values::FourCC("Stop");
inline constexpr values::FourCharCode kCellIconResume = values::FourCC("Resu");
inline constexpr values::FourCharCode kCellIconReveal = values::FourCC("revL");
inline constexpr values::FourCharCode kCellIconUpload = values::FourCC("UplA");
inline constexpr values::FourCharCode kCellIconDelete = values::FourCC("Del ");
inline constexpr values::FourCharCode kCellIconDirect = values::FourCC("DDLi");
inline constexpr values::FourCharCode kCellIconScheduled = values::FourCC("ScDD");

// The press target number of a status cell's icon; its buttons are numbered 1 to 3.
inline constexpr int kStatusIconPart = 4;

// The icon image, registered on first use (a PNG of the icon's resource name in the
// resource folder when there is one, else our own drawing).
std::optional<toolbox::Image> GetCellIcon(values::FourCharCode type);

// ---- Texts ----
// "Queued (%dst)" and its siblings for the 1-based place n, formatted.
std::string QueuedOrdinalText(std::int32_t n);
// The status text of a download row; `now` decides "Today" and "Tomorrow".
std::string DownloadStatusText(const queue::DownloadQueueElement& e, double now);
// A completed download whose checksum did not match: its text is drawn in red.
bool DownloadStatusIsWarning(const queue::DownloadQueueElement& e);
std::string CopyUploadStatusText(const upload::UploadRow& u);
std::string ReceivedFileStatusText(std::int32_t status, std::int64_t size, std::int64_t received);

// ---- Icons of a row (0: none) ----
values::FourCharCode GetStatusCellIcon(const MainListItem& row);
// Button 1 to 3 of the actions column (1038) or the icon column (9216).
values::FourCharCode GetCellButtonIcon(const MainListItem& row, std::uint32_t property, int button);

// ---- Geometry ----
toolbox::Rect CellButtonRect(const toolbox::Rect& cell, std::uint32_t property, int button);
toolbox::Rect StatusIconRect(const toolbox::Rect& cell);

// ---- The list's callbacks ----
// What a press does (toolbox::ListCallbacks::cell_press).
int ListCellPress(const MainListItem& row, std::uint32_t property, const toolbox::Rect& cell,
                  toolbox::Point where);
// A released button (numbered 1 to 3) or status icon (kStatusIconPart).
void CellButtonClicked(const MainListItem& row, std::uint32_t property, int part);
void DrawDownloadStatusCell(toolbox::DrawingContext& ctx, const MainListItem& row,
                            const toolbox::ListCustomDraw& cell);
// A bar in `area` (the status cell less its icon): `fraction` 0 to 1, or 0 and below for
// a bar that only says something is happening.
void DrawProgressCell(toolbox::DrawingContext& ctx, const toolbox::Rect& area, bool selected, bool active,
                      double fraction);
std::string CopyItemHelpTag(const MainListItem& row, std::uint32_t property);

// The status columns of every row drawn again.
void UpdateStatusColumn();
// Whether the columns together are wider than the list (less a scroll bar's width).
bool ColumnsWiderThanBrowser(const toolbox::ListView& list, int listWidth);

// The phase of the indeterminate bars; the list refresh advances it.
void AdvanceProgressPhase();

// Where the cells' commands go: selecting the row is done, then the command is posted to
// the main window (tests install a recorder; an empty function restores the default).
using ListCommandSink = std::function<void(values::FourCharCode command)>;
ListCommandSink SetListCommandSink(ListCommandSink sink);
// Selects only `row` and posts `command`.
void PostListCommandForRow(const MainListItem& row, values::FourCharCode command);
void PostListCommand(values::FourCharCode command);

}  // namespace ui
