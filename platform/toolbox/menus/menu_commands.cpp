#include "platform/toolbox/menus/menu_commands.h"

namespace toolbox {
namespace {

Status SendCommand(Window* window, const Command& command) {
  auto event = MakeCommandEvent(kEventCommandProcess, command);
  if (!window) {
    if (auto front = Window::FrontWindow()) return SendCommand(front.get(), command);
    return runtime::EventTarget::Application()->Send(*event);
  }
  std::shared_ptr<Window> keep = window->shared_from_this();
  Control* focus = window->FocusedControl();
  const Status status = (focus ? focus->target() : window->target())->Send(*event);
  if (!keep->IsReleased()) keep->UpdateButtonStates();
  return status;
}

MenuSelection Present(Window* window, Point where, const MenuRef& menu, MenuPlacement placement,
                      int current) {
  if (!menu) return {};
  UpdateMenuCommandStatus(*menu, window);
  MenuRequest request{menu, placement, window, where, current};
  MenuSelection chosen = GetPresenter().ShowMenu(request);
  if (chosen.chosen() && chosen.menu && chosen.menu->IsItemEnabled(chosen.item) && chosen.command != 0) {
    SendCommand(window, Command{chosen.command, chosen.menu->id(), chosen.item});
  }
  return chosen;
}

}  // namespace

MenuBar& GetMenuBar() {
  static MenuBar bar;
  return bar;
}

void UpdateMenuCommandStatus(Menu& menu, Window* window) {
  menu.Populate();
  for (int i = 1; i <= menu.CountItems(); ++i) {
    MenuItem& item = *menu.Item(i);
    if (item.submenu) UpdateMenuCommandStatus(*item.submenu, window);
    if (item.command == 0 || item.separator) continue;
    const Command asked{item.command, menu.id(), i};
    const CommandStatus status = window ? window->UpdateCommandStatus(asked) : UpdateCommandStatus(asked);
    if (status.enabled) item.enabled = *status.enabled;
    if (status.text) item.text = *status.text;
    if (status.mark) item.mark = *status.mark;
  }
}

void UpdateMenuBarCommandStatus() {
  for (const MenuRef& menu : GetMenuBar().menus()) UpdateMenuCommandStatus(*menu);
}

Status SelectMenuItem(Menu& menu, int item, Window* window) {
  const MenuItem* i = menu.Item(item);
  if (!i || i->command == 0 || !menu.IsItemEnabled(item)) return runtime::kEventNotHandledErr;
  return SendCommand(window, Command{i->command, menu.id(), item});
}

MenuSelection PopUpContextualMenu(Window* window, Point where, const MenuRef& menu) {
  return Present(window, where, menu, MenuPlacement::kContextual, 0);
}

MenuSelection PopUpMenuSelect(Window* window, Point where, const MenuRef& menu, int current_item) {
  return Present(window, where, menu, MenuPlacement::kPopUp, current_item);
}

}  // namespace toolbox
