#include "platform/toolbox/controls/text_edit_commands.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <map>

#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {
namespace {

struct ContextMenu {
  std::function<MenuRef()> build;
  Point offset;
};

// By the field's target: the menu makers of the fields that have one.
std::map<const runtime::EventTarget*, ContextMenu>& ContextMenus() {
  static std::map<const runtime::EventTarget*, ContextMenu> menus;
  return menus;
}

bool HasSelection(QWidget* w) {
  if (auto* line = qobject_cast<QLineEdit*>(w)) return line->hasSelectedText();
  if (auto* text = qobject_cast<QPlainTextEdit*>(w)) return text->textCursor().hasSelection();
  return false;
}

bool IsReadOnly(QWidget* w) {
  if (auto* line = qobject_cast<QLineEdit*>(w)) return line->isReadOnly();
  if (auto* text = qobject_cast<QPlainTextEdit*>(w)) return text->isReadOnly();
  return true;
}

bool Perform(QWidget* w, FourCharCode command) {
  auto* line = qobject_cast<QLineEdit*>(w);
  auto* text = qobject_cast<QPlainTextEdit*>(w);
  if (!line && !text) return false;
  switch (command) {
    case kCommandCut:
      line ? line->cut() : text->cut();
      return true;
    case kCommandCopy:
      line ? line->copy() : text->copy();
      return true;
    case kCommandPaste:
      line ? line->paste() : text->paste();
      return true;
    case kCommandClear:
      if (line)
        line->del();
      else
        text->textCursor().removeSelectedText();
      return true;
    case kCommandSelectAll:
      line ? line->selectAll() : text->selectAll();
      return true;
    default:
      return false;
  }
}

bool IsTextField(const Control& c) {
  return qobject_cast<QLineEdit*>(c.widget()) || qobject_cast<QPlainTextEdit*>(c.widget());
}

}  // namespace

void InstallTextEditCommands(Control& field) {
  if (!IsTextField(field)) return;
  QWidget* widget = field.widget();
  field.target()->InstallHandler(
      {{kEventClassCommand, kEventCommandProcess}, {kEventClassCommand, kEventCommandUpdateStatus}},
      [widget](runtime::HandlerCall&, runtime::Event& event) {
        const FourCharCode command = GetCommand(event).id;
        if (event.kind() == kEventCommandProcess)
          return Perform(widget, command) ? runtime::kNoErr : runtime::kEventNotHandledErr;
        const bool editable = !IsReadOnly(widget);
        switch (command) {
          case kCommandCut:
          case kCommandClear:
            SetCommandEnabled(event, editable && HasSelection(widget));
            return runtime::kNoErr;
          case kCommandCopy:
            SetCommandEnabled(event, HasSelection(widget));
            return runtime::kNoErr;
          case kCommandPaste:
            SetCommandEnabled(event, editable && !QGuiApplication::clipboard()->text().isEmpty());
            return runtime::kNoErr;
          case kCommandSelectAll:
            SetCommandEnabled(event, true);
            return runtime::kNoErr;
          default:
            return runtime::kEventNotHandledErr;
        }
      });
}

MenuSelection ShowTextContextMenu(Control& field, Point where) {
  auto it = ContextMenus().find(field.target().get());
  if (it == ContextMenus().end() || !it->second.build) return {};
  MenuRef menu = it->second.build();
  if (!menu || menu->CountItems() == 0) return {};
  // The items' state is the field's: ask its chain, not the focus's.
  for (int i = 1; i <= menu->CountItems(); ++i) {
    MenuItem& item = *menu->Item(i);
    if (item.command == 0 || item.separator) continue;
    auto ask = MakeCommandEvent(kEventCommandUpdateStatus, Command{item.command, menu->id(), i});
    if (field.target()->Send(*ask) == runtime::kNoErr)
      if (auto enabled = ask->Get<bool>(kParamCommandEnabled)) item.enabled = *enabled;
  }
  MenuRequest request{menu, MenuPlacement::kContextual, &field.window(),
                      Point{where.x + it->second.offset.x, where.y + it->second.offset.y}, 0};
  MenuSelection chosen = GetPresenter().ShowMenu(request);
  if (chosen.chosen() && chosen.menu && chosen.menu->IsItemEnabled(chosen.item) && chosen.command != 0) {
    auto event =
        MakeCommandEvent(kEventCommandProcess, Command{chosen.command, chosen.menu->id(), chosen.item});
    field.target()->Send(*event);
  }
  return chosen;
}

void SetTextContextMenu(Control& field, std::function<MenuRef()> build, Point offset) {
  if (!IsTextField(field)) return;
  const bool first = !ContextMenus().count(field.target().get());
  ContextMenus()[field.target().get()] = ContextMenu{std::move(build), offset};
  if (!first) return;
  QWidget* widget = field.widget();
  widget->setContextMenuPolicy(Qt::CustomContextMenu);
  Control* control = &field;
  const runtime::EventTarget* key = field.target().get();
  QObject::connect(widget, &QWidget::customContextMenuRequested, widget,
                   [control, widget](const QPoint& pos) {
                     const QPoint inWindow = widget->mapTo(widget->window(), pos);
                     ShowTextContextMenu(*control, Point{double(inWindow.x()), double(inWindow.y())});
                   });
  QObject::connect(widget, &QObject::destroyed, [key] { ContextMenus().erase(key); });
}

}  // namespace toolbox
