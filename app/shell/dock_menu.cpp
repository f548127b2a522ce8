#include "app/shell/dock_menu.h"

#include <algorithm>

#include "app/browser/favourites/favourites.h"
#include "app/queue/operations/queue_switch.h"
#include "app/sharing/discovery/bonjour_discovery.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/views/resource_images.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/menus/tray_icon.h"
#include "platform/values/localize.h"

namespace shell {
namespace {

using toolbox::MenuItem;
using toolbox::MenuRef;
using values::FourCC;
using values::Localized;

// The submenus of the last build.
MenuRef& BonjourMenu() {
  static MenuRef menu;
  return menu;
}
MenuRef& FavouritesMenu() {
  static MenuRef menu;
  return menu;
}

MenuItem Item(const std::string& text, toolbox::FourCharCode command = 0) {
  return MenuItem{.text = text, .command = command};
}

MenuItem NoneAvailable() {
  return MenuItem{.text = Localized("None Available"), .enabled = false};
}

// The menu bar's item of the command, by its text; the plain title when the bar lacks it.
MenuItem MenuBarItem(toolbox::FourCharCode command, const char* fallback) {
  auto [menu, index] = toolbox::GetMenuBar().FindCommand(command);
  return Item(menu ? menu->Item(index)->text : Localized(fallback), command);
}

std::optional<toolbox::Image> FavouriteIcon(std::int32_t hostType) {
  switch (hostType) {
    case 1:
      return ui::GetIcon(ui::kAppCreator, FourCC("FTP_"));
    case 2:
      return ui::GetIcon(ui::kAppCreator, FourCC("Rndv"));
    case 3:
      return ui::GetIcon(ui::kAppCreator, FourCC("RmRo"));
    case 4:
      return ui::GetIcon(ui::kAppCreator, FourCC("FTPS"));
    case 5:
      return ui::GetIcon(ui::kSystemCreator, FourCC("idsk"));
    case 6:
    case 7:
      return ui::GetIcon(ui::kSystemCreator, FourCC("srvr"));
    default:
      return std::nullopt;
  }
}

MenuRef BuildBonjourMenu() {
  MenuRef menu = toolbox::Menu::Create(kDockBonjourMenuID, Localized("Bonjour"));
  auto peers = sharing::SharingRowsServiceSlot::Get().CopyBonjourPeers();
  for (std::size_t i = 0; i < peers.size() && i < kDockMenuMaxItems; ++i) {
    if (!peers[i]) continue;
    const std::string name = peers[i]->serviceName();
    const int item =
        menu->AppendItem(Item(name, kDockBonjourCommand + static_cast<toolbox::FourCharCode>(i)));
    menu->SetItemProperty(item, toolbox::kApplicationSignature, kDockPeerKey, values::Value(name));
  }
  if (menu->CountItems() == 0) menu->AppendItem(NoneAvailable());
  return menu;
}

MenuRef BuildFavouritesMenu() {
  MenuRef menu = toolbox::Menu::Create(kDockFavouritesMenuID, Localized("Favourites"));
  auto favourites = browser::CopySortedFavourites();
  for (std::size_t i = 0; i < favourites.size() && i < kDockMenuMaxItems; ++i) {
    if (!favourites[i]) continue;
    MenuItem item =
        Item(favourites[i]->name(), kDockFavouriteCommand + static_cast<toolbox::FourCharCode>(i));
    if (auto icon = FavouriteIcon(favourites[i]->hostType())) item.icon = *icon;
    menu->AppendItem(std::move(item));
  }
  if (menu->CountItems() == 0) menu->AppendItem(NoneAvailable());
  return menu;
}

MenuRef BuildConnectMenu() {
  MenuRef menu = toolbox::Menu::Create(0, Localized("Connect To"));
  const std::pair<const char*, toolbox::FourCharCode> presets[] = {
      {"FTP", FourCC("ConF")},          {"FTP-SSL", FourCC("Conf")}, {"iDisk", FourCC("Coni")},
      {"Public iDisk", FourCC("ConI")}, {"WebDAV", FourCC("Conw")},  {"WebDAV over SSL", FourCC("ConW")},
      {"Truvane", FourCC("ConS")}};
  for (const auto& [title, command] : presets) menu->AppendItem(Item(Localized(title), command));
  return menu;
}

}  // namespace

MenuRef BuildDockMenu(bool simpleMode) {
  const auto settings = util::CurrentSettings();
  MenuRef menu = toolbox::Menu::Create(kDockMenuID);
  // Once the main window is closed the tray is the way back to it.
  menu->AppendItem(Item(Localized("Show Truvane"), kShowMainWindowCommand));
  menu->AppendSeparator();

  MenuRef display = toolbox::Menu::Create(kDockDisplayMenuID, Localized("kDockMenuDockMenu"));
  const bool speeds = util::ReadSetting(util::kShowSpeedsKey);
  display->AppendItem(MenuItem{.text = Localized("kDockMenuShowSpeeds"),
                               .command = FourCC("DM$p"),
                               .mark = speeds ? toolbox::kCheckMark : char32_t(0)});
  display->AppendItem(MenuItem{.text = Localized("kDockMenuShowItems"),
                               .command = FourCC("DM#I"),
                               .mark = speeds ? char32_t(0) : toolbox::kCheckMark});
  display->AppendSeparator();
  display->AppendItem(MenuItem{.text = Localized("kDockMenuShowBandwidthUsage"),
                               .command = FourCC("DMB@"),
                               .mark = settings->displayGraphInDock ? toolbox::kCheckMark : char32_t(0)});
  menu->AppendItem(MenuItem{.text = display->title(), .submenu = display});

  menu->AppendItem(queue::gQueueRunning ? Item(Localized("Stop Queue"), FourCC("Stop"))
                                        : Item(Localized("Start Queue"), FourCC("Star")));
  menu->AppendItem(MenuBarItem(FourCC("ODFo"), "Open Download Folder"));
  if (simpleMode) return menu;

  menu->AppendItem(MenuBarItem(FourCC("OUFo"), "Open Received Files Folder"));
  menu->AppendSeparator();
  BonjourMenu() = BuildBonjourMenu();
  menu->AppendItem(MenuItem{.text = BonjourMenu()->title(), .submenu = BonjourMenu()});
  MenuRef connect = BuildConnectMenu();
  menu->AppendItem(MenuItem{.text = connect->title(), .submenu = connect});
  menu->AppendSeparator();
  FavouritesMenu() = BuildFavouritesMenu();
  menu->AppendItem(MenuItem{.text = FavouritesMenu()->title(), .submenu = FavouritesMenu()});

  while (menu->CountItems() > 0 && menu->Item(menu->CountItems())->separator)
    menu->DeleteItem(menu->CountItems());
  return menu;
}

bool HandleDockMenuCommand(toolbox::FourCharCode command) {
  // Item commands run to 'DM !' and 'DF !' (256 items); the tray's display choices
  // 'DM$p', 'DM#I' and 'DMB@' lie above them.
  const bool bonjour = command >= kDockBonjourCommand && command < kDockBonjourCommand + kDockMenuMaxItems;
  const bool favourite =
      command >= kDockFavouriteCommand && command < kDockFavouriteCommand + kDockMenuMaxItems;
  if (!bonjour && !favourite) return false;
  const MenuRef menu = bonjour ? BonjourMenu() : FavouritesMenu();
  const int item = static_cast<int>(command - (bonjour ? kDockBonjourCommand : kDockFavouriteCommand)) + 1;
  const toolbox::MenuItem* chosen = menu ? menu->Item(item) : nullptr;
  if (!chosen || chosen->command != command) return true;
  if (favourite) {
    if (auto f = browser::FavouriteFindByName(chosen->text)) browser::FavouriteConnect(f, false);
    return true;
  }
  const values::Value* key = menu->ItemProperty(item, toolbox::kApplicationSignature, kDockPeerKey);
  const std::string* name = key ? key->AsString() : nullptr;
  if (!name) return true;
  auto peer = sharing::SharingRowsServiceSlot::Get().PeerForBonjourName(*name);
  if (peer && !peer->connection()) sharing::ResolveAndConnectSharingPeer(*name);
  return true;
}

void ShowMainWindow() {
  if (toolbox::Window* main = ui::GetMainWindow()) main->Select();
}

void InstallTrayMenu() {
  toolbox::SetTrayIconClickAction(ShowMainWindow);
  auto icon = ui::GetIcon(ui::kAppCreator, FourCC("Truv"));
  toolbox::ShowTrayIcon(icon ? *icon : toolbox::Image(), "Truvane", [] {
    const bool simple = ui::GetMainWindow() ? ui::IsSimpleMode() : !util::CurrentSettings()->advancedMode;
    return BuildDockMenu(simple);
  });
}

}  // namespace shell
