// Saves and loads a queue of 10,000 downloads and prints the times (a save here makes
// every record's text anew, as the save at quit does; start-up makes them once after the
// load, for the saves that follow, timed apart), what a save after a start costs the main
// thread (the snapshot: only the records noted as changed are made anew, the others are
// not looked at; the writing is on a worker), the same with the start's renumbering, how
// long until it is written, and the peak memory of the process. The queue
// file is written in a private temporary home, never the user's.
//
//   queue_file_bench [records] [rounds]

#include <malloc.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"

namespace {

using Clock = std::chrono::steady_clock;

double Millis(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void FillQueue(int count) {
  queue::ClearQueueTables();
  queue::ClearFolderTable();
  // Each round starts as a fresh process would: what the allocator kept of the last
  // round's records is given back, so the peak is one queue's, not the rounds' residue.
  ::malloc_trim(0);
  queue::AddMissingBuiltInFolders();
  queue::AddFolder(0x100001, "Work");
  // Made as the user makes one, its undo included; a start-up has no undo to keep the
  // folder, and with it a tenth of the old queue, alive past the load.
  queue::TruvaneUndoRemoveAllActions();
  for (int i = 0; i < count; ++i) {
    auto w = queue::DownloadQueueWrapper::Create();
    queue::DownloadQueueElement& e = w->element();
    e.uid = static_cast<queue::DownloadUID>(i + 1);
    e.filename = "file-" + std::to_string(i) + ".tar.gz";
    e.urlData = {values::Value(values::Dictionary{
        {"url", "https://mirror" + std::to_string(i % 17) + ".example.org/pub/releases/" + e.filename},
        {"referer", "https://www.example.org/downloads/"}})};
    e.domains = {"mirror" + std::to_string(i % 17) + ".example.org"};
    e.status = i % 3 == 0 ? queue::kStatusQueued : queue::kStatusCompleted;
    e.fileSize = 1000000 + i;
    e.progress = e.fileSize;
    e.connections = 4;
    e.startDate = 700000000.0 + i;
    e.endDate = 700000100.0 + i;
    e.batchID = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
    e.destination = values::Bytes(120, 0x41);
    if (e.status == queue::kStatusQueued) {
      queue::gQueueOrder.push_back(e.uid);
      e.queuePosition = static_cast<std::int32_t>(queue::gQueueOrder.size());
    }
    queue::QueueItemsSet(e.uid, w);
    queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
    if (i % 10 == 0) queue::AddElementToListableFolder(0x100001, w);
  }
  queue::gQueuedCount = static_cast<std::int32_t>(queue::gQueueOrder.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int records = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  char home[] = "/tmp/truvane-bench-XXXXXX";
  if (mkdtemp(home) == nullptr) return 1;
  setenv("HOME", home, 1);
  for (const char* var : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
    unsetenv(var);

  std::vector<double> saves, loads, prepares, starts, wholeStarts, written;
  std::uintmax_t bytes = 0;
  for (int r = 0; r < rounds; ++r) {
    FillQueue(records);
    auto t0 = Clock::now();
    if (!queue::SaveQueueFile().ok()) return 2;
    auto t1 = Clock::now();
    if (!queue::LoadQueueFile().ok()) return 3;
    auto t2 = Clock::now();
    queue::PrepareQueueFileSaves();  // as start-up does
    auto t2b = Clock::now();
    if (queue::gQueueItems.size() != static_cast<std::size_t>(records) || queue::QueueOrderProblem())
      return 4;
    // A start as the scheduler makes it: the head leaves the order (every other Queued
    // download moves up one place) and runs. What the save that follows costs the main
    // thread (the snapshot), and how long the worker then writes.
    auto t3a = Clock::now();
    if (!queue::gQueueOrder.empty()) {
      const queue::DownloadUID head = queue::gQueueOrder.front();
      queue::RemoveFromQueueOrder(head);
      queue::LookUpDownloadWrapper(head)->setStatus(queue::kStatusDownloading);
    }
    queue::MarkQueueDirty();
    auto t3 = Clock::now();
    queue::SaveQueueFileSoon();
    auto t4 = Clock::now();
    queue::FinishQueueFileSaves();
    auto t5 = Clock::now();
    saves.push_back(Millis(t1 - t0));
    loads.push_back(Millis(t2 - t1));
    prepares.push_back(Millis(t2b - t2));
    starts.push_back(Millis(t4 - t3));
    wholeStarts.push_back(Millis(t4 - t3a));
    written.push_back(Millis(t5 - t3));
    bytes = std::filesystem::file_size(queue::QueueFileRef()->Path());
  }
  std::sort(saves.begin(), saves.end());
  std::sort(loads.begin(), loads.end());
  std::sort(starts.begin(), starts.end());
  std::sort(written.begin(), written.end());
  std::sort(wholeStarts.begin(), wholeStarts.end());
  std::sort(prepares.begin(), prepares.end());
  std::printf("records %d, file %.1f MB, rounds %d\n", records, bytes / 1e6, rounds);
  std::printf("save: median %.1f ms (min %.1f, max %.1f)\n", saves[saves.size() / 2], saves.front(),
              saves.back());
  std::printf("load: median %.1f ms (min %.1f, max %.1f)\n", loads[loads.size() / 2], loads.front(),
              loads.back());
  std::printf("texts made for later saves (start-up, after the load): median %.1f ms\n",
              prepares[prepares.size() / 2]);
  std::printf("save after a start, main thread: median %.2f ms\n", starts[starts.size() / 2]);
  std::printf("a start with its save (out of the order, the rest renumbered), main thread: median %.2f ms\n",
              wholeStarts[wholeStarts.size() / 2]);
  std::printf("save after a start, until written: median %.1f ms\n", written[written.size() / 2]);
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("peak rss: %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  std::filesystem::remove_all(home);
  return 0;
}
