#pragma once
// A search field: a one-line text with a descriptive text shown while it is empty, a cancel
// button that appears with text, and a menu behind the magnifier (recent searches).
//
// The field is data, like a menu: its owner reads and sets the text and hears what the
// user does - typed (every change), accepted (Return), cancelled (the cancel button) - and
// is asked to fill the menu just before it shows. The Qt widget that shows it (in a
// toolbar) follows the data; tests drive the same entry points the widget calls.
//
// Main thread only.

#include <functional>
#include <string>

#include "platform/toolbox/menus/menu.h"

namespace toolbox {

class SearchField {
 public:
  SearchField();

  const std::string& Text() const { return text_; }
  // Sets the text without telling the handlers (as the platform's SetControlData does).
  void SetText(const std::string& text);
  const std::string& DescriptiveText() const { return descriptive_; }
  void SetDescriptiveText(const std::string& text);
  // Small (toolbar shown small) or regular size of the text and its parts.
  bool IsSmall() const { return small_; }
  void SetSmall(bool small);
  // The magnifier's menu.
  const MenuRef& GetMenu() const { return menu_; }
  void SetMenu(MenuRef menu) { menu_ = std::move(menu); }

  void SetTextChangedHandler(std::function<void(SearchField&)> handler) { on_changed_ = std::move(handler); }
  void SetTextAcceptedHandler(std::function<void(SearchField&)> handler) {
    on_accepted_ = std::move(handler);
  }
  void SetCancelHandler(std::function<void(SearchField&)> handler) { on_cancel_ = std::move(handler); }
  // Called before the menu shows (to fill it), and with the command of the chosen item.
  void SetMenuPopulateHandler(std::function<void(Menu&)> handler) { on_populate_ = std::move(handler); }
  void SetMenuCommandHandler(std::function<void(FourCharCode)> handler) { on_command_ = std::move(handler); }

  // What the user does (the widget calls these; tests too).
  void UserChangedText(const std::string& text);
  void UserAccepted();
  void UserCancelled();
  // Fills the menu for showing it; the menu is returned.
  MenuRef PopulateMenu();
  void UserChoseMenuCommand(FourCharCode command);

  // Internal: the widget follows the data through this.
  void SetViewUpdater(std::function<void()> updater) { on_view_ = std::move(updater); }

 private:
  void UpdateView() {
    if (on_view_) on_view_();
  }

  std::string text_;
  std::string descriptive_;
  bool small_ = false;
  MenuRef menu_;
  std::function<void(SearchField&)> on_changed_, on_accepted_, on_cancel_;
  std::function<void(Menu&)> on_populate_;
  std::function<void(FourCharCode)> on_command_;
  std::function<void()> on_view_;
};

}  // namespace toolbox
