// The upload queue's own rules and the handler of the workers' events, without workers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/upload/engine/upload_engine.h"
#include "app/upload/events/upload_event_codes.h"
#include "app/upload/events/upload_event_handler.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/upload_hooks.h"
#include "tests/support/temp_home.h"

namespace upload {
namespace {

class UploadQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearUploadTables();
    UploadHooksSlot::Reset();
  }
  void TearDown() override {
    ClearUploadTables();
    UploadHooksSlot::Reset();
  }
  static UploadItemRef Item(const std::string& name, std::int32_t state = kUploadWaiting) {
    auto item = std::make_shared<UploadItem>();
    item->uid = values::Uuid::Generate();
    item->name = name;
    item->stateValue = state;
    return item;
  }
  // Items A, B, C... all waiting, in that order.
  static std::vector<UploadItemRef> Waiting(const std::string& names) {
    std::vector<UploadItemRef> items;
    for (char c : names) {
      items.push_back(Item(std::string(1, c)));
      AddToQueue(items.back());
    }
    return items;
  }
  static std::string Order() {
    std::string s;
    for (const auto& item : Uploads().queueOrder) s += item->name;
    return s;
  }
  static void End(const std::string& uid, std::int32_t code) {
    auto report = std::make_shared<UploadEndReport>();
    report->endCode = code;
    report->uid = uid;
    report->fileName = "file";
    runtime::Event event(kUploadEventClass, kUploadEventEnded);
    event.SetObject(runtime::kParamDirectObject, report);
    EXPECT_EQ(HandleUploadEvent(event), runtime::kNoErr);
  }
  static UploadItemRef Running(const std::string& name) {
    auto item = Item(name, kUploadUploading);
    Uploads().uploadQueue[item->uidString()] = item;
    Uploads().activeUploads.push_back(item);
    return item;
  }
};

TEST_F(UploadQueueTest, BlockMovesInTheWaitingList) {
  struct Case {
    const char* picked;
    std::int16_t delta;
    const char* expected;
  };
  const Case cases[] = {
      {"CE", -1, "ACBED"},  // each moves one place up
      {"AC", -1, "ACBDE"},  // A is packed at the head and stays
      {"A", -1, "ABCDE"},   // the first up: unchanged
      {"E", 1, "ABCDE"},    // the last down: unchanged
      {"BD", 2, "ACEBD"},   // D reaches the tail and stays there; B goes on
      {"B", -9, "BACDE"},   // no further than the head
  };
  for (const Case& c : cases) {
    ClearUploadTables();
    auto items = Waiting("ABCDE");
    std::vector<UploadItemRef> picked;
    for (const char* p = c.picked; *p; ++p) picked.push_back(items[static_cast<std::size_t>(*p - 'A')]);
    picked.push_back(Item("X"));  // not waiting: passed over
    MoveUploadItemsInWaitingList(picked, c.delta);
    EXPECT_EQ(Order(), c.expected) << c.picked << " by " << c.delta;
  }
}

TEST_F(UploadQueueTest, QueueRulesForDuplicatesRunningItemsAndRemoval) {
  auto item = Item("a");
  EXPECT_TRUE(AddToQueue(item));
  auto twin = Item("b");
  twin->uid = item->uid;
  EXPECT_FALSE(AddToQueue(twin));
  EXPECT_EQ(Uploads().uploadQueue.size(), 1u);
  EXPECT_EQ(Order(), "a");

  auto running = Running("r");
  EXPECT_TRUE(StartUpload(running));  // already uploading: nothing changes
  EXPECT_EQ(running->stateValue, kUploadUploading);
  RemoveFromQueue(running, false);  // an uploading item stays
  EXPECT_EQ(Uploads().uploadQueue.count(running->uidString()), 1u);

  std::uint32_t undoIndex = 0;
  UploadHooksSlot::Get().registerUndoUploadRemoved = [&](const std::shared_ptr<void>&, std::uint32_t index,
                                                         bool) { undoIndex = index; };
  RemoveFromQueue(item, false);
  EXPECT_EQ(Uploads().uploadQueue.count(item->uidString()), 0u);
  EXPECT_EQ(undoIndex, 0u);
  EXPECT_EQ(WaitingIndex(*item), kNotWaiting);
}

// Each start takes the head of the waiting list, and only it: the item started is the
// one that leaves the list, and the others keep their order. (Their files are missing,
// so each start ends at once in "failed", which shows which item was started.)
TEST_F(UploadQueueTest, StartNextUploadStartsTheHeadAndKeepsTheRestWaiting) {
  const auto items = Waiting("ABCD");
  const std::string expected[] = {"BCD", "CD", "D", ""};
  for (std::size_t i = 0; i < items.size(); ++i) {
    StartNextUpload();
    EXPECT_EQ(Order(), expected[i]) << "start " << i;
    for (std::size_t k = 0; k < items.size(); ++k) {
      EXPECT_EQ(items[k]->stateValue, k <= i ? kUploadFailed : kUploadWaiting)
          << items[k]->name << " after start " << i;
    }
  }
}

TEST_F(UploadQueueTest, EndCodesSetTheStates) {
  struct Case {
    std::int32_t code;
    std::int32_t state;
  };
  const Case cases[] = {{kUploadEndFinished, kUploadFinished},
                        {kUploadEndFailed, kUploadFailed},
                        {kUploadEndCancelled, kUploadCancelled},
                        {kUploadEndAuthRefused, kUploadCredentialsRefused},
                        {kUploadEndAbortedByPeer, kUploadAbortedByPeer},
                        {kUploadEndPermissionDenied, kUploadFailed},
                        {99, kUploadFailed}};  // unknown: never left "uploading" without a worker
  std::vector<std::string> messages;
  UploadHooksSlot::Get().showMessage = [&](const std::string& text) { messages.push_back(text); };
  for (const Case& c : cases) {
    auto item = Running("file");
    item->bytes = 5000;
    const std::string oldUid = item->uidString();
    End(oldUid, c.code);
    EXPECT_EQ(item->stateValue, c.state) << c.code;
    EXPECT_TRUE(Uploads().activeUploads.empty()) << c.code;
    if (c.code == kUploadEndFinished) {
      EXPECT_EQ(item->count, 1);
      EXPECT_EQ(item->bytes, 0);
      EXPECT_NE(item->uidString(), oldUid);
      // A late event of the old worker finds nothing.
      runtime::Event late(kUploadEventClass, kUploadEventProgress);
      late.SetString(runtime::kParamDirectObject, oldUid);
      late.SetInt32(upload_params::kNewState, kUploadUploading);
      HandleUploadEvent(late);
      EXPECT_EQ(item->stateValue, kUploadFinished);
    }
    ClearUploadTables();
  }
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("553"), std::string::npos);
}

TEST_F(UploadQueueTest, EndOfAGoneUploadAndTheAllCompleteNotice) {
  int rearmed = 0;
  int allComplete = 0;
  UploadHooksSlot::Get().armWhenDoneCheck = [&] { ++rearmed; };
  UploadHooksSlot::Get().notifyAllUploadsComplete = [&] { ++allComplete; };
  End(values::Uuid::Generate().ToString(), kUploadEndFinished);  // removed meanwhile
  EXPECT_EQ(rearmed, 1);

  auto cancelled = Running("c");
  End(cancelled->uidString(), kUploadEndCancelled);
  EXPECT_EQ(allComplete, 1) << "only the end of the gone upload, never a cancel";

  auto requeued = Running("q");
  requeued->requeueAfterCancellation = true;
  Waiting("W");
  End(requeued->uidString(), kUploadEndCancelled);
  EXPECT_EQ(requeued->stateValue, kUploadWaiting);
  EXPECT_EQ(Order(), "qW");
}

TEST_F(UploadQueueTest, FirstReportOfAWorkerSetsState) {
  auto item = Item("f");
  AddToQueue(item);
  runtime::Event first(kUploadEventClass, kUploadEventProgress);
  first.SetString(runtime::kParamDirectObject, item->uidString());
  first.SetInt32(upload_params::kNewState, kUploadUploading);
  first.SetInt64(upload_params::kBytes, 1234);
  first.SetFloat(upload_params::kSpeed, 12.5f);
  HandleUploadEvent(first);
  EXPECT_EQ(item->stateValue, kUploadUploading);
  EXPECT_EQ(item->bytes, 1234);
  EXPECT_FLOAT_EQ(item->speedValue, 12.5f);

  runtime::Event log(kUploadEventClass, kUploadEventLog);
  log.SetString(runtime::kParamDirectObject, item->uidString());
  log.SetValue(upload_params::kMessage, values::Value(values::Dictionary{{"text", values::Value("220 hi")},
                                                                         {"style", values::Value(2)}}));
  HandleUploadEvent(log);
  ASSERT_EQ(item->log.size(), 1u);
  EXPECT_EQ(item->log[0].style, LogStyle::kFixedPitch);
  runtime::Event other(values::FourCC("TRDc"), 1);
  EXPECT_EQ(HandleUploadEvent(other), runtime::kEventNotHandledErr);
}

}  // namespace
}  // namespace upload
