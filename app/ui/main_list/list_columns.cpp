#include "app/ui/main_list/list_columns.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "platform/values/localize.h"

namespace ui {
namespace {

using toolbox::ListColumnKind;
using toolbox::ListJustification;
constexpr unsigned kSel = toolbox::kListColumnSelectable;
constexpr unsigned kMov = toolbox::kListColumnMovable;
constexpr unsigned kSort = toolbox::kListColumnSortable;
constexpr unsigned kType = toolbox::kListColumnTypeSelect;
constexpr unsigned kEdit = toolbox::kListColumnEditable;
constexpr unsigned kRel = toolbox::kListColumnRelativeDate;
constexpr unsigned kStd = kSel | kMov | kSort;
constexpr auto kL = ListJustification::kLeft;
constexpr auto kC = ListJustification::kCenter;
constexpr int kAppend = toolbox::kListAppendColumn;

constexpr ColumnSpec kColumns[] = {
    {kColName, "Name", true, ListColumnKind::kIconAndText, kStd | kType | kEdit, 60, 500, 200, kL, 0,
     kAppend},
    {kColStatus, "Status", true, ListColumnKind::kCustom, kStd, 95, 320, 220, kC, 0, kAppend},
    {kColSize, "Size", true, ListColumnKind::kText, kStd, 40, 200, 80, kC, 0, kAppend},
    {kColSpeed, "KB/s", true, ListColumnKind::kText, kStd, 60, 150, 120, kC, 0, kAppend},
    {kColEstimatedTime, "Est. Time", true, ListColumnKind::kText, kStd, 60, 250, 80, kC, 0, kAppend},
    {kColConnections, "N.O.C", true, ListColumnKind::kText, kStd, 40, 120, 0, kC, -8, kAppend},
    {kColElapsedTime, "Elapsed Time", true, ListColumnKind::kText, kStd, 50, 200, 0, kC, 0, kAppend},
    {kColPercent, "%", true, ListColumnKind::kText, kStd, 50, 105, 0, kC, -4, kAppend},
    {kColStartDate, "Start Date", true, ListColumnKind::kDate, kStd | kRel, 50, 320, 0, kL, 0, kAppend},
    {kColEndDate, "End Date", true, ListColumnKind::kDate, kStd | kRel, 50, 320, 0, kL, 0, kAppend},
    {kColDownloadCount, "Download Count", true, ListColumnKind::kText, kStd, 40, 190, 0, kC, 0, kAppend},
    {kColURL, "URL", true, ListColumnKind::kText, kStd, 50, 800, 0, kL, 0, kAppend},
    {kColFile, "", false, ListColumnKind::kCustom, 0, 60, 60, 0, kL, 0, 0},
    {kColPriority, "!", false, ListColumnKind::kIcon, kSort, 30, 30, 0, kC, -10, 1},
    {kColOwner, "Owner", true, ListColumnKind::kText, kStd, 50, 150, 0, kL, -4, kAppend},
    {kColGroup, "Group", true, ListColumnKind::kText, kStd, 50, 150, 0, kL, -4, kAppend},
    {kColPermissions, "Permissions", true, ListColumnKind::kText, kStd, 60, 150, 0, kL, -4, kAppend},
    {kColKind, "Kind", true, ListColumnKind::kText, kStd, 80, 400, 0, kL, -4, kAppend},
    {kColPath, "Path", true, ListColumnKind::kText, kStd, 50, 800, 0, kL, 0, kAppend},
    {kColUploadCount, "Upload Count", true, ListColumnKind::kText, kStd, 40, 190, 0, kC, 0, kAppend},
    {kColAddress, "Address", true, ListColumnKind::kText, kStd, 50, 300, 0, kL, 0, kAppend},
    {kColServerStatus, "Status", true, ListColumnKind::kText, kStd, 100, 200, 0, kL, 0, kAppend},
    {kColHostIcon, "", false, ListColumnKind::kIcon, kStd, 30, 30, 0, kC, -10, kAppend},
    {kColServerName, "Name", true, ListColumnKind::kText, kStd | kType | kEdit, 60, 400, 0, kL, 0, kAppend},
    {kColUserName, "User Name", true, ListColumnKind::kText, kStd, 50, 200, 0, kL, 0, kAppend},
    {kColConnectedAs, "Connected As", true, ListColumnKind::kText, kStd, 50, 210, 0, kL, 0, kAppend},
    {kColRemoteHost, "Remote Host", true, ListColumnKind::kText, kStd, 200, 400, 0, kL, -4, kAppend},
    {kColReceivedDate, "Received Date", true, ListColumnKind::kDate, kStd | kRel, 50, 320, 0, kL, 0, kAppend},
    {kColDateModified, "Date Modified", true, ListColumnKind::kDate, kStd | kRel, 50, 320, 0, kL, 0, kAppend},
    {kColAutoConnect, "Auto", true, ListColumnKind::kCheckBox, kSort | kEdit, 30, 30, 0, kC, -10, 1},
    {kColRemoteLead, "", false, ListColumnKind::kCustom, 0, 28, 28, 0, kC, 0, 0},
    {kColQueueCheck, "", false, ListColumnKind::kCheckBox, kSort | kEdit, 24, 24, 0, kC, -12, 0},
    // Wide enough for a three-digit position: 24 px showed "…" from the 10th on.
    {kColQueuePosition, "", false, ListColumnKind::kText, kSort | kEdit, 40, 40, 0, kC, -12, 0},
    {kColCustomName, "Name", true, ListColumnKind::kCustom, kStd | kEdit, 60, 400, 0, kL, 0, kAppend},
};

bool In(std::uint32_t v, std::initializer_list<std::uint32_t> set) {
  return std::find(set.begin(), set.end(), v) != set.end();
}
bool InRange(std::uint32_t v, std::uint32_t lo, std::uint32_t hi) {
  return v >= lo && v <= hi;
}

// Indexes AddColumnByIndex and the width restore know.
bool IsKnownIndex(std::uint32_t i) {
  return InRange(i, 1, 5) || InRange(i, 7, 13) || InRange(i, 16, 20) ||
         In(i, {1000, 2048, 6000, 7000, 7001, 10004}) || InRange(i, 1024, 1028);
}
// Indexes a saved sort restores as.
bool IsSortableIndex(std::uint32_t i) {
  return InRange(i, 1, 5) || InRange(i, 7, 13) || InRange(i, 16, 20) || InRange(i, 1024, 1027) ||
         In(i, {1000, 2048, 6000, 7000, 7001, 10000, 10001, 10004});
}

const char* ChooserTitleKey(std::uint32_t index) {
  switch (index) {
    case 1:
      return "Name";
    case 2:
      return "Status";
    case 3:
      return "Size";
    case 4:
      return "kSpeedLabel";
    case 5:
      return "kEstimatedTimeLabel";
    case 7:
      return "kNumberOfConnectionsLabel";
    case 8:
      return "Elapsed Time";
    case 9:
      return "kPercentageLabel";
    case 10:
      return "Start Date";
    case 11:
      return "End Date";
    case 12:
      return "Download Count";
    case 13:
      return "URL";
    case 16:
      return "Owner";
    case 17:
      return "Group";
    case 18:
      return "Permissions";
    case 19:
      return "Kind";
    case 20:
      return "Path";
    case 1000:
      return "Upload Count";
    case 1024:
      return "Address";
    case 1025:
      return "Status";
    case 1027:
      return "Name";
    case 1028:
      return "User Name";
    case 2048:
      return "Connected As";
    case 6000:
      return "Remote Host";
    case 7000:
      return "Received Date";
    case 7001:
      return "Date Modified";
    case 10004:
      return "Name";
    default:
      return nullptr;
  }
}

std::vector<std::uint32_t> ChooserIndexes(ChooserKind kind) {
  switch (kind) {
    case ChooserKind::kFTPHost:
      return {3, 7001, 2048, 19, 18, 16, 17};
    case ChooserKind::kWebDAVHost:
      return {3, 13, 7001, 2048, 19};
    case ChooserKind::kOtherHost:
      return {3, 13, 7001, 2048, 1000};
    case ChooserKind::kUploads:
      return {3, 2048, 1000, 4, 2, 5, 8, 10, 11, 6000, 20};
    case ChooserKind::kReceivedFiles:
      return {3, 4, 2, 5, 7000, 6000};
    case ChooserKind::kServers:
      return {};
    case ChooserKind::kOther:
      return {3, 9, 12, 4, 2, 5, 8, 10, 11, 7, 13, 20};
  }
  return {};
}

std::vector<std::uint32_t> HideAllProperties(ChooserKind kind) {
  switch (kind) {
    case ChooserKind::kFTPHost:
      return {1027, 8025, 3072, 1043, 1042, 1040, 1041};
    case ChooserKind::kWebDAVHost:
      return {1027, 1037, 8025, 3072, 1043};
    case ChooserKind::kOtherHost:
      return {1027, 1037, 8025, 3072, 2024};
    case ChooserKind::kUploads:
      return {1027, 3072, 2024, 1028, 1026, 1029, 1032, 1034, 1035, 7024, 1044};
    case ChooserKind::kReceivedFiles:
      return {1027, 1028, 1026, 1029, 8024, 7024};
    case ChooserKind::kServers:
      return {};
    case ChooserKind::kOther:
      return {1027, 1033, 1036, 1028, 1026, 1029, 1032, 1034, 1035, 1031, 1037, 1044};
  }
  return {};
}

std::vector<std::uint32_t> ShowAllIndexes(ChooserKind kind) {
  switch (kind) {
    case ChooserKind::kFTPHost:
      return {3, 7001, 19, 2048, 18, 16, 17};
    case ChooserKind::kWebDAVHost:
      return {3, 7001, 13, 2048, 19};
    case ChooserKind::kOtherHost:
      return {3, 13, 7001, 2048, 1000};
    case ChooserKind::kUploads:
      return {2, 6000, 3, 4, 2048, 1000, 5, 8, 10, 11, 20};
    case ChooserKind::kReceivedFiles:
      return {3, 4, 2, 5, 7000, 6000};
    case ChooserKind::kServers:
      return {};
    case ChooserKind::kOther:
      return {2, 3, 4, 10, 5, 8, 11, 9, 7, 13, 12, 20};
  }
  return {};
}

}  // namespace

const ColumnSpec* FindColumnSpec(std::uint32_t property) {
  for (const auto& c : kColumns)
    if (c.property == property) return &c;
  return nullptr;
}

void AddColumn(toolbox::ListView& list, std::uint32_t property) {
  const ColumnSpec* spec = FindColumnSpec(property);
  if (!spec) return;
  toolbox::ListColumnDesc desc;
  desc.property = spec->property;
  desc.kind = spec->kind;
  desc.flags = spec->flags;
  desc.title = spec->localized_title ? values::Localized(spec->title_key) : std::string(spec->title_key);
  desc.min_width = spec->min_width;
  desc.max_width = spec->max_width;
  desc.justification = spec->justification;
  desc.title_offset = spec->title_offset;
  // A column that is already there is skipped, as the list refuses it.
  if (list.AddColumn(desc, spec->position) != toolbox::kListNoErr) return;
  if (spec->width_on_adding != 0) list.SetColumnWidth(property, spec->width_on_adding);
}

bool HasVisibleColumn(const toolbox::ListView& list, std::uint32_t property) {
  const auto width = list.ColumnWidth(property);
  return width && *width != 0;
}

void AddColumnByIndex(toolbox::ListView& list, std::uint32_t index) {
  if (!IsKnownIndex(index)) return;
  const std::uint32_t property = index + kColumnIndexBase;
  if (HasVisibleColumn(list, property)) return;
  // A column kept at width 0 would refuse to be added again and could never be shown.
  if (list.HasColumn(property)) list.RemoveColumn(property);
  AddColumn(list, property);
}

void SaveColumnLayout(const toolbox::ListView& list, queue::FolderColumnOptions& options) {
  const auto columns = list.Columns();
  if (columns.empty()) return;
  queue::FolderColumnOptions out;
  std::size_t slot = 0;
  for (std::uint32_t property : columns) {
    if (slot == queue::kMaxFolderColumns) break;
    out.props[slot] = property;
    out.sizes[slot] =
        static_cast<std::uint16_t>(std::clamp(list.ColumnWidth(property).value_or(0), 0, 0xFFFF));
    ++slot;
  }
  auto dropFirst = [&out] {
    for (std::size_t i = 0; i + 1 < queue::kMaxFolderColumns; ++i) {
      out.props[i] = out.props[i + 1];
      out.sizes[i] = out.sizes[i + 1];
    }
    out.props[queue::kMaxFolderColumns - 1] = 0;
    out.sizes[queue::kMaxFolderColumns - 1] = 0;
  };
  if (out.props[0] == kColFile) dropFirst();
  if (out.props[0] == kColPriority) dropFirst();
  options = out;
}

std::uint32_t SortPropertyForIndex(std::uint32_t sortIndex) {
  return IsSortableIndex(sortIndex) ? sortIndex + kColumnIndexBase : static_cast<std::uint32_t>(kColName);
}

void RestoreColumnLayout(toolbox::ListView& list, const queue::FolderColumnOptions& options,
                         std::uint32_t sortIndex, std::uint16_t sortOrder) {
  for (std::size_t i = 0; i < queue::kMaxFolderColumns && options.props[i] != 0; ++i) {
    if (options.props[i] >= kColumnIndexBase) AddColumnByIndex(list, options.props[i] - kColumnIndexBase);
  }
  list.SetSortProperty(SortPropertyForIndex(sortIndex));
  list.AutoSizeColumns();
  for (std::size_t i = 0; i < queue::kMaxFolderColumns; ++i) {
    const std::uint32_t property = options.props[i];
    if (property < kColumnIndexBase || !IsKnownIndex(property - kColumnIndexBase)) continue;
    const auto desc = list.ColumnDesc(property);
    if (!desc) continue;
    const int width = options.sizes[i];
    if (width >= desc->min_width && width <= desc->max_width) list.SetColumnWidth(property, width);
  }
  list.SetSortOrder(sortOrder == 2 ? toolbox::ListSortOrder::kDecreasing
                                   : toolbox::ListSortOrder::kIncreasing);
}

void AppendColumnChooserItem(const toolbox::ListView& list, toolbox::Menu& menu, std::uint32_t index) {
  const char* key = ChooserTitleKey(index);
  if (!key) return;
  const int item = menu.AppendItem(values::Localized(key));
  if (HasVisibleColumn(list, index + kColumnIndexBase)) menu.SetItemMark(item, toolbox::kCheckMark);
  menu.SetItemProperty(item, values::FourCC("Truv"), kColumnItemProperty,
                       values::Value(values::Number::Int64(index)));
}

void BuildColumnChooserMenu(const toolbox::ListView& list, toolbox::Menu& menu, ChooserKind kind) {
  if (kind != ChooserKind::kServers) {
    int item = menu.AppendItem(values::Localized("kSelectAll"));
    menu.SetItemProperty(item, values::FourCC("Truv"), kColumnItemProperty,
                         values::Value(values::Number::Int64(kChooserSelectAll)));
    item = menu.AppendItem(values::Localized("kSelectNone"));
    menu.SetItemProperty(item, values::FourCC("Truv"), kColumnItemProperty,
                         values::Value(values::Number::Int64(kChooserSelectNone)));
    const int n = menu.CountItems();
    if (n > 0 && !menu.Item(n)->separator) menu.AppendSeparator();
  }
  if (kind == ChooserKind::kServers) {
    menu.AppendItem(values::Localized("kConnectToServer"), values::FourCC("Conn"));
    return;
  }
  for (std::uint32_t index : ChooserIndexes(kind)) AppendColumnChooserItem(list, menu, index);
}

void HideAllChooserColumns(toolbox::ListView& list, ChooserKind kind) {
  for (std::uint32_t property : HideAllProperties(kind))
    if (property != kColName) list.RemoveColumn(property);
}

void ShowAllChooserColumns(toolbox::ListView& list, ChooserKind kind) {
  for (std::uint32_t index : ShowAllIndexes(kind)) AddColumnByIndex(list, index);
}

void ColumnChooserItemChosen(toolbox::ListView& list, ChooserKind kind, const toolbox::Menu& menu, int item) {
  const values::Value* v = menu.ItemProperty(item, values::FourCC("Truv"), kColumnItemProperty);
  if (!v) return;
  const values::Number* number = v->AsNumber();
  if (!number) return;
  const std::int64_t index = number->AsInt64();
  if (index == kChooserSelectAll) {
    ShowAllChooserColumns(list, kind);
  } else if (index == kChooserSelectNone) {
    HideAllChooserColumns(list, kind);
  } else {
    const auto property = static_cast<std::uint32_t>(index) + kColumnIndexBase;
    if (HasVisibleColumn(list, property))
      list.RemoveColumn(property);
    else
      AddColumnByIndex(list, static_cast<std::uint32_t>(index));
  }
}

}  // namespace ui
