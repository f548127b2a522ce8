#include "platform/toolbox/app/app_icon.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include "platform/toolbox/app/application.h"
#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/qt_convert.h"

namespace toolbox {
namespace {

Image& TheIcon() {
  static Image icon;
  return icon;
}

}  // namespace

void SetApplicationIcon(const Image& icon, const std::string& desktop_file) {
  Application::Shared();
  TheIcon() = icon;
  if (!icon.IsNull()) QApplication::setWindowIcon(QIcon(QPixmap::fromImage(ToQImage(icon))));
  QGuiApplication::setDesktopFileName(ToQString(desktop_file));
}

Image ApplicationIcon() {
  return TheIcon();
}

}  // namespace toolbox
