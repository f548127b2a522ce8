#pragma once
// The arithmetic of the download inspector: the "time left" text and the map of the file
// as a grid of squares.
//
// The map divides the file evenly over the cells that fit the view, row by row from the
// top, left to right. A cell is green when every byte of it has been received, red when
// some have, black when none have. A cell is judged against every received range that
// overlaps it, so several small ranges inside one cell add up, and a range that ends
// inside a cell does not hide the ranges after it from the cells that follow.
//
// A view too small for one cell, or a file whose size is not known, has no map (bytes per
// square 0), never a division by zero.

#include <cstdint>
#include <string>
#include <vector>

#include "app/engine/task/download_ranges.h"
#include "platform/toolbox/drawing/drawing_context.h"

namespace ui {

inline constexpr std::int32_t kDownloadMapSquareSize = 8;

// "N/A" unless downloading (status 4); the time left and the speed when the speed is above
// 0.2 KB/s and the size is known; otherwise "Unknown" (localised).
std::string DownloadInspectorTimeText(std::int32_t status, float speedKBps, std::int64_t fileSize,
                                      std::int64_t received);

struct DownloadMapGrid {
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  std::int64_t bytesPerSquare = 0;  // 0: nothing to draw
  bool operator==(const DownloadMapGrid&) const = default;
};

DownloadMapGrid ComputeDownloadMapGrid(double width, double height, std::int32_t squareSize,
                                       std::int64_t fileSize);

enum class MapCell : std::uint8_t { kEmpty, kPartial, kFull };

// One state per cell, row by row from the top; `ranges` sorted by location and not
// overlapping (a done list).
std::vector<MapCell> ComputeDownloadMapCells(const DownloadMapGrid& grid, const engine::RangeList& ranges);

// The square of cell (row, column) in a top-left view of `height`: a gap of 2 between cells.
toolbox::Rect DownloadMapCellRect(std::int32_t row, std::int32_t column, std::int32_t squareSize);

// The whole map: black, then the green and red squares.
void DrawDownloadMap(toolbox::DrawingContext& ctx, double width, double height, std::int32_t squareSize,
                     std::int64_t fileSize, const engine::RangeList& ranges);

}  // namespace ui
