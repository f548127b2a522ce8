#include "app/ui/sharing_windows/folder_sharing_sheet.h"

#include <map>
#include <memory>

#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/sharing_windows/sharing_window_rules.h"
#include "app/util/settings/settings_store.h"
#include "app/util/settings/sharing_users.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

constexpr toolbox::ListPropertyID kNameColumn = values::FourCC("Name");

struct Sheet {
  std::unique_ptr<FolderSharingRows> rows;
  std::unique_ptr<toolbox::ListView> list;
};

std::map<toolbox::Window*, Sheet>& Sheets() {
  static std::map<toolbox::Window*, Sheet> sheets;
  return sheets;
}

void UpdateButton(toolbox::Window& window) {
  auto it = Sheets().find(&window);
  if (it == Sheets().end()) return;
  if (toolbox::Control* ok = window.DefaultButton()) ok->SetEnabled(it->second.rows->CanConfirm());
}

void Close(toolbox::Window& window) {
  if (window.SheetParent()) window.HideSheet();
  Sheets().erase(&window);
  window.Release();
}

// 'ok  ': the users' lists, "Users" and the folder's shared flag.
void Confirm(toolbox::Window& window) {
  auto it = Sheets().find(&window);
  if (it == Sheets().end()) return;
  const std::uint32_t uid = it->second.rows->folderUID();
  const queue::FolderRef folder = queue::LookUpFolder(uid);
  if (!folder) return;
  folder->setFlags(folder->flags() | queue::kFolderFlagShared);
  values::Dictionary stored;
  {
    runtime::RegionGuard inside(util::SharingUsersRegion());
    it->second.rows->ApplyTo(util::SharingUsers());
    stored = util::CopySharingUsersDictionary(util::SharingUsers());
  }
  util::SetPreferenceValue("Users", values::Value(stored));
  queue::MarkQueueDirty();
  queue::UpdateFolderSharedState(uid);
  queue::RefreshSharedFolderFlags();
}

}  // namespace

toolbox::ListView* FolderSharingList(toolbox::Window* sheet) {
  auto it = Sheets().find(sheet);
  return it == Sheets().end() ? nullptr : it->second.list.get();
}

toolbox::Window* OpenSharingUserItemsSheet(std::uint32_t folderUID, const std::string& folderName) {
  toolbox::Window* parent = GetMainWindow();
  toolbox::WindowSpec desc;
  desc.kind = parent ? toolbox::WindowKind::kSheet : toolbox::WindowKind::kDialog;
  desc.parent = parent;
  desc.title = values::Localized("Share Folder");
  desc.content = {0, 0, 468, 300};
  auto window = toolbox::Window::Create(desc);
  toolbox::Window* raw = window.get();
  Sheet& sheet = Sheets()[raw];
  {
    runtime::RegionGuard inside(util::SharingUsersRegion());
    sheet.rows = std::make_unique<FolderSharingRows>(folderUID, util::SharingUsers());
  }
  window->SetProperty(kApplicationSignature, kFolderSharingUIDProperty,
                      values::Value(values::Number::Int64(folderUID)));
  window->AddControl({.kind = ControlKind::kStaticText,
                      .id = {kApplicationSignature, kFolderSharingTitleID},
                      .bounds = {20, 14, 428, 36},
                      .text = values::Format(values::Localized("Users who can see and download from \"%@\":"),
                                             {folderName})});
  toolbox::Control* pane = window->AddControl({.kind = ControlKind::kUserPane,
                                               .id = {kApplicationSignature, kFolderSharingListID},
                                               .bounds = {20, 54, 428, 180}});
  sheet.list = std::make_unique<toolbox::ListView>();
  sheet.list->AddColumn(
      {.property = kNameColumn, .title = values::Localized("User"), .min_width = 60, .max_width = 400});
  sheet.list->AddColumn({.property = kFolderSharingViewColumn,
                         .kind = toolbox::ListColumnKind::kCheckBox,
                         .title = values::Localized("View"),
                         .min_width = 40,
                         .max_width = 120});
  sheet.list->AddColumn({.property = kFolderSharingDownloadColumn,
                         .kind = toolbox::ListColumnKind::kCheckBox,
                         .title = values::Localized("Download"),
                         .min_width = 40,
                         .max_width = 120});
  sheet.list->SetColumnWidth(kNameColumn, 200);
  sheet.list->SetColumnWidth(kFolderSharingViewColumn, 80);
  sheet.list->SetColumnWidth(kFolderSharingDownloadColumn, 100);
  toolbox::ListCallbacks callbacks;
  callbacks.item_data = [raw](toolbox::ListItemID item, toolbox::ListPropertyID property,
                              toolbox::ListItemData& data, bool set) -> toolbox::Status {
    auto it = Sheets().find(raw);
    if (it == Sheets().end() || item == 0 || item > it->second.rows->rows().size())
      return toolbox::kListPropertyNotSupported;
    FolderSharingRows& rows = *it->second.rows;
    const std::size_t index = item - 1;
    if (set) {
      const bool on = data.check_box().value_or(false);
      if (property == kFolderSharingViewColumn) rows.SetView(index, on);
      if (property == kFolderSharingDownloadColumn) rows.SetDownload(index, on);
      it->second.list->UpdateItems({item});
      UpdateButton(*raw);
      return runtime::kNoErr;
    }
    const FolderSharingRow& row = rows.rows()[index];
    if (property == kNameColumn)
      data.SetText(row.user);
    else if (property == kFolderSharingViewColumn)
      data.SetCheckBox(row.view);
    else if (property == kFolderSharingDownloadColumn)
      data.SetCheckBox(row.download);
    else
      return toolbox::kListPropertyNotSupported;
    return runtime::kNoErr;
  };
  sheet.list->SetCallbacks(std::move(callbacks));
  if (pane) sheet.list->Embed(*pane);
  std::vector<toolbox::ListItemID> ids;
  for (std::size_t i = 0; i < sheet.rows->rows().size(); ++i) ids.push_back(i + 1);
  sheet.list->AddItems(0, ids);
  const struct {
    const char* text;
    values::FourCharCode command;
    double x, width;
    bool isDefault, isCancel;
  } buttons[] = {{"Select All", kFolderSharingSelectAll, 20, 112, false, false},
                 {"Select None", kFolderSharingSelectNone, 138, 112, false, false},
                 {"Cancel", toolbox::kCommandCancel, 262, 90, false, true},
                 {"OK", toolbox::kCommandOK, 358, 90, true, false}};
  for (const auto& b : buttons)
    window->AddControl({.kind = ControlKind::kPushButton,
                        .id = {kApplicationSignature, 10 + static_cast<std::int32_t>(b.x)},
                        .bounds = {b.x, 254, b.width, 26},
                        .text = values::Localized(b.text),
                        .command = b.command,
                        .is_default = b.isDefault,
                        .is_cancel = b.isCancel});
  window->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
                         [raw](runtime::HandlerCall&, runtime::Event& event) {
                           const values::FourCharCode command = toolbox::GetCommand(event).id;
                           auto it = Sheets().find(raw);
                           if (it == Sheets().end()) return runtime::kEventNotHandledErr;
                           if (command == kFolderSharingSelectAll || command == kFolderSharingSelectNone) {
                             if (command == kFolderSharingSelectAll)
                               it->second.rows->SelectAll();
                             else
                               it->second.rows->SelectNone();
                             it->second.list->UpdateItems({});
                             UpdateButton(*raw);
                           } else if (command == toolbox::kCommandOK) {
                             Confirm(*raw);
                             Close(*raw);
                           } else if (command == toolbox::kCommandCancel) {
                             Close(*raw);
                           } else {
                             return runtime::kEventNotHandledErr;
                           }
                           return runtime::kNoErr;
                         });
  UpdateButton(*raw);
  if (parent) {
    window->ShowSheet();
  } else {
    window->Center();
    window->Select();
  }
  return raw;
}

}  // namespace ui
