#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/queue/events/post_download_actions.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/util/settings/settings_store.h"
#include "tests/app/queue/download_test_support.h"
#include "tests/fakes/fake_system_actions.h"
#include "tests/fakes/fake_workspace.h"

namespace queue {
namespace {

using testing_support::DownloadTest;

class PostDownloadActionsTest : public DownloadTest {
 public:
  void SetUp() override {
    DownloadTest::SetUp();
    scripts = testsupport::MakeTempDir();
    SetScriptsFolder(scripts);
    SetScriptLauncher([this](const std::vector<std::string>& argv) {
      launched.push_back(argv.at(0));
      return true;
    });
    SetQuitApplicationHandler([this] { ++quits; });
    gQueueRunning = false;
    gQueueReady = true;
  }
  void TearDown() override {
    SetScriptsFolder(std::nullopt);
    SetScriptLauncher(nullptr);
    SetQuitApplicationHandler(nullptr);
    DownloadTest::TearDown();
  }

  std::string scripts;
  std::vector<std::string> launched;
  int quits = 0;
  fakes::ScopedFakeSystemActions system;
};

TEST_F(PostDownloadActionsTest, ScriptsRunFromTheScriptsFolderWithinTheSizeLimit) {
  EXPECT_EQ(RunDisconnectModemScript(), 0) << "a missing script runs nothing and is no error";
  EXPECT_TRUE(launched.empty());

  testsupport::WriteFile(scripts + "/Disconnect Modem", "#!/bin/sh\n");
  EXPECT_EQ(RunDisconnectModemScript(), 0);
  EXPECT_EQ(launched, std::vector<std::string>{scripts + "/Disconnect Modem"});

  testsupport::WriteFile(scripts + "/big", std::string(kMaxScriptSize, '#'));
  EXPECT_EQ(RunScriptResource("big"), -108);
  testsupport::WriteFile(scripts + "/small", std::string(kMaxScriptSize - 1, '#'));
  EXPECT_EQ(RunScriptResource("small"), 0);

  // A name from the queue file never leaves the folder.
  testsupport::WriteFile(scripts + "/../outside", "#!/bin/sh\n");
  launched.clear();
  EXPECT_EQ(RunScriptResource("../outside"), 0);
  EXPECT_TRUE(launched.empty());
}

TEST_F(PostDownloadActionsTest, CompletionActionsByType) {
  using desktop::SystemAction;
  testsupport::WriteFile(scripts + "/after", "#!/bin/sh\n");
  for (std::int32_t type : {-1, 0, 8, 99}) PerformCompletionAction("after", type);
  EXPECT_TRUE(launched.empty());
  EXPECT_TRUE(system->performed.empty());

  PerformCompletionAction(std::nullopt, kCompletionStartQueue);
  EXPECT_TRUE(gQueueRunning);
  PerformCompletionAction(std::nullopt, kCompletionQuit);
  EXPECT_EQ(quits, 1);
  PerformCompletionAction("after", kCompletionRunScript);
  PerformCompletionAction(std::nullopt, kCompletionRunScript);
  EXPECT_EQ(launched.size(), 1u);
  for (auto type : {kCompletionShutDown, kCompletionSleep, kCompletionLogOut})
    PerformCompletionAction({}, type);
  EXPECT_EQ(system->performed, (std::vector<SystemAction>{SystemAction::kShutDown, SystemAction::kSleep,
                                                          SystemAction::kLogOut}));
}

TEST_F(PostDownloadActionsTest, StopQueueActionStopsRunningDownloadsOnlyWhenTheyStopWithTheQueue) {
  WrapperRef running = LookUpDownloadWrapper(Add("http://a.example/run"));
  ASSERT_EQ(StartDownload(running), 0);
  auto stop = running->element().stopSource;
  for (bool stopWithQueue : {false, true}) {
    util::ChangeSettings([stopWithQueue](util::Settings& s) { s.downloadsStopWithQueue = stopWithQueue; });
    gQueueRunning = true;
    PerformCompletionAction(std::nullopt, kCompletionStopQueue);
    EXPECT_FALSE(gQueueRunning);
    EXPECT_EQ(stop->IsSignalled(), stopWithQueue);
  }
}

TEST_F(PostDownloadActionsTest, PostProcessingOpensFilesOfTheListedTypes) {
  fakes::ScopedFakeWorkspace workspace;
  util::ChangeSettings([](util::Settings& s) {
    s.postProcess = true;
    s.postProcessTypes = ".zip;.tar.gz";
  });
  ApplyFileTypeAndPostProcess(files::FileRef("/d/a.zip"), true, "a.zip", "");
  ApplyFileTypeAndPostProcess(files::FileRef("/d/b.tar.gz"), true, "b.tar.gz", "");
  ApplyFileTypeAndPostProcess(files::FileRef("/d/c.zip"), false, "c.zip", "");
  ApplyFileTypeAndPostProcess(files::FileRef("/d/d.zipx"), true, "d.zipx", "");
  EXPECT_EQ(workspace->opened, (std::vector<std::string>{"/d/a.zip", "/d/b.tar.gz"}));
  // Without a display nothing is started to open it.
  workspace->display = false;
  ApplyFileTypeAndPostProcess(files::FileRef("/d/f.zip"), true, "f.zip", "");
  EXPECT_EQ(workspace->opened.size(), 2u);
  workspace->display = true;
  util::ChangeSettings([](util::Settings& s) { s.postProcess = false; });
  ApplyFileTypeAndPostProcess(files::FileRef("/d/e.zip"), true, "e.zip", "");
  EXPECT_EQ(workspace->opened.size(), 2u);
  util::ChangeSettings([](util::Settings& s) { s = util::Settings{}; });
}

TEST_F(PostDownloadActionsTest, FinderOpenItemsNeedsItems) {
  fakes::ScopedFakeWorkspace workspace;
  EXPECT_EQ(FinderOpenItems({}), -50);
  EXPECT_EQ(FinderOpenItems({files::FileRef("/a"), files::FileRef("/b")}), 0);
  EXPECT_EQ(workspace->opened.size(), 2u);
}

}  // namespace
}  // namespace queue
