#pragma once
// Menus as data. A menu is a list of items - text, command, enabled, mark, separator,
// key equivalent, icon, submenu and item properties keyed by (creator, tag) - that the
// windows build, change and read back like any other data; it becomes a Qt menu only
// when the presenter shows it (menu bar, pop-up, contextual), so tests of menu building
// and enabling need no window system.
//
// Items are numbered from 1, as the windows count them. An Option alternate (`dynamic`)
// belongs to the item just before it: when the menu is shown with Option held, the
// alternate takes that item's place; otherwise it is hidden.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/toolbox/app/command.h"
#include "platform/toolbox/drawing/image.h"
#include "platform/values/value.h"

namespace toolbox {

class Menu;
using MenuRef = std::shared_ptr<Menu>;

// Every member has an initializer: designated initializers name only what differs.
struct MenuItem {
  std::string text{};
  FourCharCode command = 0;
  bool enabled = true;
  char32_t mark = 0;  // 0 = none; U+2713 is the usual check
  bool separator = false;
  std::string key_equivalent{};  // "" = none; a letter, shown with kModifierCommand plus `modifiers`
  unsigned modifiers = 0;        // KeyModifier bits beyond the primary key
  bool dynamic = false;          // the Option alternate of the item before
  Image icon{};
  MenuRef submenu{};
  std::map<std::pair<FourCharCode, FourCharCode>, values::Value> properties{};
};

inline constexpr char32_t kCheckMark = 0x2713;

class Menu {
 public:
  static MenuRef Create(std::int16_t id, std::string title = {});

  std::int16_t id() const { return id_; }
  const std::string& title() const { return title_; }
  void SetTitle(std::string title) { title_ = std::move(title); }
  bool enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }

  int CountItems() const { return static_cast<int>(items_.size()); }
  // The item, or nullptr for an index out of range.
  MenuItem* Item(int index);
  const MenuItem* Item(int index) const;
  const std::vector<MenuItem>& items() const { return items_; }

  // The new item's index. A text of "-" makes a separator.
  int AppendItem(std::string text, FourCharCode command = 0);
  int AppendItem(MenuItem item);
  int AppendSeparator();
  // Inserts after `after` (0 = at the top); returns the new index.
  int InsertItem(int after, MenuItem item);
  void DeleteItem(int index);
  void DeleteAllItems() { items_.clear(); }

  void SetItemText(int index, std::string text);
  void SetItemEnabled(int index, bool enabled);
  bool IsItemEnabled(int index) const;  // the menu's own switch counts too
  void SetItemMark(int index, char32_t mark);
  char32_t ItemMark(int index) const;
  void SetItemCommand(int index, FourCharCode command);
  void SetItemSubmenu(int index, MenuRef submenu);
  void SetItemProperty(int index, FourCharCode creator, FourCharCode tag, values::Value value);
  // nullptr when the item or the property does not exist.
  const values::Value* ItemProperty(int index, FourCharCode creator, FourCharCode tag) const;
  void RemoveItemProperty(int index, FourCharCode creator, FourCharCode tag);

  // The first item with the command, 0 when none (submenus not searched).
  int IndexOfCommand(FourCharCode command) const;
  // The menu (this or a submenu, depth first) and index of the first item with the
  // command; {nullptr, 0} when none.
  std::pair<Menu*, int> FindCommand(FourCharCode command);
  // Enables or disables every item with the command, submenus included.
  void EnableCommand(FourCharCode command, bool enabled);
  int IndexOfText(const std::string& text) const;

  // The menu's populate step: the update pass calls it before it asks about the items,
  // so that a menu whose items depend on state (titles, swapped commands) is current
  // whenever it opens. Replaces any earlier one; an empty function removes it.
  void SetPopulateHandler(std::function<void(Menu&)> handler) { populate_ = std::move(handler); }
  void Populate() {
    if (populate_) populate_(*this);
  }

  Menu(std::int16_t id, std::string title) : id_(id), title_(std::move(title)) {}

 private:
  std::int16_t id_;
  std::string title_;
  bool enabled_ = true;
  std::vector<MenuItem> items_;
  std::function<void(Menu&)> populate_;
};

// The menu bar: menus by id, in order.
class MenuBar {
 public:
  void Append(MenuRef menu);
  void Insert(MenuRef menu, std::int16_t before_id);  // at the end when before_id is absent
  void Remove(std::int16_t id);
  void Clear() { menus_.clear(); }
  MenuRef Find(std::int16_t id) const;
  const std::vector<MenuRef>& menus() const { return menus_; }
  void EnableCommand(FourCharCode command, bool enabled);
  // The first item with the command in any menu; {nullptr, 0} when none.
  std::pair<Menu*, int> FindCommand(FourCharCode command) const;

 private:
  std::vector<MenuRef> menus_;
};

// What a shown menu answered: nothing chosen has item 0.
struct MenuSelection {
  MenuRef menu;  // the menu (or submenu) of the chosen item
  int item = 0;
  FourCharCode command = 0;
  bool chosen() const { return item > 0; }
};

// The items shown for these modifiers: Option alternates replace their items when
// Option is held and are hidden otherwise. Indexes are those of the menu.
std::vector<int> VisibleItemIndexes(const Menu& menu, unsigned modifiers);

// The menu as it looks when shown with these modifiers (for pictures of it; works
// off-screen).
Image RenderMenu(const MenuRef& menu, unsigned modifiers = 0);

}  // namespace toolbox
