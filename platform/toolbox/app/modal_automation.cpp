#include "platform/toolbox/app/modal_automation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include "platform/toolbox/drawing/qt_convert.h"

namespace toolbox {

void PressButtonInNextModal(const std::string& button_text, int attempts) {
  if (attempts <= 0) return;
  QTimer::singleShot(0, [button_text, attempts] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return PressButtonInNextModal(button_text, attempts - 1);
    const QString wanted = ToQString(button_text);
    for (QAbstractButton* b : modal->findChildren<QAbstractButton*>()) {
      if (b->text() == wanted) {
        b->click();
        return;
      }
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
  });
}

}  // namespace toolbox
