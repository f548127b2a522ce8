#include "platform/toolbox/toolbar/toolbar_widget.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QStyle>
#include <QToolButton>

#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/toolbar/search_field.h"
#include "platform/toolbox/toolbar/toolbar.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {

namespace {

// The search field's width stays between these (points).
constexpr int kSearchMinimumWidth = 150;
constexpr int kSearchMaximumWidth = 250;

QWidget* SearchWidget(const std::shared_ptr<SearchField>& field, Window& window, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setClearButtonEnabled(true);
  edit->setMinimumWidth(kSearchMinimumWidth);
  edit->setMaximumWidth(kSearchMaximumWidth);
  std::weak_ptr<SearchField> weak = field;
  QPointer<QLineEdit> guard(edit);
  const auto follow = [weak, guard] {
    auto f = weak.lock();
    if (!f || !guard) return;
    if (ToQString(f->Text()) != guard->text()) guard->setText(ToQString(f->Text()));
    guard->setPlaceholderText(ToQString(f->DescriptiveText()));
    QFont font = guard->font();
    font.setPointSizeF(f->IsSmall() ? 10 : 12);
    guard->setFont(font);
  };
  field->SetViewUpdater(follow);
  follow();
  QObject::connect(edit, &QLineEdit::textEdited, edit, [weak](const QString& text) {
    if (auto f = weak.lock()) f->UserChangedText(FromQString(text));
  });
  QObject::connect(edit, &QLineEdit::returnPressed, edit, [weak] {
    if (auto f = weak.lock()) f->UserAccepted();
  });
  // The clear button empties the text without an edit signal: that is the cancel button.
  QObject::connect(edit, &QLineEdit::textChanged, edit, [weak](const QString& text) {
    auto f = weak.lock();
    if (f && text.isEmpty() && !f->Text().empty()) f->UserCancelled();
  });
  QAction* magnifier = edit->addAction(edit->style()->standardIcon(QStyle::SP_FileDialogContentsView),
                                       QLineEdit::LeadingPosition);
  Window* win = &window;
  QObject::connect(magnifier, &QAction::triggered, edit, [weak, guard, win] {
    auto f = weak.lock();
    if (!f || !guard) return;
    MenuRef menu = f->PopulateMenu();
    MenuRequest request{menu, MenuPlacement::kPopUp, win, Point{double(guard->x()), double(guard->height())},
                        0};
    const MenuSelection chosen = GetPresenter().ShowMenu(request);
    if (chosen.chosen() && chosen.command != 0 && chosen.menu && chosen.menu->IsItemEnabled(chosen.item))
      f->UserChoseMenuCommand(chosen.command);
  });
  return edit;
}

QWidget* ButtonWidget(const ToolbarItemRef& item, Toolbar& toolbar, Window& window, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setToolButtonStyle(item->IsLabelDisabled() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
  button->setText(ToQString(item->label()));
  button->setToolTip(ToQString(item->helpText()));
  button->setAutoRaise(true);
  // Labels in the small system size, so that a row of them fits a window of usual width.
  QFont font = button->font();
  font.setPointSizeF(toolbar.IsSmall() ? 8.5 : 9.5);
  button->setFont(font);
  const int side = toolbar.IsSmall() ? 24 : 32;
  button->setIconSize(QSize(side, side));
  if (item->icon() && !item->icon()->IsNull())
    button->setIcon(QIcon(QPixmap::fromImage(ToQImage(*item->icon()))));
  button->setEnabled(item->IsEnabled());
  QPointer<QToolButton> guard(button);
  item->SetStateObserver([guard](ToolbarItem& i) {
    if (guard) guard->setEnabled(i.IsEnabled());
  });
  std::weak_ptr<Window> weakWindow = window.weak_from_this();
  Toolbar* bar = &toolbar;
  const std::string identifier = item->identifier();
  const FourCharCode command = item->command();
  QObject::connect(button, &QToolButton::clicked, button, [weakWindow, bar, identifier, command] {
    auto w = weakWindow.lock();
    if (!w || w->IsReleased()) return;
    if (identifier == kToolbarCustomizeIdentifier)
      RunToolbarCustomizeDialog(*bar, w.get());
    else if (command != 0)
      w->ProcessCommand(command);
  });
  return button;
}

}  // namespace

QWidget* BuildToolbarWidget(Toolbar& toolbar, Window& window, QWidget* parent) {
  auto* row = new QFrame(parent);
  row->setFrameShape(QFrame::NoFrame);
  row->setAutoFillBackground(true);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(6, 3, 6, 3);
  layout->setSpacing(2);
  for (const ToolbarItemRef& item : toolbar.items()) {
    const std::string& id = item->identifier();
    if (id == kToolbarSeparatorIdentifier) {
      auto* line = new QFrame(row);
      line->setFrameShape(QFrame::VLine);
      line->setFrameShadow(QFrame::Sunken);
      layout->addWidget(line);
    } else if (id == kToolbarFlexibleSpaceIdentifier) {
      layout->addStretch(1);
    } else if (item->searchField()) {
      item->searchField()->SetSmall(toolbar.IsSmall());
      layout->addWidget(SearchWidget(item->searchField(), window, row), 0, Qt::AlignVCenter);
    } else {
      if (id == kToolbarCustomizeIdentifier && item->label().empty()) item->SetLabel("Customize");
      layout->addWidget(ButtonWidget(item, toolbar, window, row));
    }
  }
  return row;
}

}  // namespace toolbox
