// A remote folder of many files: its LIST text parsed as it arrives in 24 KiB pieces, and
// parsed and filled into the FTP browser's tree and the real main list (records made by the
// queue, rows added under the folder); each in milliseconds.
//
//   ftp_listing_bench [entries]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/browser/ftp/ftp_listing_reader.h"
#include "app/browser/ftp/ftp_node.h"
#include "app/queue/adding/remote_files.h"
#include "app/ui/main_list/main_list.h"
#include "platform/toolbox/app/application.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

constexpr std::size_t kPiece = 24576;

std::string Listing(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += i % 20 == 0 ? "drwxr-xr-x 2 owner group 4096 Mar 14 2023 folder" : "-rw-r--r-- 1 owner group ";
    if (i % 20 != 0) text += std::to_string(1000 + i * 37) + " Mar 14 2023 file";
    text += std::to_string(i) + (i % 20 == 0 ? "" : ".dat") + "\r\n";
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  toolbox::Application::Shared();
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  const std::string text = Listing(count);

  auto start = Clock::now();
  std::size_t entries = 0;
  browser::FTPListingReader reader;
  for (std::size_t at = 0; at < text.size(); at += kPiece)
    reader.Feed(std::string_view(text).substr(at, kPiece), [&](engine::FTPResource&&) { ++entries; });
  reader.Finish([&](engine::FTPResource&&) { ++entries; });
  const double parse = Ms(start);

  queue::RemoteFilesServiceSlot::Set(std::make_unique<queue::QueueRemoteFiles>());
  ui::InstallMainList();
  ui::MainList& list = *ui::GetMainList();
  list.list().SetSize(1000, 700);
  auto root = browser::FTPNodeCreateRoot("bench.invalid/pub", "u", "p", std::nullopt, false);
  const ui::MainListItem rootItem = root->Item();
  list.AddRows({rootItem}, nullptr);
  list.SetTarget(&rootItem);

  start = Clock::now();
  auto lister = std::make_shared<browser::FTPLister>(root, root->path());
  for (std::size_t at = 0; at < text.size(); at += kPiece)
    lister->Take(std::string_view(text).substr(at, kPiece));
  lister->finish();
  const double fill = Ms(start);

  std::printf("entries %zu (%d lines, %zu bytes)\n", entries, count, text.size());
  std::printf("parse %.1f ms\n", parse);
  std::printf("parse and fill %.1f ms (%zu items, %zu rows)\n", fill,
              root->items() ? root->items()->size() : 0, list.Rows(&rootItem).size());
  return 0;
}
