#include "platform/toolbox/menus/menu.h"

#include <algorithm>

#include "platform/toolbox/services/modifiers.h"

namespace toolbox {

MenuRef Menu::Create(std::int16_t id, std::string title) {
  return std::make_shared<Menu>(id, std::move(title));
}

MenuItem* Menu::Item(int index) {
  if (index < 1 || index > CountItems()) return nullptr;
  return &items_[index - 1];
}
const MenuItem* Menu::Item(int index) const {
  if (index < 1 || index > CountItems()) return nullptr;
  return &items_[index - 1];
}

int Menu::AppendItem(std::string text, FourCharCode command) {
  MenuItem item;
  item.separator = text == "-";
  if (!item.separator) item.text = std::move(text);
  item.command = command;
  return AppendItem(std::move(item));
}

int Menu::AppendItem(MenuItem item) {
  items_.push_back(std::move(item));
  return CountItems();
}

int Menu::AppendSeparator() {
  return AppendItem("-");
}

int Menu::InsertItem(int after, MenuItem item) {
  after = std::clamp(after, 0, CountItems());
  items_.insert(items_.begin() + after, std::move(item));
  return after + 1;
}

void Menu::DeleteItem(int index) {
  if (Item(index)) items_.erase(items_.begin() + (index - 1));
}

void Menu::SetItemText(int index, std::string text) {
  if (MenuItem* i = Item(index)) i->text = std::move(text);
}
void Menu::SetItemEnabled(int index, bool enabled) {
  if (MenuItem* i = Item(index)) i->enabled = enabled;
}
bool Menu::IsItemEnabled(int index) const {
  const MenuItem* i = Item(index);
  return enabled_ && i && i->enabled && !i->separator;
}
void Menu::SetItemMark(int index, char32_t mark) {
  if (MenuItem* i = Item(index)) i->mark = mark;
}
char32_t Menu::ItemMark(int index) const {
  const MenuItem* i = Item(index);
  return i ? i->mark : 0;
}
void Menu::SetItemCommand(int index, FourCharCode command) {
  if (MenuItem* i = Item(index)) i->command = command;
}
void Menu::SetItemSubmenu(int index, MenuRef submenu) {
  if (MenuItem* i = Item(index)) i->submenu = std::move(submenu);
}
void Menu::SetItemProperty(int index, FourCharCode creator, FourCharCode tag, values::Value value) {
  if (MenuItem* i = Item(index)) i->properties[{creator, tag}] = std::move(value);
}
const values::Value* Menu::ItemProperty(int index, FourCharCode creator, FourCharCode tag) const {
  const MenuItem* i = Item(index);
  if (!i) return nullptr;
  auto it = i->properties.find({creator, tag});
  return it == i->properties.end() ? nullptr : &it->second;
}
void Menu::RemoveItemProperty(int index, FourCharCode creator, FourCharCode tag) {
  if (MenuItem* i = Item(index)) i->properties.erase({creator, tag});
}

int Menu::IndexOfCommand(FourCharCode command) const {
  for (int i = 0; i < CountItems(); ++i)
    if (items_[i].command == command && !items_[i].separator) return i + 1;
  return 0;
}

std::pair<Menu*, int> Menu::FindCommand(FourCharCode command) {
  for (int i = 0; i < CountItems(); ++i) {
    if (items_[i].command == command && !items_[i].separator) return {this, i + 1};
    if (items_[i].submenu) {
      auto found = items_[i].submenu->FindCommand(command);
      if (found.first) return found;
    }
  }
  return {nullptr, 0};
}

void Menu::EnableCommand(FourCharCode command, bool enabled) {
  for (MenuItem& item : items_) {
    if (item.command == command) item.enabled = enabled;
    if (item.submenu) item.submenu->EnableCommand(command, enabled);
  }
}

int Menu::IndexOfText(const std::string& text) const {
  for (int i = 0; i < CountItems(); ++i)
    if (items_[i].text == text) return i + 1;
  return 0;
}

void MenuBar::Append(MenuRef menu) {
  if (menu) menus_.push_back(std::move(menu));
}

void MenuBar::Insert(MenuRef menu, std::int16_t before_id) {
  if (!menu) return;
  auto it =
      std::find_if(menus_.begin(), menus_.end(), [&](const MenuRef& m) { return m->id() == before_id; });
  menus_.insert(it, std::move(menu));
}

void MenuBar::Remove(std::int16_t id) {
  std::erase_if(menus_, [&](const MenuRef& m) { return m->id() == id; });
}

MenuRef MenuBar::Find(std::int16_t id) const {
  for (const MenuRef& m : menus_)
    if (m->id() == id) return m;
  return nullptr;
}

void MenuBar::EnableCommand(FourCharCode command, bool enabled) {
  for (const MenuRef& m : menus_) m->EnableCommand(command, enabled);
}

std::pair<Menu*, int> MenuBar::FindCommand(FourCharCode command) const {
  for (const MenuRef& m : menus_) {
    auto found = m->FindCommand(command);
    if (found.first) return found;
  }
  return {nullptr, 0};
}

std::vector<int> VisibleItemIndexes(const Menu& menu, unsigned modifiers) {
  const bool option = (modifiers & kModifierOption) != 0;
  std::vector<int> out;
  for (int i = 1; i <= menu.CountItems(); ++i) {
    const MenuItem& item = *menu.Item(i);
    if (item.dynamic) {
      if (option && !out.empty() && out.back() == i - 1) out.back() = i;
      continue;
    }
    out.push_back(i);
  }
  return out;
}

}  // namespace toolbox
