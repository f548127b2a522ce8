#pragma once
// The rate history's feed and the bandwidth window.
//
// At start-up `InitSpeedHistory` asks the download limiter for one sample a second on the
// statistics queue and installs a main-thread timer (first after 1 s, then every 0.5 s)
// that drains the queue without waiting. Each sample from the download limiter enters
// the history (rate_history.h); the tray graph is drawn through `drawTrayGraph` when the
// setting "displaygraphindock" is on, and the bandwidth window, when open, scrolls by one
// sample.
//
// The bandwidth window: the wide graph with its label column over a line with the
// current rate and the 5- and 15-minute averages. One at most; `ShowBandwidthWindow`
// fronts the open one. Its frame is kept under "bw window frame".
//
// Main thread only.

#include <cstdint>
#include <functional>

#include "app/ui/rate_history/rate_history.h"
#include "platform/runtime/message_queue.h"
#include "platform/toolbox/views/view.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

inline constexpr std::int32_t kBandwidthGraphID = 1;
inline constexpr std::int32_t kBandwidthTextID = 2;
inline constexpr char kBandwidthAutosaveName[] = "bw window frame";

RateHistory& TheRateHistory();
DockRateGraph& TheDockRateGraph();

// `samples`: the queue the limiter posts to. `drawTrayGraph` draws the tray graph (the
// tile and the badges over it).
void InitSpeedHistory(runtime::QueueId samples, std::function<void(DockRateGraph&)> drawTrayGraph);
// Stops the timer and the samples (shut-down, tests).
void StopSpeedHistory();
// The timer's work: takes every waiting sample.
void RateHistoryTimer();

class BWGraphView : public toolbox::View {
 public:
  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;
  void OnBoundsChanged(const toolbox::Rect& old_bounds, const toolbox::Rect& new_bounds) override;
  void setGraphContext(RateHistory* history);
  void setScale(float scale);
  void newMax();
  void recalculateScale();
  void update();
  float scale() const { return scale_.scale; }

 private:
  RateHistory* g_ = nullptr;
  GraphScale scale_;
};

class BWGraphTextView : public toolbox::View {
 public:
  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;
  void setGraphContext(RateHistory* history);

 private:
  RateHistory* g_ = nullptr;
};

toolbox::Window* ShowBandwidthWindow(RateHistory& history);
// The open bandwidth window, or null.
toolbox::Window* GetBandwidthWindow();
BWGraphView* GetBandwidthGraphView();
void BandwidthWindowNewMax();
void BandwidthWindowRefresh();

}  // namespace ui
