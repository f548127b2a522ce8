// The presenter the application uses: Qt's message box, menus and file dialogs.
#include <QAbstractButton>
#include <QAction>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

#include "platform/toolbox/app/application.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/menus/qt_menu.h"
#include "platform/toolbox/services/modifiers.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {
namespace {

class QtPresenter : public Presenter {
 public:
  int RunAlert(const AlertRequest& request) override {
    QMessageBox box(request.parent ? request.parent->widget() : nullptr);
    box.setIcon(request.style == AlertStyle::kCritical        ? QMessageBox::Critical
                : request.style == AlertStyle::kInformational ? QMessageBox::Information
                                                              : QMessageBox::Warning);
    box.setText(ToQString(request.message));
    if (!request.informative.empty()) box.setInformativeText(ToQString(request.informative));
    std::vector<AlertButton> buttons = request.buttons;
    if (buttons.empty()) buttons.push_back({"OK", true, false});
    std::vector<QPushButton*> made;
    for (const AlertButton& b : buttons) {
      QPushButton* q =
          box.addButton(ToQString(b.text), b.is_cancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
      if (b.is_default) box.setDefaultButton(q);
      if (b.is_cancel) box.setEscapeButton(q);
      made.push_back(q);
    }
    // Without a default button Return must not answer: no button is auto-default.
    if (std::none_of(buttons.begin(), buttons.end(), [](const AlertButton& b) { return b.is_default; }))
      for (QPushButton* q : made) q->setAutoDefault(false);
    QWidget* parent = request.parent ? request.parent->widget() : nullptr;
    if (parent) {
      // A sheet of its window: only that window waits; the others and the run loop go on.
      box.setWindowModality(Qt::WindowModal);
      Application& app = Application::Shared();
      const Application::ModalLoopID run = app.NewModalLoop();
      QObject::connect(&box, &QDialog::finished, [&app, run] { app.EndModalLoop(run); });
      box.open();
      app.RunModalLoop(run);
    } else {
      box.exec();
    }
    for (std::size_t i = 0; i < made.size(); ++i)
      if (box.clickedButton() == made[i]) return static_cast<int>(i);
    for (std::size_t i = 0; i < buttons.size(); ++i)
      if (buttons[i].is_cancel) return static_cast<int>(i);
    return 0;
  }

  MenuSelection ShowMenu(const MenuRequest& request) override {
    if (!request.menu) return {};
    QMenu qmenu;
    MenuSelection selection;
    FillQMenu(qmenu, request.menu, GetCurrentKeyModifiers(), [&selection](const MenuRef& menu, int index) {
      selection = MenuSelection{menu, index, menu->Item(index)->command};
    });
    QPoint where = QPoint(int(request.where.x), int(request.where.y));
    if (request.window && request.window->widget()) where = request.window->widget()->mapToGlobal(where);
    // A pop-up opens with its current item under the mouse: the visible items count.
    QAction* at = nullptr;
    if (request.placement == MenuPlacement::kPopUp) {
      const std::vector<int> shown = VisibleItemIndexes(*request.menu, GetCurrentKeyModifiers());
      const auto actions = qmenu.actions();
      for (std::size_t i = 0; i < shown.size() && i < std::size_t(actions.size()); ++i)
        if (shown[i] == request.current_item) at = actions[qsizetype(i)];
    }
    qmenu.exec(where, at);
    return selection;
  }

  std::optional<std::string> ChooseFolder(const FileDialogRequest& request) override {
    const QString path =
        QFileDialog::getExistingDirectory(request.parent ? request.parent->widget() : nullptr,
                                          ToQString(request.title), ToQString(request.directory));
    if (path.isEmpty()) return std::nullopt;
    return FromQString(path);
  }

  std::optional<std::string> PutFile(const FileDialogRequest& request) override {
    QString start = ToQString(request.directory);
    if (!request.file_name.empty())
      start = start.isEmpty() ? ToQString(request.file_name) : start + "/" + ToQString(request.file_name);
    const QString path = QFileDialog::getSaveFileName(request.parent ? request.parent->widget() : nullptr,
                                                      ToQString(request.title), start);
    if (path.isEmpty()) return std::nullopt;
    return FromQString(path);
  }
};

std::unique_ptr<Presenter>& Slot() {
  static std::unique_ptr<Presenter> presenter;
  return presenter;
}

}  // namespace

std::unique_ptr<Presenter> MakeQtPresenter() {
  return std::make_unique<QtPresenter>();
}

Presenter& GetPresenter() {
  if (!Slot()) Slot() = MakeQtPresenter();
  return *Slot();
}

std::unique_ptr<Presenter> SetPresenter(std::unique_ptr<Presenter> presenter) {
  if (!presenter) presenter = MakeQtPresenter();
  return std::exchange(Slot(), std::move(presenter));
}

}  // namespace toolbox
