#include "platform/toolbox/windows/release_all_windows.h"

#include <QCoreApplication>
#include <QEvent>

#include "platform/toolbox/windows/window.h"

namespace toolbox {

void ReleaseAllWindows() {
  // A window's dispose handler may release others (its sheets, a window it owns): the
  // list is read again after each.
  for (auto windows = Window::AllWindows(); !windows.empty(); windows = Window::AllWindows())
    windows.back()->Release();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace toolbox
