#pragma once
// Every queue test starts from an empty queue, no folders, default settings and hooks, and
// checks the queue invariant after each operation with EXPECT_QUEUE_CONSISTENT().

#include <gtest/gtest.h>

#include <filesystem>

#include <string>
#include "app/queue/record/queue_file.h"

#include "app/queue/adding/scheduled_items.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/files/standard_folders.h"
#include "platform/values/plist.h"
#include "tests/fakes/fake_main_list.h"
#include "tests/support/temp_home.h"

#define EXPECT_QUEUE_CONSISTENT()                                         \
  do {                                                                    \
    auto problem = ::queue::QueueOrderProblem();                          \
    EXPECT_FALSE(problem.has_value()) << "queue invariant: " << *problem; \
  } while (0)

namespace queue::testing_support {

class QueueTest : public ::testing::Test {
 public:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  static void Reset() {
    ClearQueueTables();
    ClearFolderTable();
    CreateScheduledItemList();
    ResetFolderUIDCounters();
    QueueHooksSlot::Get() = QueueHooks{};
    TruvaneUndoRemoveAllActions();
    while (TruvaneUndo::Shared().IsRegistrationEnabled() == false) TruvaneUndoEnableRegistration();
    ClearDisplayedViews();
    util::ChangeSettings([](util::Settings& s) { s = util::Settings{}; });
    util::RemoveSetting(util::kEncryptQueueKey);
    ui::MainListServicesSlot::Set(std::make_unique<FakeMainList>());  // quiet: no log on standard error
    // The temporary home is shared by the tests of this process: a save of the last test
    // still running on the worker ends first.
    FinishQueueFileSaves();
    for (const char* suffix : {"", ".new", ".unreadable"}) std::filesystem::remove(QueueFilePath() + suffix);
  }

  static std::string AppSupportPath() {
    return files::FindStandardFolder(files::StandardFolder::kApplicationSupport, true)->Path();
  }
  static std::string QueueFilePath() { return AppSupportPath() + "/Truvane Queue.plist"; }

  static void WriteQueueFile(const values::Value& root, const std::string& path = QueueFilePath()) {
    auto bytes = values::WritePropertyList(root, values::PlistFormat::kXml);
    ASSERT_TRUE(bytes.ok()) << bytes.error();
    testsupport::WriteFile(path, std::string(bytes->begin(), bytes->end()));
  }

  static values::Value Root(values::Array elements, values::Array folders = {}) {
    return values::Value(
        values::Dictionary{{"Elements", std::move(elements)}, {"Folders", std::move(folders)}});
  }

  // A small stored record.
  static values::Value Record(std::int64_t uid, std::int64_t status, values::Dictionary extra = {}) {
    values::Dictionary d{{"UID", values::Number::Int64(uid)},
                         {"status", values::Number::Int64(status)},
                         {"Filename", "f" + std::to_string(uid)},
                         {"url data", values::Array{values::Value(values::Dictionary{
                                          {"url", "http://h" + std::to_string(uid) + ".example/f"}})}}};
    for (auto& [k, v] : extra) d[k] = v;
    return values::Value(std::move(d));
  }
};

}  // namespace queue::testing_support
