// Keeping smart folders current: 10,000 downloads and 10 smart folders (the four date
// folders and six rules of other kinds); one download changes, and the flush re-checks
// only that download against the folders whose rules read what changed. Prints the time
// of one flush (median and worst of the rounds) beside the time to recompute every folder
// from scratch, which is what the change table saves.
//
//   smart_folder_bench [downloads] [rounds]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "platform/values/clock.h"

namespace {

using Clock = std::chrono::steady_clock;
using queue::TRSearchPredicate;

double Millis(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

const char* const kExtensions[] = {"zip", "pdf", "mp3", "iso", "png", "txt", "dmg", "tar.gz"};

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 200;
  queue::ClearQueueTables();
  queue::ClearFolderTable();
  queue::AddMissingBuiltInFolders();  // Today, Yesterday, Past Week, Past Month
  queue::QueueHooksSlot::Get().noteElementChanged = queue::NoteElementChanged;
  const double now = values::Now();
  for (int i = 0; i < count; ++i) {
    auto w = queue::DownloadQueueWrapper::Create();
    auto& e = w->element();
    e.uid = static_cast<queue::DownloadUID>(i + 1);
    e.filename = "file-" + std::to_string(i) + "." + kExtensions[i % 8];
    e.urlData = {values::Value(values::Dictionary{
        {"url", "https://mirror" + std::to_string(i % 17) + ".example.org/pub/" + e.filename}})};
    e.fileSize = (i % 100) * 3 * 1048576;
    e.status = i % 5 == 0 ? queue::kStatusCompleted : queue::kStatusQueued;
    e.startDate = now - (i % 60) * 86400.0;
    e.endDate = i % 5 == 0 ? e.startDate + 60 : 0;
    queue::QueueItemsSet(e.uid, w);
  }
  using P = TRSearchPredicate;
  queue::ViewID id = 0x40000A;
  for (auto rule :
       {P::ApplicationsPredicate(), P::LargeFilesPredicate(), P::RunningDownloadsPredicate(),
        P::RecentlyCompletedPredicate(),
        P::WithRegEx("^file-[0-9]*7\\.", queue::kOpMatches, queue::kTRPredicateClassFileNameRegEx),
        P::WithString("mirror3.", queue::kOpContains, queue::kTRPredicateClassFileURL)}) {
    queue::TRSmartFolder::addSmartFolderToListWithName("Rule " + std::to_string(id), id, rule);
    ++id;
  }
  std::vector<queue::SmartFolderRef> folders;
  for (auto& [uid, folder] : queue::gFolders)
    if (auto smart = std::dynamic_pointer_cast<queue::TRSmartFolder>(folder)) folders.push_back(smart);

  const auto fullStart = Clock::now();
  for (auto& f : folders) f->repopulateElements();
  const double full = Millis(Clock::now() - fullStart);

  std::vector<double> times;
  times.reserve(rounds);
  for (int r = 0; r < rounds; ++r) {
    auto w = queue::LookUpDownloadWrapper(static_cast<queue::DownloadUID>(1 + (r * 7919) % count));
    // Alternately a status change (read by two rules) and a name change (read by three).
    if (r % 2 == 0) {
      w->setStatus(w->status() == queue::kStatusDownloading ? queue::kStatusQueued
                                                            : queue::kStatusDownloading);
    } else {
      w->setFilename(w->filename() + "x");
    }
    const auto start = Clock::now();
    queue::FlushSmartFolderChanges();
    times.push_back(Millis(Clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  std::printf("downloads %d, smart folders %zu\n", count, folders.size());
  std::printf("flush after one change: median %.4f ms, worst %.4f ms (%d rounds)\n", times[times.size() / 2],
              times.back(), rounds);
  std::printf("recomputing every folder: %.2f ms\n", full);
  return 0;
}
