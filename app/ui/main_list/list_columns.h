#pragma once
// The main list's columns: one description per column (property id, kind, flags, title,
// width bounds, justification, title offset, place), adding a column by its index, the
// header's column chooser, and a view's layout saved to and restored from its layout
// folder.
//
// A column's index is its property id minus 1024; layouts, sorts and chooser items carry
// the index, never the property id.

#include <cstdint>

#include "app/queue/folders/tr_folder.h"
#include "platform/toolbox/lists/list_view.h"
#include "platform/toolbox/menus/menu.h"

namespace ui {

inline constexpr std::uint32_t kColumnIndexBase = 1024;

// Column property ids.
enum ColumnProperty : std::uint32_t {
  kColName = 1025,
  kColStatus = 1026,
  kColSize = 1027,
  kColSpeed = 1028,
  kColEstimatedTime = 1029,
  kColConnections = 1031,
  kColElapsedTime = 1032,
  kColPercent = 1033,
  kColStartDate = 1034,
  kColEndDate = 1035,
  kColDownloadCount = 1036,
  kColURL = 1037,
  kColFile = 1038,
  kColPriority = 1039,
  kColOwner = 1040,
  kColGroup = 1041,
  kColPermissions = 1042,
  kColKind = 1043,
  kColPath = 1044,
  kColUploadCount = 2024,
  kColAddress = 2048,
  kColServerStatus = 2049,
  kColHostIcon = 2050,
  kColServerName = 2051,
  kColUserName = 2052,
  kColConnectedAs = 3072,
  kColRemoteHost = 7024,
  kColReceivedDate = 8024,
  kColDateModified = 8025,
  kColAutoConnect = 9024,
  kColRemoteLead = 9216,
  kColQueueCheck = 11024,
  kColQueuePosition = 11025,
  kColCustomName = 11028,
};

struct ColumnSpec {
  std::uint32_t property = 0;
  const char* title_key = "";
  bool localized_title = true;
  toolbox::ListColumnKind kind = toolbox::ListColumnKind::kText;
  unsigned flags = 0;
  int min_width = 0;
  int max_width = 0;
  int width_on_adding = 0;  // 0: the list's default
  toolbox::ListJustification justification = toolbox::ListJustification::kLeft;
  int title_offset = 0;
  int position = toolbox::kListAppendColumn;
};

// The description of a column, nullptr for a property without one.
const ColumnSpec* FindColumnSpec(std::uint32_t property);

// The column maker: adds the column of `property` at its place.
void AddColumn(toolbox::ListView& list, std::uint32_t property);
// Adds the column of a known index unless the list has it with a width other than 0 (a
// column present with width 0 is put back as new).
void AddColumnByIndex(toolbox::ListView& list, std::uint32_t index);
bool HasVisibleColumn(const toolbox::ListView& list, std::uint32_t property);

void SaveColumnLayout(const toolbox::ListView& list, queue::FolderColumnOptions& options);
void RestoreColumnLayout(toolbox::ListView& list, const queue::FolderColumnOptions& options,
                         std::uint32_t sortIndex, std::uint16_t sortOrder);
// The sort property a saved index restores as.
std::uint32_t SortPropertyForIndex(std::uint32_t sortIndex);

// Which column chooser a displayed view gets.
enum class ChooserKind { kFTPHost, kWebDAVHost, kOtherHost, kUploads, kReceivedFiles, kServers, kOther };

inline constexpr std::int16_t kColumnChooserMenuID = 1024;
inline constexpr values::FourCharCode kColumnItemProperty = values::FourCC("Colu");
inline constexpr std::uint32_t kChooserSelectAll = 0;
inline constexpr std::uint32_t kChooserSelectNone = 1;

void AppendColumnChooserItem(const toolbox::ListView& list, toolbox::Menu& menu, std::uint32_t index);
void BuildColumnChooserMenu(const toolbox::ListView& list, toolbox::Menu& menu, ChooserKind kind);
void HideAllChooserColumns(toolbox::ListView& list, ChooserKind kind);
void ShowAllChooserColumns(toolbox::ListView& list, ChooserKind kind);
// A chosen chooser item (its 'Truv'/'Colu' property): select all, select none, or the
// column shown or hidden. Items without the property do nothing.
void ColumnChooserItemChosen(toolbox::ListView& list, ChooserKind kind, const toolbox::Menu& menu, int item);

}  // namespace ui
