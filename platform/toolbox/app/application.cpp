#include "platform/toolbox/app/application.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QWidget>
#include <atomic>
#include <cstdlib>
#include <vector>

#include "platform/runtime/event_queue.h"
#include "platform/runtime/run_loop.h"

namespace toolbox {

struct Application::Impl {
  int argc = 1;
  char arg0[16] = "truvane";
  char* argv[2] = {arg0, nullptr};
  std::unique_ptr<QApplication> app;
  std::shared_ptr<runtime::RunLoop> main_loop;
  std::unique_ptr<QSocketNotifier> loop_notifier;
  std::vector<QEventLoop*> loops;  // innermost last; each owned by its RunEventLoop frame
  int pending_quits = 0;           // quits asked for while no loop ran (main thread only)
  bool in_pass = false;

  void PerformPass() {
    // A nested event loop inside a run-loop callback would otherwise re-enter the pass.
    if (in_pass) return;
    in_pass = true;
    main_loop->PerformPass();
    in_pass = false;
  }
};

namespace {
Application* g_application = nullptr;

void ChoosePlatform() {
  if (std::getenv("QT_QPA_PLATFORM")) return;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!x11 || !*x11) && (!wayland || !*wayland)) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}
}  // namespace

Application& Application::Shared() {
  if (!g_application) g_application = new Application();  // lives until the process ends
  return *g_application;
}

bool Application::Exists() {
  return g_application != nullptr;
}

Application::Application() : impl_(std::make_unique<Impl>()) {
  ChoosePlatform();
  impl_->app = std::make_unique<QApplication>(impl_->argc, impl_->argv);
  QApplication::setQuitOnLastWindowClosed(false);

  // The main run loop's epoll descriptor is readable whenever a pass has work: Qt's
  // loop watches it and runs one pass each time.
  impl_->main_loop = runtime::RunLoop::Main();
  impl_->main_loop->Events();  // the main event queue, so posted events are dispatched by the passes
  impl_->loop_notifier =
      std::make_unique<QSocketNotifier>(impl_->main_loop->EpollDescriptor(), QSocketNotifier::Read);
  QObject::connect(impl_->loop_notifier.get(), &QSocketNotifier::activated,
                   [impl = impl_.get()] { impl->PerformPass(); });

  runtime::SetApplicationLoopDriver({[this] { RunEventLoop(); }, [this] { QuitEventLoop(); }});
}

Application::~Application() {
  runtime::SetApplicationLoopDriver({});
}

bool Application::IsOffscreen() const {
  return QGuiApplication::platformName() == QLatin1String("offscreen");
}

void Application::RunEventLoop() {
  if (impl_->pending_quits > 0) {
    --impl_->pending_quits;
    return;
  }
  QEventLoop loop;
  impl_->loops.push_back(&loop);
  impl_->PerformPass();  // work queued before the loop started
  loop.exec();
  impl_->loops.pop_back();
}

void Application::QuitEventLoop() {
  if (!impl_->main_loop->IsCurrent()) {
    // From a worker: the quit is handed to the main thread, which keeps it if no loop runs.
    QMetaObject::invokeMethod(
        impl_->app.get(), [this] { QuitEventLoop(); }, Qt::QueuedConnection);
    return;
  }
  if (impl_->loops.empty()) {
    ++impl_->pending_quits;
    return;
  }
  impl_->loops.back()->exit(0);
}

bool Application::IsRunningEventLoop() const {
  return !impl_->loops.empty();
}

bool Application::IsFrontmost() const {
  return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

void Application::RequestAttention() {
  if (IsFrontmost()) return;
  QWidget* any = QApplication::activeWindow();
  if (!any) {
    const auto tops = QApplication::topLevelWidgets();
    for (QWidget* w : tops)
      if (w->isVisible()) any = w;
  }
  if (any) QApplication::alert(any, 0);
}

void Application::ProcessPendingEvents() {
  impl_->PerformPass();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // released windows
  impl_->PerformPass();
}

}  // namespace toolbox
