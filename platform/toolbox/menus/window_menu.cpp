#include "platform/toolbox/menus/window_menu.h"

#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {

void RefreshWindowMenu(Menu& menu, int fixed_items) {
  while (menu.CountItems() > fixed_items) menu.DeleteItem(menu.CountItems());
  const auto front = Window::FrontWindow();
  bool separated = fixed_items == 0;
  for (const auto& window : Window::AllWindows()) {
    // Sheets go with their window; hidden windows are not there to bring forward.
    if (!window->IsInWindowMenu() || window->kind() == WindowKind::kSheet || !window->IsVisible()) continue;
    if (!separated) {
      menu.AppendSeparator();
      separated = true;
    }
    MenuItem item;
    item.text = window->Title();
    item.mark = window == front ? kCheckMark : 0;
    item.properties[{kApplicationSignature, kWindowItemProperty}] =
        values::Value(values::Number::Int64(static_cast<std::int64_t>(window->serial())));
    menu.AppendItem(std::move(item));
  }
}

bool SelectWindowMenuItem(const Menu& menu, int item) {
  const values::Value* serial = menu.ItemProperty(item, kApplicationSignature, kWindowItemProperty);
  const values::Number* number = serial ? serial->AsNumber() : nullptr;
  if (!number) return false;
  for (const auto& window : Window::AllWindows()) {
    if (static_cast<std::int64_t>(window->serial()) == number->AsInt64()) {
      window->Select();
      return true;
    }
  }
  return false;
}

}  // namespace toolbox
