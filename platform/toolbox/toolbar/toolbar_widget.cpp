#include "platform/toolbox/toolbar/toolbar_widget.h"

#include <algorithm>
#include <vector>

#include <QAction>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QResizeEvent>
#include <QShowEvent>
#include <QStyle>
#include <QToolButton>

#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/toolbar/search_field.h"
#include "platform/toolbox/toolbar/toolbar.h"
#include "platform/toolbox/toolbar/toolbar_layout.h"
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

QWidget* ButtonWidget(const ToolbarItemRef& item, Toolbar& toolbar, QWidget* parent) {
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
  std::weak_ptr<ToolbarItem> weakItem = item;
  Toolbar* bar = &toolbar;
  QObject::connect(button, &QToolButton::clicked, button, [weakItem, bar] {
    if (auto i = weakItem.lock()) bar->PerformItem(*i);
  });
  return button;
}

// The row: each item at the width it needs, laid out again at every change of width
// (toolbar_layout.h); what does not fit goes under the chevron.
class ToolbarRow : public QFrame {
 public:
  ToolbarRow(Toolbar& toolbar, QWidget* parent) : QFrame(parent), toolbar_(toolbar) {}

  void Add(const ToolbarItemRef& item, ToolbarSlot slot, QWidget* widget) {
    entries_.push_back({item, slot, widget});
  }
  void SetChevron(QToolButton* chevron) { chevron_ = chevron; }

  QSize sizeHint() const override {
    std::vector<ToolbarSlot> sizes;
    int height = 0;
    for (const Entry& e : entries_) {
      sizes.push_back(e.slot);
      if (e.widget) height = std::max(height, e.widget->sizeHint().height());
    }
    return {ToolbarRowFullWidth(sizes, metrics_), height + 2 * kVerticalMargin};
  }
  QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QFrame::resizeEvent(event);
    LayOut();
  }
  void showEvent(QShowEvent* event) override {
    QFrame::showEvent(event);
    LayOut();
  }

 private:
  struct Entry {
    ToolbarItemRef item;
    ToolbarSlot slot;
    QWidget* widget;  // none for a flexible space
  };
  static constexpr int kVerticalMargin = 3;

  void LayOut() {
    std::vector<ToolbarSlot> sizes;
    for (const Entry& e : entries_) sizes.push_back(e.slot);
    const ToolbarRowLayout layout = LayOutToolbarRow(sizes, width(), metrics_);
    std::vector<ToolbarItemRef> overflow;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      const Entry& e = entries_[i];
      if (layout.overflowed[i]) overflow.push_back(e.item);
      if (!e.widget) continue;
      e.widget->setVisible(layout.shown[i]);
      if (!layout.shown[i]) continue;
      // Separators run the row's height; the others keep the height they ask for.
      const int inner = height() - 2 * kVerticalMargin;
      const int h = e.slot.kind == ToolbarSlot::Kind::kSeparator
                        ? inner
                        : std::min(inner, e.widget->sizeHint().height());
      e.widget->setGeometry(layout.x[i], (height() - h) / 2, layout.width[i], h);
    }
    if (chevron_) {
      chevron_->setVisible(layout.chevron);
      if (layout.chevron)
        chevron_->setGeometry(layout.chevronX, kVerticalMargin, metrics_.chevron,
                              height() - 2 * kVerticalMargin);
    }
    if (isVisible()) toolbar_.SetOverflowItems(std::move(overflow));
  }

  Toolbar& toolbar_;
  ToolbarRowMetrics metrics_;
  std::vector<Entry> entries_;
  QToolButton* chevron_ = nullptr;
};

constexpr int kSeparatorWidth = 8;
constexpr int kButtonPadding = 12;

}  // namespace

QWidget* BuildToolbarWidget(Toolbar& toolbar, Window& window, QWidget* parent) {
  auto* row = new ToolbarRow(toolbar, parent);
  row->setFrameShape(QFrame::NoFrame);
  row->setAutoFillBackground(true);
  using Kind = ToolbarSlot::Kind;
  for (const ToolbarItemRef& item : toolbar.items()) {
    const std::string& id = item->identifier();
    if (id == kToolbarSeparatorIdentifier) {
      auto* line = new QFrame(row);
      line->setFrameShape(QFrame::VLine);
      line->setFrameShadow(QFrame::Sunken);
      row->Add(item, {Kind::kSeparator, kSeparatorWidth, kSeparatorWidth}, line);
    } else if (id == kToolbarFlexibleSpaceIdentifier) {
      row->Add(item, {Kind::kFlexibleSpace, 0, 0}, nullptr);
    } else if (item->searchField()) {
      item->searchField()->SetSmall(toolbar.IsSmall());
      row->Add(item, {Kind::kView, kSearchMinimumWidth, kSearchMaximumWidth},
               SearchWidget(item->searchField(), window, row));
    } else {
      if (id == kToolbarCustomizeIdentifier && item->label().empty()) item->SetLabel("Customize");
      QWidget* button = ButtonWidget(item, toolbar, row);
      // As wide as its label and icon need, with a little room either side: a narrow
      // window moves items under the chevron rather than cutting their labels.
      const auto* tool = static_cast<QToolButton*>(button);
      const int text =
          item->IsLabelDisabled() ? 0 : QFontMetrics(tool->font()).horizontalAdvance(tool->text());
      const int need = std::max(tool->iconSize().width(), text) + kButtonPadding;
      row->Add(item, {Kind::kItem, need, need}, button);
    }
  }
  auto* chevron = new QToolButton(row);
  chevron->setText(QString::fromUtf8("\u00BB"));
  chevron->setAutoRaise(true);
  chevron->setToolTip(QStringLiteral("More items"));
  chevron->hide();
  Toolbar* bar = &toolbar;
  QPointer<QToolButton> guard(chevron);
  QObject::connect(chevron, &QToolButton::clicked, chevron, [bar, guard, row] {
    if (!guard) return;
    const QPoint at = guard->geometry().bottomLeft();
    bar->ShowOverflowMenu(Point{double(at.x()), double(row->y() + at.y())});
  });
  row->SetChevron(chevron);
  return row;
}

}  // namespace toolbox
