#include "platform/toolbox/services/desktop_services.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QToolTip>
#include <QWidget>

#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {

void SetClipboardText(const std::string& text) {
  QGuiApplication::clipboard()->setText(ToQString(text));
}

std::optional<std::string> GetClipboardText() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasText()) return std::nullopt;
  return FromQString(data->text());
}

void ShowToolTip(Window& window, const Rect& area, const std::string& text) {
  QWidget* w = window.widget();
  if (!w) return;
  if (text.empty()) return QToolTip::hideText();
  const QRect r = ToQRect(area).toRect();
  QToolTip::showText(w->mapToGlobal(r.bottomLeft()), ToQString(text), w, r);
}

std::shared_ptr<runtime::Timer> InstallMainTimer(runtime::Nanoseconds delay, runtime::Nanoseconds interval,
                                                 std::function<void(runtime::Timer&)> callback) {
  auto timer = runtime::Timer::Create(delay, interval, std::move(callback));
  runtime::RunLoop::Main()->AddTimer(timer);
  return timer;
}

}  // namespace toolbox
