// The toolbar's customise dialog: two lists and the buttons that move items between them.
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>
#include <utility>

#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/toolbar/toolbar.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {

namespace {

std::string ShownName(Toolbar& toolbar, const std::string& identifier) {
  if (identifier == kToolbarSeparatorIdentifier) return "Separator";
  if (identifier == kToolbarFlexibleSpaceIdentifier) return "Flexible Space";
  if (identifier == kToolbarCustomizeIdentifier) return "Customize";
  if (ToolbarItemRef in = toolbar.FindItem(identifier)) return in->label().empty() ? "Search" : in->label();
  ToolbarItemRef made = toolbar.delegate().CreateItem(identifier, std::nullopt);
  if (!made) return identifier;
  return made->label().empty() ? "Search" : made->label();
}

class Dialog : public ToolbarCustomizeDialog {
 public:
  Dialog(Toolbar& toolbar, Window* parent) : toolbar_(toolbar) {
    dialog_ = new QDialog(parent ? parent->widget() : nullptr);
    dialog_->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog_->setWindowTitle("Customize Toolbar");
    auto* outer = new QVBoxLayout(dialog_);
    outer->addWidget(new QLabel("Add items to the toolbar, remove them or change their order.", dialog_));
    auto* lists = new QHBoxLayout();
    allowed_ = new QListWidget(dialog_);
    current_ = new QListWidget(dialog_);
    auto* middle = new QVBoxLayout();
    const auto button = [&](const char* text, void (Dialog::*action)()) {
      auto* b = new QPushButton(text, dialog_);
      QObject::connect(b, &QPushButton::clicked, dialog_, [this, action] { (this->*action)(); });
      return b;
    };
    middle->addWidget(button("Add \u2192", &Dialog::Add));
    middle->addWidget(button("\u2190 Remove", &Dialog::Remove));
    middle->addWidget(button("Up", &Dialog::MoveUp));
    middle->addWidget(button("Down", &Dialog::MoveDown));
    middle->addStretch(1);
    lists->addWidget(allowed_);
    lists->addLayout(middle);
    lists->addWidget(current_);
    outer->addLayout(lists);
    auto* bottom = new QHBoxLayout();
    bottom->addWidget(button("Use Default Set", &Dialog::UseDefaultSet));
    bottom->addStretch(1);
    QPushButton* done = button("Done", &Dialog::Done);
    done->setDefault(true);
    bottom->addWidget(done);
    outer->addLayout(bottom);
    dialog_->resize(520, 360);
    Fill();
  }
  ~Dialog() override { delete dialog_.data(); }

  void Show() {
    Fill();
    dialog_->show();
    dialog_->raise();
  }

  void SelectAllowed(int index) override { allowed_->setCurrentRow(index); }
  void SelectCurrent(int index) override { current_->setCurrentRow(index); }
  void Add() override {
    const int from = allowed_->currentRow();
    if (from < 0 || from >= static_cast<int>(allowedIDs_.size())) return;
    const int at = current_->currentRow();
    const std::size_t index = at < 0 ? toolbar_.items().size() : static_cast<std::size_t>(at) + 1;
    toolbar_.InsertItem(allowedIDs_[static_cast<std::size_t>(from)], index);
    Fill();
    current_->setCurrentRow(static_cast<int>(std::min(index, toolbar_.items().size() - 1)));
  }
  void Remove() override {
    const int at = current_->currentRow();
    if (at < 0) return;
    toolbar_.RemoveItemAt(static_cast<std::size_t>(at));
    Fill();
    current_->setCurrentRow(std::min(at, current_->count() - 1));
  }
  void MoveUp() override { Move(-1); }
  void MoveDown() override { Move(1); }
  void UseDefaultSet() override {
    toolbar_.ResetToDefault();
    Fill();
  }
  void Done() override { dialog_->hide(); }
  bool IsShown() const override { return dialog_->isVisible(); }
  Image Grab() const override { return FromQImage(dialog_->grab().toImage()); }
  Toolbar& toolbar() const { return toolbar_; }

 private:
  void Move(int by) {
    const int at = current_->currentRow();
    const int to = at + by;
    if (at < 0 || to < 0 || to >= static_cast<int>(toolbar_.items().size())) return;
    toolbar_.MoveItem(static_cast<std::size_t>(at), static_cast<std::size_t>(to));
    Fill();
    current_->setCurrentRow(to);
  }
  void Fill() {
    allowedIDs_ = toolbar_.delegate().AllowedIdentifiers();
    const int a = allowed_->currentRow(), c = current_->currentRow();
    allowed_->clear();
    current_->clear();
    for (const auto& id : allowedIDs_) allowed_->addItem(ToQString(ShownName(toolbar_, id)));
    for (const auto& item : toolbar_.items())
      current_->addItem(ToQString(ShownName(toolbar_, item->identifier())));
    allowed_->setCurrentRow(a);
    current_->setCurrentRow(c);
  }

  Toolbar& toolbar_;
  QPointer<QDialog> dialog_;
  QListWidget* allowed_;
  QListWidget* current_;
  std::vector<std::string> allowedIDs_;
};

// Not destroyed at exit: the Qt application is gone by then.
Dialog*& OpenDialog() {
  static Dialog* dialog = nullptr;
  return dialog;
}

}  // namespace

ToolbarCustomizeDialog& RunToolbarCustomizeDialog(Toolbar& toolbar, Window* parent) {
  Dialog*& dialog = OpenDialog();
  // One dialog at a time, for the toolbar it edits.
  if (dialog && &dialog->toolbar() != &toolbar) delete std::exchange(dialog, nullptr);
  if (!dialog) dialog = new Dialog(toolbar, parent);
  dialog->Show();
  return *dialog;
}

void CloseToolbarCustomizeDialog(Toolbar& toolbar) {
  Dialog*& dialog = OpenDialog();
  if (dialog && &dialog->toolbar() == &toolbar) delete std::exchange(dialog, nullptr);
}

}  // namespace toolbox
