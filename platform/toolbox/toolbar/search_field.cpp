#include "platform/toolbox/toolbar/search_field.h"

namespace toolbox {

SearchField::SearchField() : menu_(Menu::Create(0)) {}

void SearchField::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  UpdateView();
}

void SearchField::SetDescriptiveText(const std::string& text) {
  descriptive_ = text;
  UpdateView();
}

void SearchField::SetSmall(bool small) {
  if (small == small_) return;
  small_ = small;
  UpdateView();
}

void SearchField::UserChangedText(const std::string& text) {
  text_ = text;
  if (on_changed_) on_changed_(*this);
}

void SearchField::UserAccepted() {
  if (on_accepted_) on_accepted_(*this);
}

void SearchField::UserCancelled() {
  if (on_cancel_) on_cancel_(*this);
}

MenuRef SearchField::PopulateMenu() {
  if (!menu_) menu_ = Menu::Create(0);
  if (on_populate_) on_populate_(*menu_);
  return menu_;
}

void SearchField::UserChoseMenuCommand(FourCharCode command) {
  if (on_command_) on_command_(command);
}

}  // namespace toolbox
