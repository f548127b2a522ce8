#pragma once
// Adding and starting tests run against a recording main list and a fake engine, with the
// built-in folders in place and the message window recorded.

#include <memory>
#include <string>
#include <vector>

#include "app/engine/services/download_engine_services.h"
#include "app/queue/adding/add_download.h"
#include "app/queue/adding/start_download.h"
#include "tests/app/queue/queue_test_support.h"
#include "tests/fakes/fake_download_engine.h"
#include "tests/fakes/fake_main_list.h"

namespace queue::testing_support {

class DownloadTest : public QueueTest {
 public:
  void SetUp() override {
    QueueTest::SetUp();
    auto list = std::make_unique<FakeMainList>();
    mainList = list.get();
    ui::MainListServicesSlot::Set(std::move(list));
    auto engineFake = std::make_unique<FakeDownloadEngine>();
    engine = engineFake.get();
    engine::DownloadEngineServicesSlot::Set(std::move(engineFake));
    engine::GetHostCounts().Clear();
    gActiveDownloads.clear();
    AddMissingBuiltInFolders();
    QueueHooksSlot::Get().showMessage = [this](const std::string& text) { messages.push_back(text); };
  }
  void TearDown() override {
    ClearQueueTables();
    ClearFolderTable();
    ui::MainListServicesSlot::Set(nullptr);
    engine::DownloadEngineServicesSlot::Set(nullptr);
    engine::GetHostCounts().Clear();
    gActiveDownloads.clear();
    QueueTest::TearDown();
  }

  static values::Value Entry(const std::string& url) {
    return values::Value(values::Dictionary{{"url", url}});
  }

  static AddDownloadRequest Request(std::vector<std::string> urls) {
    AddDownloadRequest r;
    for (auto& u : urls) r.urlEntries.push_back(Entry(u));
    return r;
  }

  static DownloadUID Add(const std::string& url) { return AddDownload(Request({url})); }

  FakeMainList* mainList = nullptr;
  FakeDownloadEngine* engine = nullptr;
  std::vector<std::string> messages;
};

}  // namespace queue::testing_support
