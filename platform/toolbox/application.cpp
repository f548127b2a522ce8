#include "platform/toolbox/application.h"

#include <QApplication>
#include <QEventLoop>
#include <cstdlib>
#include <vector>

namespace toolbox {

struct Application::Impl {
  int argc = 1;
  char arg0[16] = "truvane";
  char* argv[2] = {arg0, nullptr};
  std::unique_ptr<QApplication> app;
  std::vector<QEventLoop*> loops;  // innermost last; owned by RunEventLoop's frames
  int pending_quits = 0;
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

bool Application::Exists() { return g_application != nullptr; }

Application::Application() : impl_(std::make_unique<Impl>()) {
  ChoosePlatform();
  impl_->app = std::make_unique<QApplication>(impl_->argc, impl_->argv);
  QApplication::setQuitOnLastWindowClosed(false);
}

Application::~Application() = default;

bool Application::IsOffscreen() const { return QGuiApplication::platformName() == QLatin1String("offscreen"); }

void Application::RunEventLoop() {
  if (impl_->pending_quits > 0) {
    --impl_->pending_quits;
    return;
  }
  QEventLoop loop;
  impl_->loops.push_back(&loop);
  loop.exec();
  impl_->loops.pop_back();
}

void Application::QuitEventLoop() {
  if (impl_->loops.empty()) {
    ++impl_->pending_quits;
    return;
  }
  impl_->loops.back()->exit(0);
}

void Application::ProcessPendingEvents() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace toolbox
