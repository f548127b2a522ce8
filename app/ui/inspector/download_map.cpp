#include "app/ui/inspector/download_map.h"

#include <algorithm>

#include "app/queue/record/download_status.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace ui {

std::string DownloadInspectorTimeText(std::int32_t status, float speedKBps, std::int64_t fileSize,
                                      std::int64_t received) {
  if (status != static_cast<std::int32_t>(queue::kStatusDownloading)) return "N/A";
  // The speed is a single-precision figure: the threshold is compared in that precision.
  if (!(speedKBps > 0.2f) || fileSize <= 0) return values::Localized("Unknown");
  const auto left = static_cast<std::int64_t>(static_cast<double>(fileSize - received) /
                                              (static_cast<double>(speedKBps) * 1024.0));
  const double speed = speedKBps;
  if (left <= 59) return values::Format("%lds (%.1fKB/s)", {left, speed});
  if (left <= 3599) return values::Format("%ld:%.2ld (%.1fKB/s)", {left / 60, left % 60, speed});
  return values::Format("%ld:%.2ld:%.2ld (%.1fKB/s)", {left / 3600, (left / 60) % 60, left % 60, speed});
}

DownloadMapGrid ComputeDownloadMapGrid(double width, double height, std::int32_t squareSize,
                                       std::int64_t fileSize) {
  DownloadMapGrid grid;
  if (squareSize <= 0) return grid;
  grid.columns = std::max<std::int32_t>(0, static_cast<std::int32_t>(width / squareSize));
  grid.rows = std::max<std::int32_t>(0, static_cast<std::int32_t>(height / squareSize));
  const std::int64_t cells = static_cast<std::int64_t>(grid.columns) * grid.rows;
  // A view smaller than one cell, or an unknown size, has no map.
  if (cells <= 0 || fileSize <= 0) return grid;
  grid.bytesPerSquare = static_cast<std::int64_t>(static_cast<float>(fileSize) / static_cast<float>(cells));
  return grid;
}

std::vector<MapCell> ComputeDownloadMapCells(const DownloadMapGrid& grid, const engine::RangeList& ranges) {
  const std::int64_t count = static_cast<std::int64_t>(grid.columns) * grid.rows;
  std::vector<MapCell> cells(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), MapCell::kEmpty);
  if (grid.bytesPerSquare <= 0 || ranges.empty()) return cells;
  std::size_t first = 0;  // the first range that may still reach the current cell
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t start = i * grid.bytesPerSquare;
    const std::int64_t end = start + grid.bytesPerSquare;
    while (first < ranges.size() && ranges[first].End() <= start) ++first;
    if (first == ranges.size()) break;
    std::int64_t covered = 0;
    for (std::size_t r = first; r < ranges.size() && ranges[r].location < end; ++r) {
      const engine::LongRange common =
          engine::LongRangeIntersection(start, grid.bytesPerSquare, ranges[r].location, ranges[r].length);
      if (common.length > 0) covered += common.length;
    }
    if (covered >= grid.bytesPerSquare)
      cells[static_cast<std::size_t>(i)] = MapCell::kFull;
    else if (covered > 0)
      cells[static_cast<std::size_t>(i)] = MapCell::kPartial;
  }
  return cells;
}

toolbox::Rect DownloadMapCellRect(std::int32_t row, std::int32_t column, std::int32_t squareSize) {
  return {static_cast<double>(column * squareSize + 1), static_cast<double>(row * squareSize + 1),
          static_cast<double>(squareSize - 2), static_cast<double>(squareSize - 2)};
}

void DrawDownloadMap(toolbox::DrawingContext& ctx, double width, double height, std::int32_t squareSize,
                     std::int64_t fileSize, const engine::RangeList& ranges) {
  ctx.SetFillColor(toolbox::Color::Black());
  ctx.FillRect({0, 0, width, height});
  const DownloadMapGrid grid = ComputeDownloadMapGrid(width, height, squareSize, fileSize);
  const std::vector<MapCell> cells = ComputeDownloadMapCells(grid, ranges);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (cells[i] == MapCell::kEmpty) continue;
    ctx.SetFillColor(cells[i] == MapCell::kFull ? toolbox::Color{0, 1, 0, 1} : toolbox::Color{1, 0, 0, 1});
    const auto row = static_cast<std::int32_t>(i / static_cast<std::size_t>(grid.columns));
    const auto column = static_cast<std::int32_t>(i % static_cast<std::size_t>(grid.columns));
    ctx.FillRect(DownloadMapCellRect(row, column, squareSize));
  }
}

}  // namespace ui
