#include "platform/toolbox/menus/qt_menu.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QPixmap>

#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/services/modifiers.h"

namespace toolbox {
namespace {

QString ItemText(const MenuItem& item) {
  QString text = ToQString(item.text);
  // Qt reads '&' as a mnemonic marker; the windows' texts mean a plain ampersand.
  text.replace('&', "&&");
  if (item.mark != 0 && item.mark != kCheckMark) text = QString::fromUcs4(&item.mark, 1) + " " + text;
  return text;
}

QKeySequence Shortcut(const MenuItem& item) {
  if (item.key_equivalent.empty()) return {};
  int key = Qt::CTRL;
  if (item.modifiers & kModifierShift) key |= Qt::SHIFT;
  if (item.modifiers & kModifierOption) key |= Qt::ALT;
  if (item.modifiers & kModifierControl) key |= Qt::META;
  const QString k = ToQString(item.key_equivalent).toUpper();
  return QKeySequence(key | QKeySequence(k)[0].key());
}

}  // namespace

void FillQMenu(QMenu& qmenu, const MenuRef& menu, unsigned modifiers,
               const std::function<void(const MenuRef&, int)>& chosen) {
  qmenu.clear();
  qmenu.setEnabled(menu->enabled());
  for (int index : VisibleItemIndexes(*menu, modifiers)) {
    const MenuItem& item = *menu->Item(index);
    if (item.separator) {
      qmenu.addSeparator();
      continue;
    }
    if (item.submenu) {
      QMenu* sub = qmenu.addMenu(ItemText(item));
      FillQMenu(*sub, item.submenu, modifiers, chosen);
      sub->setEnabled(menu->IsItemEnabled(index));
      continue;
    }
    QAction* action = qmenu.addAction(ItemText(item));
    action->setEnabled(menu->IsItemEnabled(index));
    if (item.mark == kCheckMark) {
      action->setCheckable(true);
      action->setChecked(true);
    }
    if (!item.icon.IsNull()) action->setIcon(QIcon(QPixmap::fromImage(ToQImage(item.icon))));
    if (const QKeySequence s = Shortcut(item); !s.isEmpty()) action->setShortcut(s);
    QObject::connect(action, &QAction::triggered, [chosen, menu, index] { chosen(menu, index); });
  }
}

Image RenderMenu(const MenuRef& menu, unsigned modifiers) {
  if (!menu) return Image();
  QMenu qmenu;
  FillQMenu(qmenu, menu, modifiers, [](const MenuRef&, int) {});
  qmenu.adjustSize();
  qmenu.ensurePolished();
  return FromQImage(qmenu.grab().toImage());
}

}  // namespace toolbox
