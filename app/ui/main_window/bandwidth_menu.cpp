#include "app/ui/main_window/bandwidth_menu.h"

#include "app/engine/limits/limit_settings.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/views/small_views.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace ui {

using engine::TransferDirection;
using values::FourCC;

namespace {

constexpr values::FourCharCode kDownloadOff = FourCC("BWOf");
constexpr values::FourCharCode kDownloadOn = FourCC("BWOn");
constexpr values::FourCharCode kUploadOff = FourCC("UBWf");
constexpr values::FourCharCode kUploadOn = FourCC("UBWO");

std::string LimitText(TransferDirection direction) {
  return values::Format(values::Localized("kLimitFormat"),
                        {static_cast<double>(engine::BandwidthLimitBytesPerSecond(direction)) / 1024.0});
}

toolbox::MenuRef& Menu(bool advanced) {
  static toolbox::MenuRef simple, full;
  auto& menu = advanced ? full : simple;
  if (!menu) menu = MakeBandwidthMenu(advanced);
  return menu;
}

void SetLimit(TransferDirection direction, bool on) {
  engine::SetBandwidthLimitOn(direction, on);
  const std::int32_t rate = engine::BandwidthLimitBytesPerSecond(direction);
  // Switched on, the limiter takes the rate shown, whatever it was told before.
  if (direction == TransferDirection::kDownload)
    engine::SetDownloadBandwidthLimit(on, rate);
  else
    engine::SetUploadBandwidthLimit(on, rate);
}

}  // namespace

toolbox::MenuRef MakeBandwidthMenu(bool advanced) {
  auto menu = toolbox::Menu::Create(advanced ? kAdvancedBandwidthMenuID : kBandwidthMenuID,
                                    advanced ? "advancedBandwidthMenu" : "bandwidthMenu");
  const auto heading = [&](const char* text) {
    toolbox::MenuItem item;
    item.text = values::Localized(text);
    item.enabled = false;
    menu->AppendItem(item);
  };
  if (advanced) heading("Downloads");
  menu->AppendItem(values::Localized("No Limit"), kDownloadOff);
  menu->AppendItem(values::Localized("Limit"), kDownloadOn);
  if (advanced) {
    menu->AppendSeparator();
    heading("Uploads");
    menu->AppendItem(values::Localized("No Limit"), kUploadOff);
    menu->AppendItem(values::Localized("Limit"), kUploadOn);
  }
  return menu;
}

void AttachBandwidthMenu() {
  toolbox::Control* button = FindMainControl(mainwindow::kBandwidthButton);
  auto* view = button ? dynamic_cast<SmallButton*>(button->GetView()) : nullptr;
  if (!view) return;
  const toolbox::MenuRef& menu = Menu(!IsSimpleMode());
  if (view->GetMenu() != menu) view->SetMenu(menu);
}

void UpdateBandwidthMenu(toolbox::Menu& menu) {
  const bool downloadOn = engine::IsBandwidthLimitOn(TransferDirection::kDownload);
  if (int i = menu.IndexOfCommand(kDownloadOff)) menu.SetItemMark(i, downloadOn ? 0 : toolbox::kCheckMark);
  if (int i = menu.IndexOfCommand(kDownloadOn)) {
    menu.SetItemMark(i, downloadOn ? toolbox::kCheckMark : 0);
    menu.SetItemText(i, LimitText(TransferDirection::kDownload));
  }
  if (menu.IndexOfCommand(kUploadOff) == 0) return;
  const bool uploadOn = engine::IsBandwidthLimitOn(TransferDirection::kUpload);
  menu.SetItemMark(menu.IndexOfCommand(kUploadOff), uploadOn ? 0 : toolbox::kCheckMark);
  if (int i = menu.IndexOfCommand(kUploadOn)) {
    menu.SetItemMark(i, uploadOn ? toolbox::kCheckMark : 0);
    menu.SetItemText(i, LimitText(TransferDirection::kUpload));
  }
}

bool ApplyBandwidthMenuCommand(values::FourCharCode command) {
  if (command == kDownloadOff || command == kDownloadOn)
    SetLimit(TransferDirection::kDownload, command == kDownloadOn);
  else if (command == kUploadOff || command == kUploadOn)
    SetLimit(TransferDirection::kUpload, command == kUploadOn);
  else
    return false;
  return true;
}

std::vector<runtime::HandlerRef> InstallBandwidthMenu() {
  AttachBandwidthMenu();
  toolbox::Window* w = GetMainWindow();
  if (!w) return {};
  std::vector<runtime::HandlerRef> handlers;
  handlers.push_back(w->InstallHandler(
      {{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
       {toolbox::kEventClassCommand, toolbox::kEventCommandUpdateStatus}},
      [](runtime::HandlerCall&, runtime::Event& event) {
        const toolbox::Command command = toolbox::GetCommand(event);
        if (command.id != kDownloadOff && command.id != kDownloadOn && command.id != kUploadOff &&
            command.id != kUploadOn)
          return runtime::kEventNotHandledErr;
        if (event.kind() == toolbox::kEventCommandProcess) {
          ApplyBandwidthMenuCommand(command.id);
          return runtime::kNoErr;
        }
        // The menu is brought up to date while it is prepared for showing.
        if (command.menu_id != kBandwidthMenuID && command.menu_id != kAdvancedBandwidthMenuID)
          return runtime::kEventNotHandledErr;
        toolbox::Menu& menu = *Menu(command.menu_id == kAdvancedBandwidthMenuID);
        UpdateBandwidthMenu(menu);
        const int item = command.item;
        if (const toolbox::MenuItem* i = menu.Item(item)) {
          toolbox::SetCommandText(event, i->text);
          toolbox::SetCommandMark(event, i->mark);
        }
        toolbox::SetCommandEnabled(event, true);
        return runtime::kNoErr;
      }));
  return handlers;
}

}  // namespace ui
