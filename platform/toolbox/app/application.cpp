#include "platform/toolbox/app/application.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <set>
#include <utility>
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
  struct Frame {
    QEventLoop* loop;       // owned by its RunEventLoop or RunModalLoop frame
    ModalLoopID modal = 0;  // 0: an application loop
  };
  std::vector<Frame> loops;     // innermost last
  std::set<ModalLoopID> ended;  // modal runs ended before (or while) they ran
  ModalLoopID next_modal = 1;
  int pending_quits = 0;  // quits asked for while no loop ran (main thread only)
  // The number of loop frames when the running pass began; -1 when none runs.
  long pass_depth = -1;

  void PerformPass() {
    // Qt may call back from inside a pass (a dialog's own loop in a callback): that
    // must not re-enter it. A modal run started from a callback is another matter: it
    // is a nested run of the main loop, whose passes serve everything but the callback
    // itself (the run loop allows that).
    const long depth = static_cast<long>(loops.size());
    if (pass_depth == depth) return;
    const long outer = std::exchange(pass_depth, depth);
    main_loop->PerformPass();
    pass_depth = outer;
  }

  // A pass as soon as the loop being started runs. Not before exec(): a callback of
  // that pass could ask the loop to exit, and exec() forgets an exit asked before it.
  void PassOnceRunning() {
    QMetaObject::invokeMethod(
        app.get(), [this] { PerformPass(); }, Qt::QueuedConnection);
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
  impl_->loops.push_back({&loop});
  impl_->PassOnceRunning();  // work queued before the loop started
  loop.exec();
  impl_->loops.pop_back();
}

Application::ModalLoopID Application::NewModalLoop() {
  return impl_->next_modal++;
}

void Application::RunModalLoop(ModalLoopID id) {
  if (impl_->ended.erase(id)) return;
  QEventLoop loop;
  impl_->loops.push_back({&loop, id});
  impl_->PassOnceRunning();
  loop.exec();
  impl_->loops.pop_back();
  impl_->ended.erase(id);
}

void Application::EndModalLoop(ModalLoopID id) {
  auto it = std::find_if(impl_->loops.begin(), impl_->loops.end(),
                         [id](const Impl::Frame& f) { return f.modal == id; });
  // An outer run ended while an inner one runs returns once the inner one has (Qt's
  // nested loops unwind in order).
  if (it != impl_->loops.end()) it->loop->exit(0);
  impl_->ended.insert(id);
}

bool Application::IsInModalLoop() const {
  return std::any_of(impl_->loops.begin(), impl_->loops.end(),
                     [](const Impl::Frame& f) { return f.modal != 0; });
}

void Application::QuitEventLoop() {
  if (!impl_->main_loop->IsCurrent()) {
    // From a worker: the quit is handed to the main thread, which keeps it if no loop runs.
    QMetaObject::invokeMethod(
        impl_->app.get(), [this] { QuitEventLoop(); }, Qt::QueuedConnection);
    return;
  }
  for (auto it = impl_->loops.rbegin(); it != impl_->loops.rend(); ++it) {
    if (it->modal == 0) {
      it->loop->exit(0);
      return;
    }
  }
  ++impl_->pending_quits;
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
