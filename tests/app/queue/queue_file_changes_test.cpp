// Saves made while downloads run write again only the records that changed since the last
// save and reuse the text of the others. Whatever changed, and however, such a save must
// write exactly the file a save that makes every record anew writes, and that file exactly
// what the property-list writer gives for the whole queue at once.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>

#include "app/queue/folders/folder_record.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/queue_element_record.h"
#include "app/queue/record/queue_file.h"
#include "app/util/settings/setting_keys.h"
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

// The queue as one property list written whole, every record and folder from memory.
std::string WholeQueueText() {
  values::Array elements, folders;
  for (const auto& [uid, wrapper] : gQueueItems)
    elements.push_back(DownloadQueueElementCopyDictionary(std::as_const(*wrapper).element()));
  for (const auto& [uid, folder] : gFolders) folders.push_back(CopyFolderRecord(*folder, nullptr));
  auto bytes = values::WritePropertyList(QueueTest::Root(std::move(elements), std::move(folders)),
                                         values::PlistFormat::kXml);
  EXPECT_TRUE(bytes.ok());
  return bytes.ok() ? std::string(bytes->begin(), bytes->end()) : std::string();
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
  EXPECT_EQ(after, WholeQueueText());
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
        // Fields written in the record, each on its own: the next save must hold it.
        ChangeCase{"StatusInTheRecord", [] { W(1)->element().status = kStatusStopped; }, nullptr, nullptr},
        ChangeCase{"SizeBySetter", [] { W(5)->setFileSize(987654321); }, "<integer>987654321</integer>",
                   nullptr},
        ChangeCase{"DatesBySetters",
                   [] {
                     W(3)->setStartDate(12345.5);
                     W(3)->setEndDate(23456.25);
                   },
                   nullptr, nullptr},
        ChangeCase{"PriorityAndConnections",
                   [] {
                     W(1)->element().priority = 2;
                     W(1)->element().connections = 17;
                   },
                   "<integer>17</integer>", nullptr},
        ChangeCase{"ChecksumAndBatch",
                   [] {
                     W(5)->element().checksum = "sha1:0123abcd";
                     W(6)->element().batchID = "batch-9";
                   },
                   "<string>batch-9</string>", nullptr},
        ChangeCase{"ScheduleTimeAndFlags",
                   [] {
                     W(3)->element().scheduleTime = 8765.5;
                     W(3)->element().flags = 3;
                   },
                   nullptr, nullptr},
        ChangeCase{"DestinationAlias",
                   [] {
                     W(1)->element().destination = values::Bytes{1, 2, 3, 4, 5};
                   },
                   nullptr, nullptr},
        // The position written into a record that is not Queued stays in its text as written.
        ChangeCase{"PositionOfARecordNotQueued", [] { W(1)->element().queuePosition = 31; },
                   "<integer>31</integer>", nullptr},
        ChangeCase{"ChangedThenRemoved",
                   [] {
                     W(5)->setFilename("gone-soon");
                     RemoveElementFromFolder(W(5), kMyDownloadsViewID);
                     QueueItemsRemove(5);
                   },
                   nullptr, "<string>f5</string>"},
        // Taken out and put back (as undo does), changed meanwhile: kept once, as it is now.
        ChangeCase{"RemovedAndPutBack",
                   [] {
                     WrapperRef w = W(3);
                     QueueItemsRemove(3);
                     w->setFilename("back-again");
                     QueueItemsSet(3, w);
                   },
                   "<string>back-again</string>", "<string>f3</string>"},
        // Keys the texts keep short, and the same keys nested deeper than that is done, and
        // keys of a name of the user's own, all in one entry.
        ChangeCase{"NestedKeysOfEveryDepth",
                   [] {
                     Value nested("deepest");
                     for (int depth = 0; depth < 20; ++depth) {
                       nested = Value(values::Dictionary{{"url", std::move(nested)}, {"my own key", "x"}});
                     }
                     W(1)->element().urlData[0].Put("cookie", std::move(nested));
                   },
                   "<string>deepest</string>", nullptr},
        // Added below and above every kept UID, out of order.
        ChangeCase{"RecordsAddedAroundTheOthers",
                   [] {
                     for (DownloadUID uid : {0xFFFFFF00u, 0u + 1000, 0u + 7}) {
                       auto w = DownloadQueueWrapper::Create();
                       w->element().uid = uid;
                       w->element().filename = "added-" + std::to_string(uid);
                       w->element().status = kStatusStopped;
                       QueueItemsSet(uid, w);
                     }
                   },
                   "<string>added-4294967040</string>", nullptr},
        // The table changed in place, not through its functions: the save still finds out.
        ChangeCase{"TableEmptiedInPlace",
                   [] {
                     FolderRemoveAllDownloads();
                     std::lock_guard lock(gQueueItemsLock);
                     gQueueItems.clear();
                     gQueueOrder.clear();
                     gQueuedCount = 0;
                   },
                   nullptr, "<string>f1</string>"},
        ChangeCase{"RecordSwappedInPlace",
                   [] {
                     auto w = DownloadQueueWrapper::CreateWithCopy(std::as_const(*W(1)).element());
                     w->element().filename = "swapped.bin";
                     RemoveElementFromFolder(W(3), kMyDownloadsViewID);
                     std::lock_guard lock(gQueueItemsLock);
                     gQueueItems[1] = w;
                     gQueueItems.erase(3);
                   },
                   "<string>swapped.bin</string>", "<string>f3</string>"},
        ChangeCase{"AddedToAFolder", [] { AddElementToFolder(W(5), kUserFolder); }, nullptr, nullptr},
        ChangeCase{"TakenOutOfAFolder", [] { RemoveElementFromFolder(W(1), kUserFolder); }, nullptr, nullptr},
        // Enciphering credentials changes every record that holds some, though none of
        // them changed.
        ChangeCase{"CredentialsEnciphered",
                   [] {
                     QueueHooksSlot::Get().encipherCredential = [](const std::string& s) {
                       return std::optional<values::Bytes>(values::Bytes(s.rbegin(), s.rend()));
                     };
                     util::WriteSetting(util::kEncryptQueueKey, true);
                   },
                   "<key>EauthUser</key>", "<string>kept</string>"}),
    [](const testing::TestParamInfo<ChangeCase>& info) { return info.param.name; });

// A long run of saves of a queue whose records keep changing, coming and going, and moving
// in the order as downloads start: every file written is the whole queue's text, though
// the texts kept between saves are replaced many times over (and moved together again).
TEST_F(QueueTest, EverySaveOfAChangingQueueIsTheWholeQueue) {
  ASSERT_TRUE(LoadQueueFile().ok());
  const std::string padding(1500, 'p');
  auto add = [&](DownloadUID uid) {
    auto w = DownloadQueueWrapper::Create();
    w->element().uid = uid;
    w->element().filename = "file-" + std::to_string(uid);
    w->element().urlData = {
        Value(values::Dictionary{{"url", "http://h.example/" + std::to_string(uid) + "/" + padding}})};
    w->element().status = kStatusQueued;
    QueueItemsSet(uid, w);
    AddElementToListableFolder(kMyDownloadsViewID, w);
    gQueueOrder.push_back(uid);
  };
  // UIDs spread like real ones, so that additions land between kept records.
  auto uidOf = [](std::uint32_t i) { return (i * 2654435761u) | 1u; };
  for (std::uint32_t i = 0; i < 2000; ++i) add(uidOf(i));
  RenumberQueue(0, gQueueOrder.size());
  PrepareQueueFileSaves();
  std::uint32_t next = 2000;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    // A start: the head leaves the order, every other Queued download moves up.
    const DownloadUID head = gQueueOrder.front();
    RemoveFromQueueOrder(head);
    W(head)->setStatus(kStatusDownloading);
    // A third of the records change.
    std::size_t i = 0;
    for (const auto& [uid, w] : gQueueItems) {
      if (i++ % 3 == static_cast<std::size_t>(round % 3)) w->element().progress = round * 1000 + uid % 997;
    }
    // Some leave, some come.
    for (int k = 0; k < 5; ++k) {
      const DownloadUID gone = gQueueOrder.back();
      RemoveFromQueueOrder(gone);
      RemoveElementFromFolder(W(gone), kMyDownloadsViewID);
      QueueItemsRemove(gone);
      add(uidOf(next++));
    }
    RenumberQueue(0, gQueueOrder.size());
    ASSERT_EQ(SaveWhileRunning(), WholeQueueText());
    EXPECT_QUEUE_CONSISTENT();
  }
}

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
