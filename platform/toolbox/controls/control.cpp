#include "platform/toolbox/controls/control.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTimeZone>
#include <QToolButton>
#include <algorithm>

#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/views/view.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {
namespace {

// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
constexpr qint64 kUnixTo2001 = 978307200;

QString PlainText(const QWidget* w, ControlKind kind) {
  switch (kind) {
    case ControlKind::kPushButton:
    case ControlKind::kCheckBox:
    case ControlKind::kDisclosure:
    case ControlKind::kBevelButton:
      return static_cast<const QAbstractButton*>(w)->text();
    case ControlKind::kPopUpButton:
      return static_cast<const QComboBox*>(w)->currentText();
    case ControlKind::kEditText:
    case ControlKind::kPasswordText:
    case ControlKind::kNumberText:
      return static_cast<const QLineEdit*>(w)->text();
    case ControlKind::kMultilineText:
    case ControlKind::kTextView:
      return static_cast<const QPlainTextEdit*>(w)->toPlainText();
    case ControlKind::kStaticText:
    case ControlKind::kPlacard:
      return static_cast<const QLabel*>(w)->text();
    case ControlKind::kDateTime:
      return static_cast<const QDateTimeEdit*>(w)->text();
    case ControlKind::kSlider:
    case ControlKind::kImageView:
    case ControlKind::kUserPane:
      return {};
  }
  return {};
}

}  // namespace

Control::Control(Window& window, const ControlSpec& desc, QWidget* widget)
    : window_(window),
      id_(desc.id),
      kind_(desc.kind),
      widget_(widget),
      target_(runtime::EventTarget::Create(runtime::EventTarget::Kind::kObject, window.target())),
      command_(desc.command),
      minimum_(desc.minimum),
      maximum_(std::max(desc.minimum, desc.maximum)),
      is_default_(desc.is_default),
      is_cancel_(desc.is_cancel),
      bindings_(desc.bindings),
      menu_(desc.menu) {}

Control::~Control() = default;

std::int32_t Control::Value() const {
  switch (kind_) {
    case ControlKind::kCheckBox: {
      const auto state = static_cast<const QCheckBox*>(widget_)->checkState();
      return state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? 2 : 0;
    }
    case ControlKind::kDisclosure:
    case ControlKind::kBevelButton:
      return static_cast<const QAbstractButton*>(widget_)->isChecked() ? 1 : 0;
    case ControlKind::kPopUpButton:
      return static_cast<const QComboBox*>(widget_)->currentIndex() + 1;
    case ControlKind::kSlider:
      return static_cast<const QSlider*>(widget_)->value();
    case ControlKind::kNumberText:
      return static_cast<const QLineEdit*>(widget_)->text().toInt();
    case ControlKind::kDateTime:
      return static_cast<std::int32_t>(
          static_cast<const QDateTimeEdit*>(widget_)->dateTime().toSecsSinceEpoch() - kUnixTo2001);
    default:
      return 0;
  }
}

void Control::SetValue(std::int32_t value) {
  if (kind_ != ControlKind::kDateTime && kind_ != ControlKind::kNumberText) {
    value = std::clamp(value, minimum_, std::max(minimum_, maximum_));
  }
  switch (kind_) {
    case ControlKind::kCheckBox:
      static_cast<QCheckBox*>(widget_)->setTristate(value == 2);
      static_cast<QCheckBox*>(widget_)->setCheckState(value == 2 ? Qt::PartiallyChecked
                                                      : value    ? Qt::Checked
                                                                 : Qt::Unchecked);
      break;
    case ControlKind::kDisclosure:
    case ControlKind::kBevelButton: {
      auto* b = static_cast<QAbstractButton*>(widget_);
      if (b->isCheckable()) b->setChecked(value != 0);
      if (kind_ == ControlKind::kDisclosure)
        static_cast<QToolButton*>(widget_)->setArrowType(value ? Qt::DownArrow : Qt::RightArrow);
      break;
    }
    case ControlKind::kPopUpButton:
      static_cast<QComboBox*>(widget_)->setCurrentIndex(value - 1);
      break;
    case ControlKind::kSlider:
      static_cast<QSlider*>(widget_)->setValue(value);
      break;
    case ControlKind::kNumberText:
      static_cast<QLineEdit*>(widget_)->setText(QString::number(value));
      break;
    case ControlKind::kDateTime:
      static_cast<QDateTimeEdit*>(widget_)->setDateTime(
          QDateTime::fromSecsSinceEpoch(qint64(value) + kUnixTo2001, QTimeZone::utc()).toLocalTime());
      break;
    default:
      break;
  }
}

void Control::SetMinimum(std::int32_t minimum) {
  minimum_ = minimum;
  maximum_ = std::max(maximum_, minimum_);
  if (kind_ == ControlKind::kSlider) static_cast<QSlider*>(widget_)->setMinimum(minimum_);
}

void Control::SetMaximum(std::int32_t maximum) {
  maximum_ = std::max(maximum, minimum_);
  if (kind_ == ControlKind::kSlider) static_cast<QSlider*>(widget_)->setMaximum(maximum_);
  if (kind_ == ControlKind::kCheckBox && maximum_ >= 2) static_cast<QCheckBox*>(widget_)->setTristate(true);
}

std::string Control::Text() const {
  return FromQString(PlainText(widget_, kind_));
}

void Control::SetText(const std::string& text) {
  const QString q = ToQString(text);
  switch (kind_) {
    case ControlKind::kPushButton:
    case ControlKind::kCheckBox:
    case ControlKind::kDisclosure:
    case ControlKind::kBevelButton:
      static_cast<QAbstractButton*>(widget_)->setText(q);
      break;
    case ControlKind::kEditText:
    case ControlKind::kPasswordText:
    case ControlKind::kNumberText:
      static_cast<QLineEdit*>(widget_)->setText(q);
      break;
    case ControlKind::kMultilineText:
    case ControlKind::kTextView:
      static_cast<QPlainTextEdit*>(widget_)->setPlainText(q);
      break;
    case ControlKind::kStaticText:
    case ControlKind::kPlacard:
      static_cast<QLabel*>(widget_)->setText(q);
      break;
    default:
      break;
  }
}

void Control::AppendText(const std::string& text) {
  if (kind_ != ControlKind::kTextView && kind_ != ControlKind::kMultilineText) return SetText(Text() + text);
  auto* edit = static_cast<QPlainTextEdit*>(widget_);
  QTextCursor cursor = edit->textCursor();
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(ToQString(text));
  edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
}

void Control::ScrollToEnd() {
  if (kind_ != ControlKind::kTextView && kind_ != ControlKind::kMultilineText) return;
  auto* edit = static_cast<QPlainTextEdit*>(widget_);
  edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
}

bool Control::IsEnabled() const {
  return widget_->isEnabled();
}
void Control::SetEnabled(bool enabled) {
  widget_->setEnabled(enabled);
}
bool Control::IsVisible() const {
  return !widget_->isHidden();
}
void Control::SetVisible(bool visible) {
  widget_->setVisible(visible);
}
// The widget that takes the keyboard focus: a scrolling view's own widget, not its host's frame.
QWidget* Control::FocusWidget() const {
  if (auto* area = qobject_cast<QScrollArea*>(widget_); area && area->widget()) return area->widget();
  return widget_;
}
bool Control::HasFocus() const {
  QWidget* top = widget_->window();
  return top && top->focusWidget() == FocusWidget();
}
void Control::SetFocus() {
  FocusWidget()->setFocus(Qt::OtherFocusReason);
}

namespace {
// Ends an edit the way a one-line field ends it in a list: Return, Enter, Tab, Escape or the
// focus leaving it.
class EditEndFilter : public QObject {
 public:
  EditEndFilter(QObject* parent, std::function<void()> ended) : QObject(parent), ended_(std::move(ended)) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(e)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab || key == Qt::Key_Escape) {
        End();
        return true;
      }
    } else if (e->type() == QEvent::FocusOut) {
      End();
    }
    return QObject::eventFilter(watched, e);
  }

 private:
  void End() {
    if (!ended_) return;
    auto ended = std::move(ended_);  // once; the handler may remove the control
    ended_ = nullptr;
    ended();
  }
  std::function<void()> ended_;
};
}  // namespace

void Control::SetEditingEndedHandler(std::function<void(Control&)> handler) {
  if (!qobject_cast<QLineEdit*>(widget_)) return;
  widget_->installEventFilter(
      new EditEndFilter(widget_, [this, handler = std::move(handler)] { handler(*this); }));
}

void Control::SelectAllText() {
  if (auto* edit = qobject_cast<QLineEdit*>(widget_)) edit->selectAll();
}

Rect Control::Bounds() const {
  return FromQRect(QRectF(widget_->geometry()));
}
void Control::SetBounds(const Rect& bounds) {
  widget_->setGeometry(ToQRect(bounds).toRect());
}

Rect Control::BestRect() const {
  const Rect now = Bounds();
  const Font font = FromQFont(widget_->font());
  switch (kind_) {
    case ControlKind::kStaticText: {
      // Wrapped at the control's width: only a word longer than the width widens it.
      const Size wrapped = MeasureWrappedText(Text(), font, now.width);
      return {now.x, now.y, std::max(now.width, wrapped.width), wrapped.height};
    }
    case ControlKind::kPushButton: {
      const Size text = MeasureText(Text(), font);
      return {now.x, now.y, std::max(70.0, std::ceil(text.width) + 28),
              std::max(20.0, std::ceil(text.height) + 6)};
    }
    default: {
      const QSize hint = widget_->sizeHint();
      return {now.x, now.y, double(hint.width()), double(hint.height())};
    }
  }
}

void Control::SetImage(const Image& image) {
  if (kind_ == ControlKind::kImageView) {
    auto* label = static_cast<QLabel*>(widget_);
    label->setPixmap(QPixmap::fromImage(ToQImage(image)));
  } else if (kind_ == ControlKind::kBevelButton || kind_ == ControlKind::kPushButton) {
    auto* b = static_cast<QAbstractButton*>(widget_);
    b->setIcon(QIcon(QPixmap::fromImage(ToQImage(image))));
  }
}

void Control::RefreshMenu() {
  if (kind_ != ControlKind::kPopUpButton || !menu_) return;
  auto* combo = static_cast<QComboBox*>(widget_);
  const int current = combo->currentIndex();
  const QSignalBlocker block(combo);
  combo->clear();
  for (int i = 1; i <= menu_->CountItems(); ++i) {
    const MenuItem& item = *menu_->Item(i);
    if (item.separator) {
      combo->insertSeparator(combo->count());
      continue;
    }
    // A marked item (the checked days of a day pop-up) shows its mark before its text.
    QString text = ToQString(item.text);
    if (item.mark != 0) text = QString::fromUcs4(&item.mark, 1) + QStringLiteral(" ") + text;
    if (!item.icon.IsNull())
      combo->addItem(QIcon(QPixmap::fromImage(ToQImage(item.icon))), text);
    else
      combo->addItem(text);
  }
  combo->setCurrentIndex(std::clamp(current, 0, std::max(0, combo->count() - 1)));
  maximum_ = menu_->CountItems();
  minimum_ = 1;
}

void Control::SetToolTip(const std::string& text) {
  widget_->setToolTip(ToQString(text));
}

void Control::NotifyValueChanged() {
  if (on_change_) on_change_(*this);
}

void Control::NotifyPressed() {
  if (kind_ == ControlKind::kDisclosure) {
    static_cast<QToolButton*>(widget_)->setArrowType(Value() ? Qt::DownArrow : Qt::RightArrow);
  }
  // The window may be released by the command: keep what is needed on the stack.
  const FourCharCode command = command_;
  auto handler = on_change_;
  std::shared_ptr<Window> keep = window_.shared_from_this();
  if (command != 0) {
    auto event = MakeCommandEvent(kEventCommandProcess, toolbox::Command{command, 0, 0});
    target_->Send(*event);
  }
  if (handler && !keep->IsReleased()) handler(*this);
  if (!keep->IsReleased()) keep->UpdateButtonStates();
}

void Control::Click() {
  if (!widget_->isEnabled()) return;
  switch (kind_) {
    case ControlKind::kPushButton:
    case ControlKind::kCheckBox:
    case ControlKind::kDisclosure:
    case ControlKind::kBevelButton:
      static_cast<QAbstractButton*>(widget_)->click();
      break;
    default:
      SetFocus();
      break;
  }
}

void Control::FollowWindowResize(double dx, double dy) {
  Rect r = Bounds();
  const bool left = bindings_ & kBindLeft, right = bindings_ & kBindRight;
  const bool top = bindings_ & kBindTop, bottom = bindings_ & kBindBottom;
  if (left && right)
    r.width += dx;
  else if (right)
    r.x += dx;
  if (top && bottom)
    r.height += dy;
  else if (bottom)
    r.y += dy;
  SetBounds(r);
}

}  // namespace toolbox
