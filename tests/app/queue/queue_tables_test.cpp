#include <gtest/gtest.h>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/runtime/clock.h"
#include "platform/values/digest.h"
#include "tests/app/queue/queue_test_support.h"

namespace queue {
namespace {

using testing_support::QueueTest;

DownloadUID Md5Candidate(std::uint64_t up, DownloadUID previous) {
  std::uint8_t bytes[12];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(up >> (8 * i));
  for (int i = 0; i < 4; ++i) bytes[8 + i] = static_cast<std::uint8_t>(previous >> (8 * i));
  auto d = values::ComputeDigest(values::DigestAlgorithm::kMd5, bytes);
  return static_cast<DownloadUID>(d[0]) | static_cast<DownloadUID>(d[1]) << 8 |
         static_cast<DownloadUID>(d[2]) << 16 | static_cast<DownloadUID>(d[3]) << 24;
}

TEST_F(QueueTest, UIDIsTheDigestOfUpTimeAndCandidate) {
  runtime::ScopedFakeClock clock{std::chrono::nanoseconds(0x0123456789ABCDEFll)};
  const DownloadUID first = Md5Candidate(0x0123456789ABCDEFull, 0);
  EXPECT_EQ(NewDownloadUID(), first);
  QueueItemsSet(first, DownloadQueueWrapper::Create());
  // Taken: drawn again from the same up-time and the taken candidate.
  EXPECT_EQ(NewDownloadUID(), Md5Candidate(0x0123456789ABCDEFull, first));
}

TEST_F(QueueTest, RenumberSkipsEntriesThatAreNotQueued) {
  for (DownloadUID uid : {1u, 2u, 3u}) {
    auto w = DownloadQueueWrapper::Create();
    w->element().uid = uid;
    w->element().status = uid == 2 ? kStatusOnHold : kStatusQueued;
    QueueItemsSet(uid, w);
    gQueueOrder.push_back(uid);
  }
  gQueueOrder.push_back(99);          // names no record
  EXPECT_EQ(RenumberQueue(0, 0), 0);  // a count of 0 does nothing
  EXPECT_EQ(RenumberQueue(0, gQueueOrder.size()), 4);
  EXPECT_EQ(LookUpDownloadWrapper(1)->element().queuePosition, 1);
  EXPECT_EQ(LookUpDownloadWrapper(3)->element().queuePosition, 2);
  EXPECT_TRUE(QueueOrderProblem().has_value());
  gQueueOrder = {1, 3};
  RemoveFromQueueOrder(1);
  EXPECT_EQ(LookUpDownloadWrapper(3)->element().queuePosition, 1);
  EXPECT_EQ(gQueuedCount, 1);
}

TEST_F(QueueTest, SettersReportOnlyRealChanges) {
  std::vector<std::uint32_t> bits;
  QueueHooksSlot::Get().noteElementChanged = [&](const WrapperRef&, std::uint32_t b) { bits.push_back(b); };
  auto w = DownloadQueueWrapper::Create();
  w->setStatus(kStatusQueued);  // the status of a new record
  w->setStatus(kStatusStopped);
  w->setFilename("");
  w->setFilename("x");
  w->setFileSize(0);
  w->setFileSize(10);
  w->setStartDate(0);
  w->setEndDate(3);
  w->setURLData({});  // lists are always reported
  EXPECT_EQ(bits, (std::vector<std::uint32_t>{kChangedStatus, kChangedFilename, kChangedFileSize,
                                              kChangedEndDate, kChangedURLData}));
}

TEST_F(QueueTest, URLOfAnEmptyListIsNothing) {
  auto w = DownloadQueueWrapper::Create();
  EXPECT_FALSE(w->url());
  w->element().urlData = {values::Value(values::Dictionary{{"referer", "x"}})};
  EXPECT_FALSE(w->url());
  w->element().urlData = {values::Value(values::Dictionary{{"url", "http://a/"}})};
  EXPECT_EQ(w->url(), "http://a/");
}

TEST_F(QueueTest, ScheduledListKeepsOrderOfEqualTimesAndDropsStaleEntries) {
  auto make = [](DownloadUID uid) {
    auto w = DownloadQueueWrapper::Create();
    w->element().uid = uid;
    w->element().status = kStatusStopped;
    QueueItemsSet(uid, w);
    return w;
  };
  auto a = make(1), b = make(2), c = make(3), d = make(4);
  ScheduleDownload(a, 100);
  ScheduleDownload(b, 50);
  ScheduleDownload(c, 100);
  ScheduleDownload(d, 100);
  c->setStatus(kStatusOnHold);  // dropped at its turn
  QueueItemsRemove(4);          // left the queue: dropped too
  EXPECT_EQ(PopDueScheduledItem(40), nullptr);
  EXPECT_EQ(PopDueScheduledItem(200), b);
  EXPECT_EQ(PopDueScheduledItem(200), a);
  EXPECT_EQ(PopDueScheduledItem(200), nullptr);
  EXPECT_TRUE(gScheduledItems.empty());
  ScheduleDownload(a, 10);
  ScheduleDownload(b, 20);
  RemoveScheduledItem(a);
  EXPECT_EQ(gScheduledItems, std::vector<WrapperRef>{b});
  EXPECT_QUEUE_CONSISTENT();
}

}  // namespace
}  // namespace queue
