#include "app/shell/user_messages.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "app/engine/log/transfer_log.h"
#include "app/queue/record/queue_hooks.h"
#include "app/shell/message_window.h"
#include "app/ui/services/main_list_services.h"
#include "platform/toolbox/app/application.h"

namespace shell {

namespace {

MessageCapture*& InnermostCapture() {
  static MessageCapture* capture = nullptr;
  return capture;
}

// No main window is built yet: the list keeps its headless behaviour, but its log lines
// reach the global log (dated, secrets hidden, written to the file) instead of standard
// error. Before start-up has made the global log (the queue file is loaded first), a line
// goes to standard error, its secrets hidden all the same.
class GlobalLogMainList : public ui::HeadlessMainListServices {
 public:
  void LogMessageToGlobalLog(bool isError, const std::string& text) override {
    if (engine::CurrentGlobalLog() != nullptr) {
      engine::LogMessageToGlobalLog(isError, "%@", {text});
      return;
    }
    const std::string shown = engine::RedactSecretsForLog(text);
    std::fprintf(stderr, "%s%s\n", isError ? "Error: " : "", shown.c_str());
  }
};

}  // namespace

MessageCapture::MessageCapture() : outer_(InnermostCapture()) {
  InnermostCapture() = this;
}

MessageCapture::~MessageCapture() {
  InnermostCapture() = outer_;
}

std::vector<std::string> MessageCapture::Take() {
  return std::exchange(messages_, {});
}

void ShowUserMessage(const std::string& text) {
  if (MessageCapture* capture = InnermostCapture()) capture->messages_.push_back(text);
  if (!toolbox::Application::Shared().IsOffscreen()) ShowMessageWindow(nullptr, "%@", {text});
}

void InstallUserMessages() {
  queue::QueueHooksSlot::Get().showMessage = ShowUserMessage;
  ui::MainListServicesSlot::Set(std::make_unique<GlobalLogMainList>());
}

}  // namespace shell
