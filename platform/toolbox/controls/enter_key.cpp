#include "platform/toolbox/controls/enter_key.h"

#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QWidget>

#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {
namespace {

class EnterPressesDefault : public QObject {
 public:
  EnterPressesDefault(QObject* parent, Window& window) : QObject(parent), window_(window.weak_from_this()) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(e)->key() != Qt::Key_Enter) {
      return QObject::eventFilter(watched, e);
    }
    std::shared_ptr<Window> window = window_.lock();
    if (!window || window->IsReleased()) return QObject::eventFilter(watched, e);
    Control* button = window->DefaultButton();
    // A disabled button swallows the key: a new line is never what Enter means here.
    if (button && button->IsEnabled() && button->IsVisible()) button->Click();
    return true;
  }

 private:
  std::weak_ptr<Window> window_;
};

}  // namespace

void PressDefaultButtonOnEnter(Control& field) {
  QWidget* widget = field.FocusWidget();
  if (!widget) return;
  widget->installEventFilter(new EnterPressesDefault(widget, field.window()));
}

}  // namespace toolbox
