#pragma once
// A window's toolbar as data: an ordered list of items, each made by the toolbar's
// delegate from an identifier, which also names the default arrangement and every item
// the user may place. The user's arrangement is saved under the toolbar's identifier in
// the application's preferences when the toolbar auto-saves, and read back when it is
// made, so it survives a restart; identifiers the delegate no longer makes are dropped.
//
// Items carry a label, a help text, an icon and a command (sent through the window's
// chain when clicked), or a search field as their view. Separators, flexible spaces and
// the customise button have the standard identifiers below and need no delegate.
//
// The window shows the toolbar above its content (Window::SetToolbar) and follows every
// change; the customise dialog (RunToolbarCustomizeDialog) edits the arrangement.
//
// Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolbox/app/command.h"
#include "platform/toolbox/drawing/geometry.h"
#include "platform/toolbox/drawing/image.h"
#include "platform/toolbox/menus/menu.h"
#include "platform/values/value.h"

namespace toolbox {

class SearchField;
class Window;

inline constexpr char kToolbarSeparatorIdentifier[] = "com.apple.hitoolbox.toolbar.separator";
inline constexpr char kToolbarFlexibleSpaceIdentifier[] = "com.apple.hitoolbox.toolbar.flexiblespace";
inline constexpr char kToolbarCustomizeIdentifier[] = "com.apple.hitoolbox.toolbar.customize";

class ToolbarItem {
 public:
  explicit ToolbarItem(std::string identifier) : identifier_(std::move(identifier)) {}

  const std::string& identifier() const { return identifier_; }
  const std::string& label() const { return label_; }
  void SetLabel(std::string label) { label_ = std::move(label); }
  const std::string& helpText() const { return help_; }
  void SetHelpText(std::string help) { help_ = std::move(help); }
  FourCharCode command() const { return command_; }
  void SetCommand(FourCharCode command) { command_ = command; }
  const std::optional<Image>& icon() const { return icon_; }
  void SetIcon(std::optional<Image> icon) { icon_ = std::move(icon); }
  bool IsEnabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // The label is not shown (a search field's item).
  bool IsLabelDisabled() const { return label_disabled_; }
  void SetLabelDisabled(bool disabled) { label_disabled_ = disabled; }
  const std::shared_ptr<SearchField>& searchField() const { return search_; }
  void SetSearchField(std::shared_ptr<SearchField> field) { search_ = std::move(field); }
  // Saved with the arrangement and handed back to the delegate when it makes the item again.
  const std::optional<std::string>& configuration() const { return configuration_; }
  void SetConfiguration(std::optional<std::string> data) { configuration_ = std::move(data); }

  // Kept alive as long as the item: the state its maker keeps for it.
  void SetOwnerData(std::shared_ptr<void> data) { owner_data_ = std::move(data); }

  // Internal: the toolbar's widget follows the enabled state through this.
  void SetStateObserver(std::function<void(ToolbarItem&)> observer) { observer_ = std::move(observer); }

 private:
  std::string identifier_;
  std::string label_;
  std::string help_;
  FourCharCode command_ = 0;
  std::optional<Image> icon_;
  bool enabled_ = true;
  bool label_disabled_ = false;
  std::shared_ptr<SearchField> search_;
  std::optional<std::string> configuration_;
  std::function<void(ToolbarItem&)> observer_;
  std::shared_ptr<void> owner_data_;
};

using ToolbarItemRef = std::shared_ptr<ToolbarItem>;

class ToolbarDelegate {
 public:
  virtual ~ToolbarDelegate() = default;
  virtual std::vector<std::string> DefaultIdentifiers() = 0;
  virtual std::vector<std::string> AllowedIdentifiers() = 0;
  // The item for the identifier, nullptr when the delegate makes none.
  virtual ToolbarItemRef CreateItem(const std::string& identifier,
                                    const std::optional<std::string>& data) = 0;
};

class Toolbar {
 public:
  // The delegate must outlive the toolbar.
  Toolbar(std::string identifier, bool autosave, ToolbarDelegate& delegate);
  ~Toolbar();
  Toolbar(const Toolbar&) = delete;
  Toolbar& operator=(const Toolbar&) = delete;

  const std::string& identifier() const { return identifier_; }
  ToolbarDelegate& delegate() const { return delegate_; }
  // The preference key of the saved arrangement.
  std::string ConfigurationKey() const;

  // The items from the saved arrangement, or the delegate's defaults when none is saved.
  void Load();
  const std::vector<ToolbarItemRef>& items() const { return items_; }
  std::vector<std::string> ItemIdentifiers() const;
  // The first item with the identifier, nullptr when none is in the toolbar.
  ToolbarItemRef FindItem(const std::string& identifier) const;

  // Arrangement changes: items already present keep their object (and state); new ones are
  // made by the delegate; an identifier it does not make is skipped. Saved when auto-saving.
  void SetItemIdentifiers(const std::vector<std::string>& identifiers);
  void InsertItem(const std::string& identifier, std::size_t index);
  void RemoveItemAt(std::size_t index);
  void MoveItem(std::size_t from, std::size_t to);
  void ResetToDefault();

  bool IsVisible() const { return visible_; }
  void SetVisible(bool visible);
  // Small icons (the search field follows).
  bool IsSmall() const { return small_; }
  void SetSmall(bool small);

  // The items that do not fit the window's width now, in their order: the end of the row
  // from the first item that did not fit (toolbar_layout.h). Set by the window's row at
  // each layout; empty while everything shows or the toolbar is hidden.
  const std::vector<ToolbarItemRef>& OverflowItems() const { return overflow_; }
  void SetOverflowItems(std::vector<ToolbarItemRef> items) { overflow_ = std::move(items); }
  // The chevron's menu: one item for each overflowing item that does something when
  // chosen (its label, icon, command and enabled state), separators where the row has
  // them; a view (the search field) is named there by its help text, disabled.
  MenuRef MakeOverflowMenu() const;
  // Shows that menu at `where` in the window's content and carries out the chosen item as
  // a click on it would.
  void ShowOverflowMenu(Point where);
  // A click on the item: the customise dialog for the customise item, else its command
  // sent through the window's chain. Nothing while the item is disabled.
  void PerformItem(const ToolbarItem& item);

  // Told after an item joined or left the toolbar.
  void SetItemAddedHandler(std::function<void(const ToolbarItemRef&)> handler) {
    on_added_ = std::move(handler);
  }
  void SetItemRemovedHandler(std::function<void(const ToolbarItemRef&)> handler) {
    on_removed_ = std::move(handler);
  }
  // Internal: the window's widget rebuilds through this.
  void SetLayoutObserver(std::function<void()> observer) { on_layout_ = std::move(observer); }
  // The window that shows it (set by Window::SetToolbar).
  Window* window() const { return window_; }
  void SetWindow(Window* window) { window_ = window; }

 private:
  ToolbarItemRef MakeItem(const std::string& identifier, const std::optional<std::string>& data);
  // The overflow menu and, by its item index, the toolbar item each menu item stands for.
  std::pair<MenuRef, std::vector<ToolbarItemRef>> BuildOverflowMenu() const;
  void Replace(std::vector<ToolbarItemRef> items);
  void Save() const;
  void LayoutChanged() {
    overflow_.clear();
    if (on_layout_) on_layout_();
  }

  std::string identifier_;
  bool autosave_;
  ToolbarDelegate& delegate_;
  std::vector<ToolbarItemRef> items_;
  std::vector<ToolbarItemRef> overflow_;
  bool visible_ = true;
  bool small_ = false;
  Window* window_ = nullptr;
  std::function<void(const ToolbarItemRef&)> on_added_, on_removed_;
  std::function<void()> on_layout_;
};

bool IsStandardToolbarIdentifier(const std::string& identifier);

// The saved arrangement: an array of {"identifier": string, "data": string (optional)}.
struct SavedToolbarItem {
  std::string identifier;
  std::optional<std::string> data;
  bool operator==(const SavedToolbarItem&) const = default;
};
// The arrangement is a short list: a damaged preference file must not make thousands of items.
inline constexpr std::size_t kMaximumSavedToolbarItems = 64;
// The entries of `saved` whose identifier is in `allowed` (others, and entries of another
// shape, are skipped), at most kMaximumSavedToolbarItems of them; nothing when `saved` is
// not an array.
std::optional<std::vector<SavedToolbarItem>> ReadToolbarConfiguration(
    const values::Value& saved, const std::vector<std::string>& allowed);
values::Value WriteToolbarConfiguration(const std::vector<SavedToolbarItem>& items);

// The customise dialog: the items the user may add on one side, the toolbar's on the
// other, with Add, Remove, Up, Down, "Use Default Set" and "Done". It edits the toolbar as
// the user goes; shown as a window (not modal) and returned for tests, which press its
// buttons through the same calls.
class ToolbarCustomizeDialog {
 public:
  virtual ~ToolbarCustomizeDialog() = default;
  virtual void SelectAllowed(int index) = 0;
  virtual void SelectCurrent(int index) = 0;
  virtual void Add() = 0;
  virtual void Remove() = 0;
  virtual void MoveUp() = 0;
  virtual void MoveDown() = 0;
  virtual void UseDefaultSet() = 0;
  virtual void Done() = 0;
  virtual bool IsShown() const = 0;
  virtual Image Grab() const = 0;
};
ToolbarCustomizeDialog& RunToolbarCustomizeDialog(Toolbar& toolbar, Window* parent);
// Closes the dialog when it edits `toolbar` (a toolbar going away closes its own).
void CloseToolbarCustomizeDialog(Toolbar& toolbar);

}  // namespace toolbox
