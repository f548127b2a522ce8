#include "app/ui/main_window/status_line.h"

#include <chrono>

#include "app/browser/services/remote_rows.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/upload/services/upload_rows.h"
#include "platform/runtime/run_loop.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace ui {

namespace {

struct Cache {
  StatusTotals totals;
  std::shared_ptr<runtime::Timer> pending;
};

Cache& State() {
  static Cache cache;
  return cache;
}

toolbox::Control* StatusControl() {
  return FindMainControl(mainwindow::kStatusText);
}

void AddRow(MainList& list, const MainListItem& row, StatusTotals& totals) {
  std::int64_t size = 0;
  bool counts = true;
  switch (row.kind) {
    case RowKind::kDownload:
      size = row.as<queue::DownloadQueueWrapper>().element().fileSize;
      break;
    case RowKind::kUpload:
      size = row.as<upload::UploadRow>().fileSize();
      break;
    case RowKind::kReceivedFile:
      size = row.as<sharing::ReceivedFileRow>().fileSize();
      break;
    case RowKind::kDotMacNode: {
      const auto& node = row.as<browser::DotMacNodeRow>();
      if (!node.isDirectory()) size = node.contentLength();
      break;
    }
    case RowKind::kFTPNode:
    case RowKind::kFavourite:
      break;
    default:
      counts = false;
      break;
  }
  if (counts) ++totals.count;
  if (size > 0) totals.bytes += static_cast<std::uint64_t>(size);
  for (const MainListItem& child : list.Rows(&row)) AddRow(list, child, totals);
}

}  // namespace

std::string FormatStatusSize(std::uint64_t bytes) {
  if (bytes <= 1023) return values::Format("%llu B", {bytes});
  if (bytes <= 1048575) return values::Format("%llu KB", {bytes / 1024});
  if (bytes <= 1073741823) return values::Format("%llu MB", {bytes / 1048576});
  return values::Format("%.2f GB", {static_cast<double>(bytes) / 1073741824.0});
}

std::string DrawStatusText(std::int64_t count, std::uint64_t bytes, toolbox::Control* control) {
  const std::string size = FormatStatusSize(bytes);
  const std::string text = values::Format(values::Localized("kItemCountSummary"), {size, count});
  if (control) control->SetText(text);
  return text;
}

void RefreshStatusBar() {
  Cache& c = State();
  c.totals.count = -1;
  if (!GetMainWindow()) return;
  if (c.pending && c.pending->IsValid()) return;
  c.pending = runtime::Timer::Create(runtime::Nanoseconds(0), runtime::Nanoseconds(0), [](runtime::Timer& t) {
    t.Invalidate();
    StatusTextDrawHandler();
  });
  runtime::RunLoop::Main()->AddTimer(c.pending);
}

void StatusTextDrawHandler() {
  Cache& c = State();
  if (c.totals.count < 0) {
    StatusTotals totals;
    totals.count = 0;
    if (MainList* list = GetMainList())
      for (const MainListItem& row : list->Rows(nullptr)) AddRow(*list, row, totals);
    c.totals = totals;
  }
  DrawStatusText(c.totals.count, c.totals.bytes, StatusControl());
}

void AdjustStatusTotals(const std::shared_ptr<queue::DownloadQueueWrapper>& download, std::int64_t newSize,
                        std::int64_t oldSize) {
  Cache& c = State();
  MainList* list = GetMainList();
  if (!download || !list || list->DownloadRow(download->uid()) == 0) return;
  if (c.totals.count < 0) return;  // the next walk counts it
  if (newSize == -1) newSize = 0;
  const std::int64_t delta = oldSize > 0 ? newSize - oldSize : newSize;
  const std::int64_t total = static_cast<std::int64_t>(c.totals.bytes) + delta;
  c.totals.bytes = total > 0 ? static_cast<std::uint64_t>(total) : 0;
  DrawStatusText(c.totals.count, c.totals.bytes, StatusControl());
}

StatusTotals CurrentStatusTotals() {
  return State().totals;
}

void ResetStatusLine() {
  Cache& c = State();
  if (c.pending) c.pending->Invalidate();
  c = Cache{};
}

}  // namespace ui
