// The main list with 10,000 downloads: filling it from My Downloads, one refresh pass with
// one changed row, and sorts by name and by size; each in milliseconds.
//
//   main_list_bench [count]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/main_list.h"
#include "platform/toolbox/app/application.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  toolbox::Application::Shared();
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;

  queue::AddMissingBuiltInFolders();
  std::vector<queue::WrapperRef> downloads;
  for (int i = 0; i < count; ++i) {
    auto w = queue::DownloadQueueWrapper::Create();
    auto& e = w->element();
    e.uid = static_cast<queue::DownloadUID>(i + 1);
    e.filename = "file" + std::to_string((i * 7919) % count) + ".bin";
    e.fileSize = 1000 + (static_cast<std::int64_t>(i) * 104729) % 100000000;
    e.status = i % 10 == 0 ? queue::kStatusDownloading : queue::kStatusQueued;
    e.queuePosition = i + 1;
    e.rate = 12.5f;
    queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
    downloads.push_back(w);
  }
  ui::InstallMainList();
  ui::MainList& list = *ui::GetMainList();
  list.list().SetSize(1000, 700);

  auto start = Clock::now();
  queue::DisplayViews({queue::kMyDownloadsViewID});
  const double fill = Ms(start);

  // The refresh timer's work when one row changed: the marked row re-read and re-placed.
  downloads[count / 2]->element().progress += 4096;
  list.MarkDownloadChanged(downloads[count / 2]->uid());
  start = Clock::now();
  list.RefreshChangedRows();
  const double refresh = Ms(start);

  start = Clock::now();
  list.list().SetSortProperty(ui::kColName);
  const double byName = Ms(start);
  start = Clock::now();
  list.list().SetSortProperty(ui::kColSize);
  const double bySize = Ms(start);

  std::printf("rows %zu\n", list.list().ItemCount());
  std::printf("fill_ms %.2f\nrefresh_one_changed_ms %.3f\nsort_by_name_ms %.2f\nsort_by_size_ms %.2f\n", fill,
              refresh, byName, bySize);
  queue::ClearDisplayedViews();
  ui::UninstallMainList();
  return 0;
}
