#pragma once
// The download inspector: a small window per download with its file name, size, bytes
// received, time left with the speed, and the map of the file (download_map.h).
//
// One window per download at most: opening it again brings the same window forward. The
// window follows its download by UID; the queue's event handling asks for a refresh on
// every progress report and closes the window when the download leaves the queue.
//
// The map's ranges: a running download's are those of its last progress report; for one
// that does not run they are made once, when its inspector first opens (one range of the
// bytes received for a finished download, else the ranges file beside its data file),
// and kept with the download for later openings.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <string>

#include "app/engine/task/download_ranges.h"
#include "app/queue/record/download_queue_element.h"
#include "platform/toolbox/views/view.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

inline constexpr std::int32_t kInspectorNameID = 1;
inline constexpr std::int32_t kInspectorSizeID = 2;
inline constexpr std::int32_t kInspectorProgressID = 3;
inline constexpr std::int32_t kInspectorTimeID = 4;
inline constexpr std::int32_t kInspectorMapID = 5;
inline constexpr char kInspectorAutosaveName[] = "DL inspector";

// The map of received ranges, cells of `squaresize` points.
class DownloadProgressView : public toolbox::View {
 public:
  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;
  void setFileSize(std::int64_t size);
  const engine::RangeList& downloadedRanges() const { return downloadedRanges_; }
  void setDownloadedRanges(engine::RangeList ranges);
  std::int64_t fileSize() const { return fileSize_; }
  std::int32_t squaresize() const { return squaresize_; }

 private:
  engine::RangeList downloadedRanges_;
  std::int32_t squaresize_ = 8;
  std::int64_t fileSize_ = 0;
};

toolbox::Window* ShowDownloadInspector(queue::DownloadQueueElement& element);
void UpdateDownloadInspector(std::uint32_t uid);
void CloseDownloadInspector(std::uint32_t uid);
// The download's open inspector, or null.
toolbox::Window* FindDownloadInspector(std::uint32_t uid);
DownloadProgressView* DownloadInspectorMap(std::uint32_t uid);

}  // namespace ui
