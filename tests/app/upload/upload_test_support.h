#pragma once
// The uploads in-process: the queue, the engine's workers and the event handler on the
// application target, the main loop run by the test until an upload reaches a final state.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "app/upload/engine/upload_engine.h"
#include "app/upload/events/upload_event_handler.h"
#include "app/upload/interface/upload_interface.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/upload_hooks.h"
#include "platform/runtime/run_loop.h"

namespace uploadtest {

class UploadsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    upload::ClearUploadTables();
    upload::UploadHooksSlot::Reset();
    handler_ = upload::InstallUploadEventHandler(*runtime::EventTarget::Application());
  }
  void TearDown() override {
    // No worker may outlive the test that started it.
    for (const auto& item : upload::Uploads().activeUploads) upload::CancelUpload(item);
    RunUntil([] { return upload::RunningUploadTaskCount() == 0; }, std::chrono::seconds(20));
    RunFor(std::chrono::milliseconds(50));
    handler_->Remove();
    upload::ClearUploadTables();
    upload::UploadHooksSlot::Reset();
    upload::SetUploadTimeScale(1.0);
  }

  static bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      runtime::RunLoop::Main()->RunFor(std::chrono::milliseconds(20), true);
    }
    return true;
  }
  static void RunFor(std::chrono::milliseconds span) {
    const auto deadline = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < deadline)
      runtime::RunLoop::Main()->RunFor(std::chrono::milliseconds(10), true);
  }
  // Runs until the item is no longer waiting or uploading.
  static bool RunUntilFinal(const upload::UploadItemRef& item,
                            std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    return RunUntil(
        [&] {
          return item->stateValue != upload::kUploadUploading && item->stateValue != upload::kUploadWaiting &&
                 !item->controller;
        },
        limit);
  }

 private:
  runtime::HandlerRef handler_;
};

}  // namespace uploadtest
