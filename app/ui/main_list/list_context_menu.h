#pragma once
// The main list's contextual menu: built from a summary of the selected rows (or, with no
// selection or a click on the column header, of the list's target container), in one
// fixed order of groups - open and reveal, received files, uploads, downloads, send to,
// upload queue, saved servers, remote rows, WebDAV items, remote files, local downloads,
// details and URLs, sensitive servers, direct transfer - and, for a header click, the
// column chooser.
//
// Texts come in a singular and a plural form (by the count the group names); a "pair" is
// an item whose text ends in "..." (it asks before it acts) with an Option alternate
// without the dots. The menu only carries commands; the window's command handler carries
// them out.
//
// Main thread only.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ui/services/main_list_browser.h"
#include "app/upload/interface/send_to_menu.h"
#include "platform/toolbox/lists/list_view.h"
#include "platform/toolbox/menus/menu.h"

namespace ui {

inline constexpr std::int16_t kListContextMenuID = 1024;

// Commands of the menu. The fourth bytes of 'AMyƒ', 'SSRø' and 'SSbø' are Mac Roman.
namespace listcmd {
inline constexpr values::FourCharCode kOpenWith = values::FourCC("Owif");
inline constexpr values::FourCharCode kReveal = values::FourCC("RFin");
inline constexpr values::FourCharCode kStop = values::FourCC("StoD");
inline constexpr values::FourCharCode kStart = values::FourCC("StaD");
inline constexpr values::FourCharCode kRemove = values::FourCC("Remo");
inline constexpr values::FourCharCode kConnectToHost = values::FourCC("CoH%");
inline constexpr values::FourCharCode kSendTo = values::FourCC("CtFi");
inline constexpr values::FourCharCode kEdit = values::FourCC("Edit");
inline constexpr values::FourCharCode kHold = values::FourCC("HolD");
inline constexpr values::FourCharCode kQueue = values::FourCC("QDow");
inline constexpr values::FourCharCode kShiftUp = values::FourCC("DSUp");
inline constexpr values::FourCharCode kShiftUp5 = values::FourCC("DSU5");
inline constexpr values::FourCharCode kShiftDown = values::FourCC("DSDo");
inline constexpr values::FourCharCode kShiftDown5 = values::FourCC("DSD5");
inline constexpr values::FourCharCode kMoveToTop = values::FourCC("MvIT");
inline constexpr values::FourCharCode kConnectFavourite = values::FourCC("CFa!");
inline constexpr values::FourCharCode kDisconnectFavourite = values::FourCC("DFa!");
inline constexpr values::FourCharCode kEditFavourite = values::FourCC("EFa!");
inline constexpr values::FourCharCode kDuplicate = values::FourCC("Dupl");
inline constexpr values::FourCharCode kRefresh = values::FourCC("RFFl");
inline constexpr values::FourCharCode kAddToMyServers = values::FourCCFromBytes('A', 'M', 'y', 0xC4);
inline constexpr values::FourCharCode kNewFolder = values::FourCC("CrSF");
inline constexpr values::FourCharCode kRename = values::FourCC("SrvR");
inline constexpr values::FourCharCode kShowInfo = values::FourCC("FSin");
inline constexpr values::FourCharCode kSessionLog = values::FourCC("SL*g");
inline constexpr values::FourCharCode kTransferDetails = values::FourCC("Vdet");
inline constexpr values::FourCharCode kCopyURLs = values::FourCC("CuRl");
inline constexpr values::FourCharCode kCopyKillURLs = values::FourCC("KCUl");
inline constexpr values::FourCharCode kRemoveSensitive = values::FourCCFromBytes('S', 'S', 'R', 0xBF);
inline constexpr values::FourCharCode kAddSensitive = values::FourCCFromBytes('S', 'S', 'b', 0xBF);
inline constexpr values::FourCharCode kDirectTransfer = values::FourCC("DirT");
// The buttons of the cells.
inline constexpr values::FourCharCode kSendFile = values::FourCC("SeSf");
}  // namespace listcmd

// What the menu depends on besides the rows.
struct ListMenuContext {
  bool advancedMode = true;
  bool filtersViewShown = false;
  std::size_t queueOrderCount = 0;  // downloads in the queue order
  std::size_t uploadsWaiting = 0;   // uploads in the upload queue
  // The destinations of the "Send To" submenu (none: the item is left out).
  std::vector<upload::SendToMenuItem> sendTo;
  // The "Open With" submenu for a file (nullptr or an empty menu: the item is left out).
  std::function<toolbox::MenuRef(const std::string& path)> openWithMenu;
};

// Item properties (creator 'Truv') of the "Open With" items: the file ('URL ' on the item,
// 'File' on each program) and the program's entry ('URL ' on each program).
inline constexpr values::FourCharCode kURLProperty = values::FourCC("URL ");
inline constexpr values::FourCharCode kFileProperty = values::FourCC("File");

// The programs that open the file, the default first and set apart by a separator.
toolbox::MenuRef CreateOpenWithMenu(const std::string& path);
// A program of that menu chosen: starts the program (by its entry's name) on the file;
// false when the program is no longer found or cannot start.
bool OpenFileWith(const std::string& applicationID, const std::string& path);

// The item property ('Truv', 'SndT') of a "Send To" entry: its index in the context's
// destinations.
inline constexpr values::FourCharCode kSendToEntryProperty = values::FourCC("SndT");

// The menu for these selected rows; with none, `container` (the list's target, nullptr
// for the root) makes a container menu. nullptr when the menu has no items.
toolbox::MenuRef BuildListContextMenu(const std::vector<MainListItem>& selected,
                                      const MainListItem* container, const ListMenuContext& context);

// The list's contextual-menu callback: the main list's selection and target, the column
// chooser for a header click.
toolbox::MenuRef ListContextMenuCallback(toolbox::ListView& list, bool header);
// An item chosen from it: a column chooser item shows or hides its column; any other
// item's command goes to the main window.
void ListContextMenuChosen(toolbox::ListView& list, const toolbox::MenuSelection& chosen);

// The URL's last path component; else the text after the last "/" of its path; else "".
std::string CopyURLDisplayName(const std::string& url);

}  // namespace ui
