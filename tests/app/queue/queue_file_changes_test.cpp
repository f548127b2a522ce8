// Saves made while downloads run write again only the records that changed since the last
// save and reuse the text of the others. Whatever changed, and however, such a save must
// write exactly the file a save that makes every record anew writes.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>

#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_settings.h"
#include "tests/app/queue/queue_test_support.h"
#include "tests/support/temp_home.h"

namespace queue {
namespace {

using testing_support::QueueTest;
using values::Number;
using values::Value;

constexpr ViewID kUserFolder = 0x100001;

// A queue as a start finds it: a few finished and Queued downloads in the library and a
// folder of the user's, read from the file (so every record's text is already made).
void LoadSmallQueue() {
  values::Array records;
  for (std::int64_t uid = 1; uid <= 6; ++uid) {
    const bool queued = uid % 2 == 0;
    values::Dictionary extra{
        {"queue position", Number::Int32(queued ? static_cast<std::int32_t>(uid / 2) : 0)},
        {"progress", Number::Int64(uid * 1000)}};
    if (uid == 3) {
      extra["authUser"] = "kept";
      extra["useAuth"] = true;
    }
    // A nested key named like the record's own must not be taken for it.
    if (uid == 4) {
      extra["url data"] = values::Array{
          Value(values::Dictionary{{"url", "http://h4.example/f"}, {"queue position", Number::Int32(99)}})};
    }
    records.push_back(QueueTest::Record(uid, queued ? kStatusQueued : kStatusCompleted, extra));
  }
  values::Array folders{Value(values::Dictionary{{"UID", Number::Int64(kUserFolder)},
                                                 {"Name", "Mine"},
                                                 {"Flags", Number::Int64(0)},
                                                 {"items", values::Array{Value(Number::Int64(1))}}})};
  QueueTest::WriteQueueFile(QueueTest::Root(std::move(records), std::move(folders)));
  ASSERT_TRUE(LoadQueueFile().ok());
  ASSERT_EQ(gQueueItems.size(), 6u);
  PrepareQueueFileSaves();
}

std::string SaveWhileRunning() {
  MarkQueueDirty();
  SaveQueueFileSoon();
  FinishQueueFileSaves();
  EXPECT_FALSE(gQueueChanged);
  return testsupport::ReadFile(QueueTest::QueueFilePath());
}

struct ChangeCase {
  const char* name;
  std::function<void()> change;
  const char* written;  // text the next save must hold; nullptr: none to look for
  const char* gone;     // text it must no longer hold; nullptr: none
  friend void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.name; }
};

class SavedTextTest : public QueueTest, public testing::WithParamInterface<ChangeCase> {};

TEST_P(SavedTextTest, TheNextSaveHoldsTheChange) {
  const ChangeCase& c = GetParam();
  LoadSmallQueue();
  const std::string before = SaveWhileRunning();
  ASSERT_NE(before.find("<integer>99</integer>"), std::string::npos) << "the nested key is stored";
  c.change();
  const std::string after = SaveWhileRunning();
  if (c.written) {
    EXPECT_EQ(before.find(c.written), std::string::npos) << c.written;
    EXPECT_NE(after.find(c.written), std::string::npos) << c.written;
  }
  if (c.gone) {
    EXPECT_NE(before.find(c.gone), std::string::npos) << c.gone;
    EXPECT_EQ(after.find(c.gone), std::string::npos) << c.gone;
  }
  // The same file as a save that makes every record anew.
  ASSERT_TRUE(SaveQueueFile().ok());
  EXPECT_EQ(testsupport::ReadFile(QueueFilePath()), after);
  EXPECT_QUEUE_CONSISTENT();
}

WrapperRef W(DownloadUID uid) {
  return LookUpDownloadWrapper(uid);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SavedTextTest,
    testing::Values(
        ChangeCase{"NameBySetter", [] { W(3)->setFilename("renamed.iso"); }, "<string>renamed.iso</string>",
                   "<string>f3</string>"},
        ChangeCase{"ProgressInTheRecord", [] { W(5)->element().progress = 123456789; },
                   "<integer>123456789</integer>", "<integer>5000</integer>"},
        ChangeCase{"MirrorAdded",
                   [] {
                     W(1)->element().urlData.push_back(
                         Value(values::Dictionary{{"url", "http://mirror.example/f1"}}));
                   },
                   "http://mirror.example/f1", nullptr},
        ChangeCase{"CredentialsInTheRecord",
                   [] {
                     auto& e = W(2)->element();
                     e.useAuth = true;
                     e.authUser = "someone";
                     e.authPassword = "pw-7";
                   },
                   "<string>pw-7</string>", nullptr},
        ChangeCase{"RelativeLocation", [] { W(6)->setRelativeLocation("sub/dir"); },
                   "<string>sub/dir</string>", nullptr},
        // A start takes the head out of the order and moves every other Queued download
        // up one place without touching its record.
        ChangeCase{"StartRenumbersTheRest",
                   [] {
                     RemoveFromQueueOrder(2);
                     W(2)->setStatus(kStatusDownloading);
                   },
                   nullptr, nullptr},
        ChangeCase{"MovedToTheEndOfTheQueue",
                   [] {
                     RemoveFromQueueOrder(4);
                     gQueueOrder.push_back(4);
                     RenumberQueue(0, gQueueOrder.size());
                   },
                   nullptr, nullptr},
        ChangeCase{"RecordRemoved",
                   [] {
                     RemoveFromQueueOrder(6);
                     RemoveElementFromFolder(W(6), kMyDownloadsViewID);
                     QueueItemsRemove(6);
                   },
                   nullptr, "<string>f6</string>"},
        ChangeCase{"RecordAdded",
                   [] {
                     auto w = DownloadQueueWrapper::Create();
                     w->element().uid = 77;
                     w->element().filename = "new.bin";
                     w->element().status = kStatusOnHold;
                     QueueItemsSet(77, w);
                     AddElementToListableFolder(kMyDownloadsViewID, w);
                   },
                   "<string>new.bin</string>", nullptr},
        ChangeCase{"AddedToAFolder", [] { AddElementToFolder(W(5), kUserFolder); }, nullptr, nullptr},
        ChangeCase{"TakenOutOfAFolder", [] { RemoveElementFromFolder(W(1), kUserFolder); }, nullptr, nullptr},
        // Enciphering credentials changes every record that holds some, though none of
        // them changed.
        ChangeCase{"CredentialsEnciphered",
                   [] {
                     QueueHooksSlot::Get().encipherCredential = [](const std::string& s) {
                       return std::optional<values::Bytes>(values::Bytes(s.rbegin(), s.rend()));
                     };
                     SetQueueSettingsProvider([] {
                       QueueSettings s;
                       s.encryptQueue = true;
                       return s;
                     });
                   },
                   "<key>EauthUser</key>", "<string>kept</string>"}),
    [](const testing::TestParamInfo<ChangeCase>& info) { return info.param.name; });

// A program killed between saves (no save at quit) finds again every download that had
// started once the save that followed the start is done: Queued at the head, in the order
// they had, nothing else lost.
TEST_F(QueueTest, AKillAfterAStartLosesNothingStarted) {
  LoadSmallQueue();
  SaveWhileRunning();
  const DownloadUID head = gQueueOrder.front();
  RemoveFromQueueOrder(head);
  W(head)->setStatus(kStatusDownloading);
  W(head)->element().progress = 4242;
  SaveWhileRunning();
  // Changes after that save are not in the file: the kill comes first.
  W(head)->element().progress = 999999;
  ClearQueueTables();
  ClearFolderTable();
  ASSERT_TRUE(LoadQueueFile().ok());
  ASSERT_EQ(gQueueItems.size(), 6u);
  ASSERT_FALSE(gQueueOrder.empty());
  EXPECT_EQ(gQueueOrder.front(), head);
  EXPECT_EQ(W(head)->status(), kStatusQueued);
  EXPECT_EQ(W(head)->element().progress, 4242);
  EXPECT_QUEUE_CONSISTENT();
}

}  // namespace
}  // namespace queue
