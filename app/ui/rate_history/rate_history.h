#pragma once
// The history of the program's total download rate and the figures drawn from it.
//
// The download limiter reports once a second how many bytes it let through; each report
// is a sample. The history keeps the newest 2,536 samples (newest first) and two running
// averages over the last 300 and 900 samples, updated by taking out the sample that falls
// out of the window and putting in the new one (no re-summing).
//
// Two graphs show the history:
//   - the tray graph, a 128 x 128 bar chart of the newest 128 samples drawn into the tray
//     icon while "displaygraphindock" is on. Its scale (pixels per byte per second) grows
//     or shrinks so that the largest bar stays between 30 % and 90 % of the tile, setting
//     it to 70 %, never above 0.06;
//   - the bandwidth window's graph, one pixel per sample, as many samples as its width
//     beyond the label column shows. Its count is clamped to the samples kept: a window
//     wider than the history draws what there is, never past it; a window narrower than
//     the label column shows none.
//
// Everything here is arithmetic on plain records, driven by the caller with samples; the
// timer that feeds it and the windows that draw it are in bandwidth_window.h.
//
// Main thread only.

#include <array>
#include <cstdint>
#include <string>

#include "platform/toolbox/drawing/drawing_context.h"

namespace ui {

inline constexpr int kRateHistorySamples = 2536;
inline constexpr int kDockGraphSamples = 128;
inline constexpr double kDockTileSize = 128;
inline constexpr float kMaxGraphScale = 0.06f;
inline constexpr std::int32_t kGraphBorderWidth = 80;
inline constexpr std::int16_t kGraphPhasePeriod = 30;

struct RateHistory {
  std::array<std::int32_t, kRateHistorySamples> samples{};  // bytes per second, newest first
  std::int32_t last = 0;
  double average300 = 0;
  double average900 = 0;
  std::int32_t graphCount = 1;  // samples the bandwidth window shows
  std::int32_t graphMax = 0;    // largest sample among those
  std::int16_t graphPhase = 1;  // scrolls the window's grid, 0..29
  bool windowOpen = false;      // the bandwidth window follows the samples
};

struct DockRateGraph {
  std::array<std::int32_t, kDockGraphSamples> samples{};
  std::int32_t max = 0;
  std::int32_t count = kDockGraphSamples;
  float scale = 0.3f;  // pixels per byte per second
  std::int16_t phase = 1;
};

struct SampleOutcome {
  bool drawDock = false;      // the tray graph changed
  bool windowNewMax = false;  // the window's largest sample grew
  bool windowRefresh = false;
};

// Takes one sample (bytes in the last second) into both records; `dockOn` is the setting
// "displaygraphindock". Says what the displays should do about it.
SampleOutcome AddRateSample(RateHistory& history, DockRateGraph& dock, std::int32_t sample, bool dockOn);

// The bandwidth window's graph scale, following the history's samples and the view's size.
struct GraphScale {
  float scale = kMaxGraphScale;
  // The view is pointed at the history: count from its width, scale from the samples.
  void SetContext(RateHistory& history, double width, double height);
  // The window's largest sample grew: scale down when it no longer fits 90 % of the height.
  void NewMax(const RateHistory& history, double height);
  // The largest sample shown, again; scale up when it fills less than 30 % of the height.
  void Recalculate(RateHistory& history, double height);
  // The view was resized from `oldHeight` to the new size.
  void Resize(RateHistory& history, double width, double height, double oldHeight);
};

// The samples a graph of `width` shows (width minus the label column), within what is kept.
std::int32_t GraphSampleCount(double width);
// The largest of the first `count` samples.
std::int32_t LargestSample(const RateHistory& history, std::int32_t count);

// The tray graph in a 128 x 128 context with its origin at the bottom left; the phase
// advances by one. The badges, when any, are drawn on top by the caller.
void DrawDockRateGraph(toolbox::DrawingContext& ctx, DockRateGraph& dock, const toolbox::Color& back,
                       const toolbox::Color& fore);

// The bandwidth window's graph in a top-left context of w x h (labels, grid, bars).
void DrawBandwidthGraph(toolbox::DrawingContext& ctx, const RateHistory& history, float scale, double width,
                        double height);

// The graph's four labels, bottom up: "%.1fKB/s" of the rate at each fifth of the height.
std::array<std::string, 4> BandwidthGraphLabels(float scale, double height);

// The text line under the graph: the last sample and the two averages, in KB/s of 1024.
struct BandwidthTexts {
  std::string current;
  std::string average5;
  std::string average15;
};
BandwidthTexts BandwidthTextLine(const RateHistory& history);

}  // namespace ui
