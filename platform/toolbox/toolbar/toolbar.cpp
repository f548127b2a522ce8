#include "platform/toolbox/toolbar/toolbar.h"

#include <algorithm>

#include "platform/prefs/preference_store.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {

namespace {

constexpr char kIdentifierKey[] = "identifier";
constexpr char kDataKey[] = "data";

}  // namespace

bool IsStandardToolbarIdentifier(const std::string& identifier) {
  return identifier == kToolbarSeparatorIdentifier || identifier == kToolbarFlexibleSpaceIdentifier ||
         identifier == kToolbarCustomizeIdentifier;
}

void ToolbarItem::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (observer_) observer_(*this);
}

Toolbar::Toolbar(std::string identifier, bool autosave, ToolbarDelegate& delegate)
    : identifier_(std::move(identifier)), autosave_(autosave), delegate_(delegate) {}

Toolbar::~Toolbar() {
  CloseToolbarCustomizeDialog(*this);
}

std::string Toolbar::ConfigurationKey() const {
  return "Toolbar Configuration " + identifier_;
}

ToolbarItemRef Toolbar::MakeItem(const std::string& identifier, const std::optional<std::string>& data) {
  if (IsStandardToolbarIdentifier(identifier)) return std::make_shared<ToolbarItem>(identifier);
  return delegate_.CreateItem(identifier, data);
}

void Toolbar::Load() {
  std::vector<ToolbarItemRef> items;
  std::optional<std::vector<SavedToolbarItem>> saved;
  if (autosave_) {
    if (const auto stored = prefs::SharedPreferences().GetArray(ConfigurationKey()))
      saved = ReadToolbarConfiguration(values::Value(*stored), delegate_.AllowedIdentifiers());
  }
  if (saved) {
    for (const SavedToolbarItem& entry : *saved)
      if (ToolbarItemRef item = MakeItem(entry.identifier, entry.data)) items.push_back(std::move(item));
  } else {
    for (const std::string& identifier : delegate_.DefaultIdentifiers())
      if (ToolbarItemRef item = MakeItem(identifier, std::nullopt)) items.push_back(std::move(item));
  }
  for (const auto& old : std::exchange(items_, {}))
    if (on_removed_) on_removed_(old);
  items_ = std::move(items);
  for (const auto& item : items_)
    if (on_added_) on_added_(item);
  LayoutChanged();
}

std::vector<std::string> Toolbar::ItemIdentifiers() const {
  std::vector<std::string> out;
  for (const auto& item : items_) out.push_back(item->identifier());
  return out;
}

ToolbarItemRef Toolbar::FindItem(const std::string& identifier) const {
  for (const auto& item : items_)
    if (item->identifier() == identifier) return item;
  return nullptr;
}

void Toolbar::Replace(std::vector<ToolbarItemRef> items) {
  std::vector<ToolbarItemRef> old = std::exchange(items_, std::move(items));
  const auto contains = [](const std::vector<ToolbarItemRef>& list, const ToolbarItemRef& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
  };
  for (const auto& item : old)
    if (!contains(items_, item) && on_removed_) on_removed_(item);
  for (const auto& item : items_)
    if (!contains(old, item) && on_added_) on_added_(item);
  Save();
  LayoutChanged();
}

void Toolbar::SetItemIdentifiers(const std::vector<std::string>& identifiers) {
  std::vector<ToolbarItemRef> pool = items_, next;
  for (const std::string& identifier : identifiers) {
    // Separators and spaces are new objects each time; other items keep theirs.
    auto it = std::find_if(pool.begin(), pool.end(), [&](const ToolbarItemRef& i) {
      return i->identifier() == identifier && !IsStandardToolbarIdentifier(identifier);
    });
    if (it != pool.end()) {
      next.push_back(*it);
      pool.erase(it);
    } else if (ToolbarItemRef item = MakeItem(identifier, std::nullopt)) {
      next.push_back(std::move(item));
    }
  }
  Replace(std::move(next));
}

void Toolbar::InsertItem(const std::string& identifier, std::size_t index) {
  ToolbarItemRef item = MakeItem(identifier, std::nullopt);
  if (!item) return;
  std::vector<ToolbarItemRef> next = items_;
  next.insert(next.begin() + static_cast<std::ptrdiff_t>(std::min(index, next.size())), std::move(item));
  Replace(std::move(next));
}

void Toolbar::RemoveItemAt(std::size_t index) {
  if (index >= items_.size()) return;
  std::vector<ToolbarItemRef> next = items_;
  next.erase(next.begin() + static_cast<std::ptrdiff_t>(index));
  Replace(std::move(next));
}

void Toolbar::MoveItem(std::size_t from, std::size_t to) {
  if (from >= items_.size() || to >= items_.size() || from == to) return;
  std::vector<ToolbarItemRef> next = items_;
  ToolbarItemRef item = next[from];
  next.erase(next.begin() + static_cast<std::ptrdiff_t>(from));
  next.insert(next.begin() + static_cast<std::ptrdiff_t>(to), std::move(item));
  Replace(std::move(next));
}

void Toolbar::ResetToDefault() {
  SetItemIdentifiers(delegate_.DefaultIdentifiers());
}

std::pair<MenuRef, std::vector<ToolbarItemRef>> Toolbar::BuildOverflowMenu() const {
  MenuRef menu = Menu::Create(0);
  std::vector<ToolbarItemRef> byIndex(1);  // menu items count from 1
  for (const ToolbarItemRef& item : overflow_) {
    const std::string& id = item->identifier();
    if (id == kToolbarSeparatorIdentifier) {
      if (menu->CountItems() > 0 && !menu->Item(menu->CountItems())->separator) {
        menu->AppendSeparator();
        byIndex.push_back(nullptr);
      }
      continue;
    }
    if (id == kToolbarFlexibleSpaceIdentifier) continue;
    // A view cannot be shown in a menu: its name stands there, disabled, so that the
    // chevron still tells that it is hidden.
    if (item->searchField()) {
      menu->AppendItem(MenuItem{.text = item->helpText(), .enabled = false});
      byIndex.push_back(nullptr);
      continue;
    }
    if (id != kToolbarCustomizeIdentifier && item->command() == 0) continue;
    std::string text = item->label().empty() ? item->helpText() : item->label();
    if (text.empty() && id == kToolbarCustomizeIdentifier) text = "Customize";
    menu->AppendItem(MenuItem{.text = std::move(text),
                              .command = item->command(),
                              .enabled = item->IsEnabled(),
                              .icon = item->icon().value_or(Image{})});
    byIndex.push_back(item);
  }
  while (menu->CountItems() > 0 && menu->Item(menu->CountItems())->separator) {
    menu->DeleteItem(menu->CountItems());
    byIndex.pop_back();
  }
  return {menu, byIndex};
}

MenuRef Toolbar::MakeOverflowMenu() const {
  return BuildOverflowMenu().first;
}

void Toolbar::ShowOverflowMenu(Point where) {
  auto [menu, byIndex] = BuildOverflowMenu();
  if (menu->CountItems() == 0) return;
  const MenuSelection chosen =
      GetPresenter().ShowMenu(MenuRequest{menu, MenuPlacement::kPopUp, window_, where, 0});
  if (!chosen.chosen() || chosen.item >= static_cast<int>(byIndex.size())) return;
  if (const ToolbarItemRef& item = byIndex[static_cast<std::size_t>(chosen.item)]) PerformItem(*item);
}

void Toolbar::PerformItem(const ToolbarItem& item) {
  // The command may close the window: it stays alive until the command is done.
  const std::shared_ptr<Window> window = window_ ? window_->weak_from_this().lock() : nullptr;
  if (!window || window->IsReleased() || !item.IsEnabled()) return;
  if (item.identifier() == kToolbarCustomizeIdentifier)
    RunToolbarCustomizeDialog(*this, window.get());
  else if (item.command() != 0)
    window->ProcessCommand(item.command());
}

void Toolbar::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  LayoutChanged();
}

void Toolbar::SetSmall(bool small) {
  if (small == small_) return;
  small_ = small;
  LayoutChanged();
}

void Toolbar::Save() const {
  if (!autosave_) return;
  std::vector<SavedToolbarItem> saved;
  for (const auto& item : items_) saved.push_back({item->identifier(), item->configuration()});
  prefs::SharedPreferences().Set(ConfigurationKey(), WriteToolbarConfiguration(saved));
}

std::optional<std::vector<SavedToolbarItem>> ReadToolbarConfiguration(
    const values::Value& saved, const std::vector<std::string>& allowed) {
  const values::Array* entries = saved.AsArray();
  if (!entries) return std::nullopt;
  std::vector<SavedToolbarItem> out;
  for (const values::Value& entry : *entries) {
    if (out.size() >= kMaximumSavedToolbarItems) break;
    const values::Dictionary* d = entry.AsDictionary();
    if (!d) continue;
    const auto id = d->find(kIdentifierKey);
    if (id == d->end() || !id->second.AsString()) continue;
    const std::string& identifier = *id->second.AsString();
    // Only what the user could have placed comes back.
    if (std::find(allowed.begin(), allowed.end(), identifier) == allowed.end()) continue;
    SavedToolbarItem item{identifier, std::nullopt};
    if (const auto it = d->find(kDataKey); it != d->end() && it->second.AsString())
      item.data = *it->second.AsString();
    out.push_back(std::move(item));
  }
  return out;
}

values::Value WriteToolbarConfiguration(const std::vector<SavedToolbarItem>& items) {
  values::Array saved;
  for (const SavedToolbarItem& item : items) {
    values::Dictionary d;
    d[kIdentifierKey] = values::Value(item.identifier);
    if (item.data) d[kDataKey] = values::Value(*item.data);
    saved.push_back(values::Value(std::move(d)));
  }
  return values::Value(std::move(saved));
}

}  // namespace toolbox
