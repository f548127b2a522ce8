#include "app/shell/user_messages.h"

#include "app/ui/inspector/download_inspector.h"

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

// The list's services before (and, headless, without) a main window: log lines reach the
// global log (dated, secrets hidden, written to the file) instead of standard error.
// Before start-up has made the global log (the queue file is loaded first), a line goes to
// standard error, its secrets hidden all the same. With a window, the window's services
// wrap this one and answer the rest.
class GlobalLogMainList : public ui::MainListServices {
 public:
  void LogMessageToGlobalLog(bool isError, const std::string& text) override {
    if (engine::CurrentGlobalLog() != nullptr) {
      engine::LogMessageToGlobalLog(isError, "%@", {text});
      return;
    }
    const std::string shown = engine::RedactSecretsForLog(text);
    std::fprintf(stderr, "%s%s\n", isError ? "Error: " : "", shown.c_str());
  }

  // No list, no folder rows, no bars: there is nothing to show these on.
  void AddElementToDownloadsView(const ui::DownloadRef&) override {}
  bool IsLibraryViewShown() override { return false; }
  void AddNewDownloadRow(const ui::DownloadRef&, bool) override {}
  void RevealDownloadRow(std::uint32_t) override {}
  void RequestShowDownload(std::uint32_t) override {}
  void UpdateDownloadRow(std::uint32_t) override {}
  void AdjustStatusTotals(const ui::DownloadRef&, std::int64_t, std::int64_t) override {}
  void RefreshStatusBar() override {}
  void RefreshTransferLogView(std::uint32_t) override {}
  void MiniWindowShowDownload(const ui::DownloadRef&) override {}
  void MiniWindowShowDownloadIfNone(const ui::DownloadRef&) override {}
  void PostActiveDownloadsChange() override {}
  void RelabelFolderRow(std::uint32_t, const std::string&) override {}
  void SetFolderRowShared(std::uint32_t, bool) override {}
  void RemoveFolderRow(std::uint32_t) override {}
  void RefreshFolderRowIcons(const std::vector<std::uint32_t>&) override {}
  void AddFolderRow(std::uint32_t, const std::string&) override {}
  void SortFolderRows() override {}
  void SelectFolderRow(std::uint32_t) override {}
  std::vector<ui::DownloadRef> CopySelectedDownloads() override { return {}; }
  int CurrentFilterScope() override { return 1; }
  std::string CurrentSearchText() override { return {}; }
  void RemoveDownloadRows(const std::vector<std::uint32_t>&) override {}
  void UpdateDownloadColumn(std::uint32_t, const std::vector<std::uint32_t>&) override {}
  void RefillMainList() override {}
  void RequestRedisplayCurrentFolder() override {}
  void ShowQueueSwitch(bool, bool) override {}
  void RefreshCommandState() override {}
  void CloseDownloadInspector(const ui::DownloadRef& d) override {
    if (d) ui::CloseDownloadInspector(d->element().uid);
  }
  void NotifyMiniWindowDownloadRemoved(const ui::DownloadRef&) override {}
  void MarkDockTileChanged() override {}
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
  if (!toolbox::Application::Shared().IsOffscreen()) ShowGatheredMessage(text);
}

void InstallUserMessages() {
  queue::QueueHooksSlot::Get().showMessage = ShowUserMessage;
  ui::MainListServicesSlot::Set(std::make_unique<GlobalLogMainList>());
}

}  // namespace shell
