#pragma once
// A download engine for tests: it records every task context it is given and, when told,
// plays a task that writes the file's bytes and reports with the 'TRDc' events a real task
// posts (started, file info, progress, finished "done"). The events are kept in `events`
// and, when `postTo` is set, posted to that queue too.

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/engine/services/download_engine_services.h"
#include "platform/runtime/event.h"
#include "platform/runtime/event_queue.h"
#include "platform/values/fourcc.h"

class FakeDownloadController : public engine::DownloadTaskController {
 public:
  std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> credentials;
  void SupplyCredentials(const std::optional<std::string>& user,
                         const std::optional<std::string>& password) override {
    credentials.emplace_back(user, password);
  }
  // Certificate answers in order: "trust", "always" or "refuse".
  std::vector<std::string> certificateAnswers;
  void ContinueAfterCertificate(bool alwaysTrust) override {
    certificateAnswers.push_back(alwaysTrust ? "always" : "trust");
  }
  void RefuseCertificate() override { certificateAnswers.push_back("refuse"); }
};

class FakeDownloadEngine : public engine::DownloadEngineServices {
 public:
  struct Task {
    std::unique_ptr<engine::DownloadThreadState> state;
    std::shared_ptr<FakeDownloadController> controller;
  };

  std::vector<Task> tasks;
  std::vector<runtime::EventRef> events;
  std::shared_ptr<runtime::EventQueue> postTo;
  bool refuse = false;  // play an engine that cannot make tasks

  std::shared_ptr<engine::DownloadTaskController> StartDownloadTask(
      std::unique_ptr<engine::DownloadThreadState> state) override {
    if (refuse) return nullptr;
    auto controller = std::make_shared<FakeDownloadController>();
    tasks.push_back({std::move(state), controller});
    return controller;
  }

  // Plays task `index` to its end: the bytes go into the data file, the ranges file records
  // them, and the events of a successful download are posted.
  void Complete(std::size_t index, const std::string& bytes) {
    engine::DownloadThreadState& s = *tasks.at(index).state;
    std::ofstream(s.dataFile, std::ios::binary) << bytes;
    std::ofstream(s.rangesFile) << "0," << bytes.size() << "\n";
    Post(Make(s.uid, 2));
    auto info = Make(s.uid, 4);
    info->SetInt64(values::FourCC("Size"), static_cast<std::int64_t>(bytes.size()));
    Post(info);
    auto progress = Make(s.uid, 0);
    progress->SetFloat(values::FourCC("C___"), 1000.0f);
    progress->SetInt64(values::FourCC("Tot_"), static_cast<std::int64_t>(bytes.size()));
    progress->SetDouble(values::FourCC("Time"), 0.5);
    progress->SetInt32(values::FourCC("Port"), s.wantedConnections);
    Post(progress);
    auto done = Make(s.uid, 1);
    done->SetDouble(values::FourCC("Time"), 0.5);
    done->SetInt32(values::FourCC("Reas"), 8);
    done->SetBool(values::FourCC("Veri"), false);
    done->SetFileRef(values::FourCC("File"), s.dataFile);
    Post(done);
  }

 private:
  static runtime::EventRef Make(std::uint32_t uid, std::uint32_t kind) {
    auto event = runtime::Event::Create(values::FourCC("TRDc"), kind);
    event->SetUInt32(values::FourCC("UID_"), uid);
    return event;
  }
  void Post(runtime::EventRef event) {
    events.push_back(event);
    if (postTo) postTo->Post(event);
  }
};
