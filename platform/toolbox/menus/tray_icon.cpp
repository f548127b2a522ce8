#include "platform/toolbox/menus/tray_icon.h"

#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <memory>

#include "platform/toolbox/app/application.h"
#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/menus/qt_menu.h"

namespace toolbox {
namespace {

struct Tray {
  std::unique_ptr<QSystemTrayIcon> icon;
  std::unique_ptr<QMenu> menu;
  MenuRef shown;  // the data behind the open menu, kept while it is open
  std::function<void()> click;
  Image picture;
};

Tray& TheTray() {
  static Tray tray;
  return tray;
}

}  // namespace

bool IsTrayAvailable() {
  return !Application::Shared().IsOffscreen() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool ShowTrayIcon(const Image& icon, const std::string& tool_tip, std::function<MenuRef()> build_menu) {
  if (!IsTrayAvailable()) return false;
  Tray& t = TheTray();
  if (!t.icon) {
    t.icon = std::make_unique<QSystemTrayIcon>();
    t.menu = std::make_unique<QMenu>();
    t.icon->setContextMenu(t.menu.get());
    QObject::connect(t.icon.get(), &QSystemTrayIcon::activated, [](QSystemTrayIcon::ActivationReason why) {
      if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) ClickTrayIcon();
    });
  }
  QObject::disconnect(t.menu.get(), &QMenu::aboutToShow, nullptr, nullptr);
  QObject::connect(t.menu.get(), &QMenu::aboutToShow, [build = std::move(build_menu)] {
    Tray& tray = TheTray();
    tray.shown = build ? build() : nullptr;
    if (!tray.shown) {
      tray.menu->clear();
      return;
    }
    UpdateMenuCommandStatus(*tray.shown, nullptr);
    FillQMenu(*tray.menu, tray.shown, 0,
              [](const MenuRef& menu, int item) { SelectMenuItem(*menu, item, nullptr); });
  });
  t.picture = icon;
  t.icon->setIcon(QIcon(QPixmap::fromImage(ToQImage(icon))));
  t.icon->setToolTip(ToQString(tool_tip));
  t.icon->show();
  return true;
}

void HideTrayIcon() {
  Tray& t = TheTray();
  if (t.icon) t.icon->hide();
  t.icon.reset();
  t.menu.reset();
  t.shown.reset();
}

void SetTrayIconImage(const Image& icon) {
  Tray& t = TheTray();
  t.picture = icon;
  if (t.icon && !icon.IsNull()) t.icon->setIcon(QIcon(QPixmap::fromImage(ToQImage(icon))));
}

Image TrayIconImage() {
  return TheTray().picture;
}

bool IsTrayIconShown() {
  return TheTray().icon && TheTray().icon->isVisible();
}

void SetTrayIconClickAction(std::function<void()> action) {
  TheTray().click = std::move(action);
}

void ClickTrayIcon() {
  // A copy: the action may replace itself.
  if (std::function<void()> click = TheTray().click) click();
}

}  // namespace toolbox
