// Start-up and quit: the limits, the first view, the order of the steps against the order
// of their effects, and the real program started headless and told to quit.
#include <gtest/gtest.h>

#include "app/browser/remote_browser.h"
#include "app/browser/services/ftp_upload_hooks.h"
#include "app/queue/adding/remote_files.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/browser/auth_items.h"
#include "app/browser/services/stored_password_service.h"
#include "app/browser/stored_password_cipher.h"
#include "app/engine/log/transfer_log.h"
#include "app/engine/services/transfer_log_records.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "app/sharing/services/host_key_question_service.h"
#include "app/shell/shell_hooks.h"
#include "app/shell/startup.h"
#include "app/ui/services/main_list_browser.h"
#include "app/util/settings/settings_store.h"
#include "platform/appleevents/event_folder.h"
#include "platform/files/standard_folders.h"
#include "platform/values/localize.h"
#include "platform/values/plist.h"
#include "tests/support/temp_home.h"

namespace {

namespace fs = std::filesystem;

std::string LogFilePath() {
  return files::StandardFolderRef(files::StandardFolder::kLogs).Path() + "/" + engine::kGlobalLogFileName;
}
std::string QueueFilePath() {
  return queue::QueueFileRef()->Path();
}
std::string ReadIfExists(const std::string& path) {
  return fs::exists(path) ? testsupport::ReadFile(path) : std::string();
}

TEST(ProcessLimits, SoftLimitIsRaisedNeverLowered) {
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
  // Asking for less than in force changes nothing.
  EXPECT_EQ(shell::RaiseSoftLimit(RLIMIT_NOFILE, 1), before.rlim_cur);
  rlimit after{};
  ::getrlimit(RLIMIT_NOFILE, &after);
  EXPECT_EQ(after.rlim_cur, before.rlim_cur);
  EXPECT_EQ(after.rlim_max, before.rlim_max);

  // Lower the soft limit (not the hard one) and ask for more: raised to the asked value,
  // the hard limit untouched.
  if (before.rlim_max != RLIM_INFINITY && before.rlim_max < 64) GTEST_SKIP() << "hard limit too low";
  rlimit low{32, before.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  EXPECT_EQ(shell::RaiseSoftLimit(RLIMIT_NOFILE, 48), 48u);
  ::getrlimit(RLIMIT_NOFILE, &after);
  EXPECT_EQ(after.rlim_cur, 48u);
  EXPECT_EQ(after.rlim_max, before.rlim_max);
  // Never beyond the hard limit.
  if (before.rlim_max != RLIM_INFINITY) {
    EXPECT_EQ(shell::RaiseSoftLimit(RLIMIT_NOFILE, before.rlim_max + 1000), before.rlim_max);
  }
  ::setrlimit(RLIMIT_NOFILE, &before);
}

TEST(ProcessLimits, ProcessLimitIsNeverLowered) {
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_NPROC, &before), 0);
  shell::RaiseProcessLimits();
  rlimit after{};
  ::getrlimit(RLIMIT_NPROC, &after);
  EXPECT_GE(after.rlim_cur, std::min<rlim_t>(before.rlim_cur, after.rlim_max));
  EXPECT_EQ(after.rlim_max, before.rlim_max);
}

TEST(CurrentView, LastFolderMustNameAFolder) {
  queue::ClearFolderTable();
  queue::AddMissingBuiltInFolders();
  queue::AddFolder(0x100001, "Mine");
  EXPECT_EQ(shell::ChooseCurrentView(std::nullopt), 1u);
  EXPECT_EQ(shell::ChooseCurrentView(0), 1u);
  EXPECT_EQ(shell::ChooseCurrentView(0x100001), 0x100001u);
  EXPECT_EQ(shell::ChooseCurrentView(0x100002), 1u);  // deleted folder
  EXPECT_EQ(shell::ChooseCurrentView(-5), 1u);
  queue::ClearFolderTable();
}

// Start-up and quit in this process, with recording hooks for the subsystems not built.
class StartupOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shell::ShellHooksSlot::Get() = {};
    shell::SetStartupStepObserver([this](std::string_view step) { trace.emplace_back(step); });
    auto record = [this](const char* name) { return [this, name] { trace.emplace_back(name); }; };
    auto& hooks = shell::ShellHooksSlot::Get();
    hooks.setUndoRegistrationEnabled = [this](bool on) { trace.emplace_back(on ? "undo on" : "undo off"); };
    hooks.loadUploadQueue = [this] {
      trace.emplace_back("loadUploadQueue");
      settingsLoadedBeforeQueue = !util::CurrentSettings()->startOnLaunch;
    };
    hooks.createMainWindow = [this] {
      trace.emplace_back("createMainWindow");
      // A start asked for before the queue is ready, as a launch event may ask.
      if (startQueueWhileLaunching) queue::StartQueue();
    };
    hooks.saveWindowState = record("saveWindowState");
    queue::gQueueReady = false;
    queue::gQueueRunning = false;
    queue::gQueueStartPending = false;
    // "Start On Launch" off: only a start asked for at launch runs the queue.
    util::SettingsPreferences().Set("Start On Launch", values::Value(false));
    util::SettingsPreferences().Synchronize();
  }
  void TearDown() override {
    shell::SetStartupStepObserver(nullptr);
    shell::ShellHooksSlot::Get() = {};
    queue::FinishQueueFileSaves();
    queue::ClearQueueTables();
  }

  std::size_t Position(const std::string& name) const {
    auto it = std::find(trace.begin(), trace.end(), name);
    EXPECT_NE(it, trace.end()) << name << " missing";
    return static_cast<std::size_t>(it - trace.begin());
  }
  void ExpectOrder(const std::vector<std::string>& names) const {
    for (std::size_t i = 1; i < names.size(); ++i) {
      EXPECT_LT(Position(names[i - 1]), Position(names[i])) << names[i - 1] << " before " << names[i] << "\n"
                                                            << ::testing::PrintToString(trace);
    }
  }

  std::vector<std::string> trace;
  bool settingsLoadedBeforeQueue = false;
  bool startQueueWhileLaunching = false;
};

TEST_F(StartupOrderTest, StepsRunInOrderAndAStartAskedAtLaunchIsHonoured) {
  startQueueWhileLaunching = true;
  shell::Shell app;
  ASSERT_EQ(app.StartUp(), shell::StartupOutcome::kStarted);
  EXPECT_TRUE(settingsLoadedBeforeQueue);
  EXPECT_TRUE(queue::gQueueReady);
  EXPECT_TRUE(queue::gQueueRunning) << "the start asked for while launching was lost";
  EXPECT_FALSE(queue::gQueueStartPending);
  // Off-screen the list that shows nothing stays.
  EXPECT_TRUE(ui::MainListBrowserSlot::IsDefault());
  // The credentials store is installed; start-up made no key (it never waits on the
  // keychain): the first password enciphered makes it in the keychain (here the file
  // store: the test has no session bus).
  EXPECT_FALSE(browser::StoredPasswordServiceSlot::IsDefault());
  EXPECT_FALSE(sharing::HostKeyQuestionServiceSlot::IsDefault());
  EXPECT_TRUE(dynamic_cast<browser::StoredAuthItems*>(&browser::AuthItemsServiceSlot::Get()));
  ASSERT_TRUE(queue::QueueHooksSlot::Get().encipherCredential);
  ASSERT_TRUE(browser::GetCredentialsKeychain());
  EXPECT_EQ(browser::GetCredentialsKeychain()->Name(), "file");
  values::Bytes key;
  EXPECT_EQ(
      browser::GetCredentialsKeychain()->FindGenericPassword("Truvane Preferences Encryption Key", "", key),
      keychain::kItemNotFound);
  const auto enciphered = queue::QueueHooksSlot::Get().encipherCredential("secret-1");
  ASSERT_TRUE(enciphered);
  EXPECT_EQ(
      browser::GetCredentialsKeychain()->FindGenericPassword("Truvane Preferences Encryption Key", "", key),
      keychain::kNoErr);
  EXPECT_EQ(queue::QueueHooksSlot::Get().decipherCredential(*enciphered), "secret-1");
  // The remote browser's services, before the settings hand it the stored favourites.
  EXPECT_TRUE(dynamic_cast<browser::BrowserRemoteRows*>(&browser::RemoteRowsServiceSlot::Get()));
  EXPECT_TRUE(dynamic_cast<browser::BrowserFavourites*>(&browser::FavouritesServiceSlot::Get()));
  EXPECT_TRUE(dynamic_cast<queue::QueueRemoteFiles*>(&queue::RemoteFilesServiceSlot::Get()));
  EXPECT_TRUE(browser::FTPUploadHooksSlot::Get().uploadAliasToFTPNode);
  ExpectOrder({"ClaimEventSocket", "StartBandwidthLimiters", "undo off", "InstallCredentialServices",
               "InstallRemoteBrowser", "LoadPreferences", "LoadQueueFile", "loadUploadQueue",
               "InstallAppleEventHandlers", "createMainWindow", "TakeLaunchEvents", "MarkQueuesReady",
               "StartQueues", "ArmTimers", "LogStartup", "undo on", "ObservePasses"});

  // Symbolic message keys show their English text, not the key.
  ExpectOrder({"RegisterEnglishTexts", "LoadQueueFile"});
  EXPECT_NE(values::Localized("kDownloadStartPerms"), "kDownloadStartPerms");

  queue::MarkQueueDirty();
  app.Quit();
  ExpectOrder({"saveWindowState", "Shutdown", "SaveSettings", "SaveQueueFile", "LogQuitting", "Synchronize"});
  EXPECT_TRUE(fs::exists(QueueFilePath()));
  const std::string log = ReadIfExists(LogFilePath());
  const auto started = log.rfind("Application startup successful\n");
  const auto quitting = log.rfind("Application Quitting\n");
  ASSERT_NE(started, std::string::npos);
  ASSERT_NE(quitting, std::string::npos);
  EXPECT_LT(started, quitting);
}

TEST_F(StartupOrderTest, WithoutALaunchStartTheQueueStaysStoppedAndFirstLaunchStepsRunOnce) {
  util::SettingsPreferences().Set("DemoSmartFoldersAddedv5", values::Value(false));
  util::SettingsPreferences().Synchronize();
  for (int launch = 0; launch < 2; ++launch) {
    shell::Shell app;
    ASSERT_EQ(app.StartUp(), shell::StartupOutcome::kStarted);
    EXPECT_FALSE(queue::gQueueRunning);
    if (launch == 0) {
      // The first launch adds the type folders; the user then removes one of them.
      ASSERT_TRUE(queue::LookUpSmartFolder(0x400001));
      EXPECT_TRUE(queue::LookUpSmartFolder(0x400006));
      queue::RemoveFolder(0x400001, false);
      queue::MarkQueueDirty();
    } else {
      // The step does not run again: the removed folder stays removed.
      EXPECT_FALSE(queue::LookUpFolder(0x400001));
      EXPECT_TRUE(queue::LookUpSmartFolder(0x400002));
    }
    app.Quit();
  }
  EXPECT_TRUE(util::PrefBoolForKey("DemoSmartFoldersAddedv5"));
}

// The real program, headless, told to quit by the sender.
// Start-up installs the queue's answer to the transfer log's lookup: a download's lines
// land in its own record, and its start empties the log of the run before.
TEST_F(StartupOrderTest, EachDownloadKeepsItsOwnTransferLog) {
  shell::Shell app;
  ASSERT_EQ(app.StartUp(), shell::StartupOutcome::kStarted);
  auto wrapper = queue::DownloadQueueWrapper::Create();
  wrapper->element().uid = 41;
  queue::QueueItemsSet(41, wrapper);
  EXPECT_EQ(engine::TransferLogRecordsSlot::Get().Find(41), &wrapper->element().transferLog);
  EXPECT_EQ(engine::TransferLogRecordsSlot::Get().Find(42), nullptr);

  engine::RefreshTransferLogView(41, nullptr);
  engine::AppendTransferLog("GET /f.bin HTTP/1.1\r\n", 41, nullptr);
  engine::AppendTransferLog("Authorization: Basic c2VjcmV0\r\n", 41, nullptr);
  ASSERT_TRUE(wrapper->element().transferLog.log);
  EXPECT_EQ(*wrapper->element().transferLog.log, "GET /f.bin HTTP/1.1\rAuthorization: <hidden>\r");
  engine::RefreshTransferLogView(41, nullptr);
  EXPECT_EQ(*wrapper->element().transferLog.log, "");
  queue::QueueItemsRemove(41);
  app.Quit();
}

TEST(ProgramProcess, StartsHeadlessAndQuitsOnTheQuitEvent) {
  // An older queue file makes the queue changed at load, so the quit must write the
  // current one.
  const std::string olderQueue =
      files::StandardFolderRef(files::StandardFolder::kPreferences).Path() + "/Truvane 3 Queue.plist";
  fs::remove(QueueFilePath());
  auto bytes = values::WritePropertyList(
      values::Value(values::Dictionary{{"Elements", values::Array{}}, {"Folders", values::Array{}}}),
      values::PlistFormat::kXml);
  ASSERT_TRUE(bytes.ok());
  testsupport::WriteFile(olderQueue, std::string(bytes->begin(), bytes->end()));
  const std::string logBefore = ReadIfExists(LogFilePath());

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    ::execl(TRUVANE_PATH, TRUVANE_PATH, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  auto waitForExit = [&](int& status) {
    while (std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(child, &status, WNOHANG) == child) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return false;
  };

  // The program is up once its socket answers: the sender then delivers the quit.
  int sent = -1;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string command =
        std::string("timeout 10 '") + TRUVANE_SEND_PATH + "' --timeout 5 aevt quit 2>&1";
    sent = ::system(command.c_str());
    if (WIFEXITED(sent) && WEXITSTATUS(sent) == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  int status = 0;
  ASSERT_TRUE(waitForExit(status)) << "the program did not end after quit";
  EXPECT_TRUE(WIFEXITED(sent) && WEXITSTATUS(sent) == 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  const std::string log = ReadIfExists(LogFilePath()).substr(logBefore.size());
  EXPECT_NE(log.find("Application startup successful\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Application Quitting\n"), std::string::npos) << log;
  EXPECT_TRUE(fs::exists(QueueFilePath()));
  fs::remove(olderQueue);
}

}  // namespace
