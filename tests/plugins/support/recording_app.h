#pragma once
// Stand-ins for Truvane in the plug-in tests:
//   RecordingApp   answers on the event socket, as a running Truvane does, and keeps every
//                  hand-off event it receives;
//   FakeProgram    an executable that, when a plug-in starts it, keeps the event it was
//                  started with (its initial event), as Truvane would take it first.

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/appleevents/event_server.h"
#include "platform/appleevents/event_wire.h"
#include "platform/runtime/run_loop.h"
#include "tests/support/temp_home.h"

namespace plugintest {

// Waits, within `limit`, until `done` holds.
inline bool Eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class RecordingApp {
 public:
  // `folder` empty: the event folder of the test's own home.
  explicit RecordingApp(std::string folder = {}) : folder_(std::move(folder)) {
    auto handlers = std::make_shared<appleevents::HandlerTable>();
    for (const values::FourCharCode id : {values::FourCC("AUrl"), values::FourCC("STRa")}) {
      handlers->Install(values::FourCC("TrES"), id,
                        [this](const appleevents::AppleEvent& event, appleevents::AppleEvent&) {
                          std::lock_guard lock(mutex_);
                          events_.push_back(event);
                          return appleevents::kNoErr;
                        });
    }
    std::promise<appleevents::Status> started;
    auto result = started.get_future();
    thread_ = std::thread([this, handlers, &started] {
      loop_ = runtime::RunLoop::Current();
      std::unique_ptr<appleevents::EventServer> server;
      const auto status = appleevents::EventServer::Start(loop_, handlers, server, folder_);
      started.set_value(status);
      if (server) loop_->RunFor(std::chrono::seconds(60));
      server.reset();
    });
    status_ = result.get();
  }
  ~RecordingApp() {
    if (loop_) loop_->Stop();
    thread_.join();
  }
  bool ok() const { return status_ == appleevents::kNoErr; }
  std::vector<appleevents::AppleEvent> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // Waits (bounded) for `n` events.
  bool WaitForEvents(std::size_t n) {
    return Eventually([&] { return Events().size() >= n; });
  }

 private:
  std::string folder_;
  std::shared_ptr<runtime::RunLoop> loop_;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<appleevents::AppleEvent> events_;
  appleevents::Status status_ = appleevents::kNoErr;
};

class FakeProgram {
 public:
  // At `path` (its folders made).
  explicit FakeProgram(const std::string& path) : path_(path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    testsupport::WriteFile(
        path,
        "#!/bin/sh\ncp \"$TRUVANE_INITIAL_EVENT\" \"$0.event.tmp\" && mv \"$0.event.tmp\" \"$0.event\"\n");
    ::chmod(path.c_str(), 0755);
  }
  const std::string& path() const { return path_; }
  bool Started() const { return std::filesystem::exists(path_ + ".event"); }
  // The event it was started with, waited for (bounded).
  std::optional<appleevents::AppleEvent> InitialEvent() const {
    if (!Eventually([&] { return Started(); })) return std::nullopt;
    appleevents::WireEvent message;
    if (appleevents::DecodeEvent(testsupport::ReadFile(path_ + ".event"), message) != appleevents::kNoErr)
      return std::nullopt;
    return message.event;
  }

 private:
  std::string path_;
};

}  // namespace plugintest
