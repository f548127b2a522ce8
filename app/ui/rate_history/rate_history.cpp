#include "app/ui/rate_history/rate_history.h"

#include <algorithm>
#include <cmath>

#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

// The grid lines of both graphs.
constexpr toolbox::Color kGridColor{0.5625, 0.625, 0.6797, 1};
constexpr toolbox::Color kGraphBackground{0.7656, 0.8516, 0.918, 1};

// The tray graph keeps its tallest bar between these fractions of the tile.
constexpr float kDockHigh = 115.2f;  // 90 %
constexpr float kDockLow = 38.4f;    // 30 %
constexpr float kDockAim = 89.6f;    // 70 %

float Capped(float scale) {
  return std::min(scale, kMaxGraphScale);
}

// The scale that puts `max` at 70 % of `height`; the cap when there is nothing to show.
float ScaleFor(double height, std::int32_t max) {
  if (max <= 0) return kMaxGraphScale;
  return Capped(static_cast<float>(height * 0.7 / max));
}

}  // namespace

SampleOutcome AddRateSample(RateHistory& history, DockRateGraph& dock, std::int32_t s, bool dockOn) {
  SampleOutcome out;
  // The sample leaving each window is the 300th (900th) newest before `s` goes in, so
  // each sum holds exactly 300 (900) samples: a steady rate averages to itself.
  history.average300 = (history.average300 * 300 - history.samples[299] + s) / 300;
  history.average900 = (history.average900 * 900 - history.samples[899] + s) / 900;
  history.last = s;

  const std::int32_t oldest = dock.samples[static_cast<std::size_t>(dock.count - 1)];
  const bool maxLeaving =
      dockOn && oldest == dock.max && oldest > dock.samples[static_cast<std::size_t>(dock.count - 2)];

  std::copy_backward(history.samples.begin(), history.samples.end() - 1, history.samples.end());
  history.samples[0] = s;
  std::copy_backward(dock.samples.begin(), dock.samples.end() - 1, dock.samples.end());
  dock.samples[0] = s;

  if (dockOn) {
    if (s > dock.max) {
      dock.max = s;
      if (static_cast<float>(dock.max) * dock.scale > kDockHigh)
        dock.scale = Capped(kDockAim / static_cast<float>(dock.max));
    } else if (maxLeaving) {
      dock.max = *std::max_element(dock.samples.begin(), dock.samples.begin() + dock.count);
      if (static_cast<float>(dock.max) * dock.scale < kDockLow && dock.max > 0)
        dock.scale = Capped(kDockAim / static_cast<float>(dock.max));
    }
    out.drawDock = true;
  }

  if (history.windowOpen) {
    if (s > history.graphMax) {
      history.graphMax = s;
      out.windowNewMax = true;
    }
    if (history.graphPhase > kGraphPhasePeriod - 1) history.graphPhase = 0;
    ++history.graphPhase;
    out.windowRefresh = true;
  }
  return out;
}

std::int32_t GraphSampleCount(double width) {
  const auto count = static_cast<std::int32_t>(std::floor(width)) - kGraphBorderWidth;
  return std::clamp(count, 0, kRateHistorySamples);
}

std::int32_t LargestSample(const RateHistory& history, std::int32_t count) {
  count = std::clamp(count, 0, kRateHistorySamples);
  if (count == 0) return 0;
  return *std::max_element(history.samples.begin(), history.samples.begin() + count);
}

void GraphScale::SetContext(RateHistory& history, double width, double height) {
  history.graphCount = GraphSampleCount(width);
  scale = ScaleFor(height, LargestSample(history, history.graphCount));
}

void GraphScale::NewMax(const RateHistory& history, double height) {
  if (history.graphMax * scale > height * 0.9) scale = ScaleFor(height, history.graphMax);
}

void GraphScale::Recalculate(RateHistory& history, double height) {
  history.graphMax = LargestSample(history, history.graphCount);
  if (height * 0.3 > history.graphMax * scale) scale = ScaleFor(height, history.graphMax);
}

void GraphScale::Resize(RateHistory& history, double width, double height, double oldHeight) {
  history.graphCount = GraphSampleCount(width);
  if (oldHeight > 0) scale = static_cast<float>(height * scale / oldHeight);
  const std::int32_t m = LargestSample(history, history.graphCount);
  if (m > history.graphMax) {
    history.graphMax = m;
    NewMax(history, height);
  } else if (m < history.graphMax) {
    history.graphMax = m;
    if (height * 0.3 > history.graphMax * scale) scale = ScaleFor(height, history.graphMax);
  }
}

void DrawDockRateGraph(toolbox::DrawingContext& ctx, DockRateGraph& dock, const toolbox::Color& back,
                       const toolbox::Color& fore) {
  if (dock.phase > kGraphPhasePeriod - 1) dock.phase = 0;
  ctx.ClearRect({0, 0, kDockTileSize, kDockTileSize});
  ctx.SetFillColor(back);
  ctx.FillRect({0, 0, kDockTileSize, kDockTileSize});
  ctx.SetFillColor(kGridColor);
  for (double x = kDockTileSize - dock.phase; x >= 0; x -= kGraphPhasePeriod)
    ctx.FillRect({x, 0, 1, kDockTileSize});
  ctx.FillRect({0, 0, 2, kDockTileSize});
  ctx.SetFillColor(toolbox::Color::Black());
  for (int i = 0; i < 5; ++i) ctx.FillRect({1, static_cast<double>(i * 128 / 5), kDockTileSize, 1});
  ctx.SetFillColor(fore);
  for (int i = 0; i < dock.count; ++i) {
    const double h = dock.samples[static_cast<std::size_t>(i)] * static_cast<double>(dock.scale);
    if (h > 0) ctx.FillRect({kDockTileSize - 1 - i, 0, 1, h});
  }
  ++dock.phase;
}

std::array<std::string, 4> BandwidthGraphLabels(float scale, double height) {
  std::array<std::string, 4> labels;
  const auto h = static_cast<std::int32_t>(height);
  for (int i = 1; i <= 4; ++i) {
    const double y = i * h / 5;
    labels[static_cast<std::size_t>(i - 1)] = values::Format("%.1fKB/s", {y / (scale * 1000.0)});
  }
  return labels;
}

void DrawBandwidthGraph(toolbox::DrawingContext& ctx, const RateHistory& history, float scale, double width,
                        double height) {
  const auto w = static_cast<std::int32_t>(width);
  const auto h = static_cast<std::int32_t>(height);
  const double border = kGraphBorderWidth;
  // The graph's own coordinates have y up from the bottom edge; the context's go down.
  const auto top = [h](double y, double extent) { return h - y - extent; };

  ctx.SetFillColor(kGraphBackground);
  ctx.FillRect({border, 0, std::max(0.0, w - border), static_cast<double>(h)});
  ctx.SetFillColor(toolbox::Color::White());
  ctx.FillRect({0, 0, border, static_cast<double>(h)});

  const auto labels = BandwidthGraphLabels(scale, h);
  toolbox::TextStyle style;
  style.font = toolbox::Font{"", 10};
  style.color = toolbox::Color::Black();
  for (int i = 1; i <= 4; ++i) {
    const double y = i * h / 5;
    ctx.DrawText(labels[static_cast<std::size_t>(i - 1)], {5, top(y, 0) - 7, border - 6, 14}, style);
  }

  ctx.SetFillColor(kGridColor);
  for (double x = w - history.graphPhase; x > border; x -= kGraphPhasePeriod)
    ctx.FillRect({x, 0, 1, double(h)});
  ctx.FillRect({border - 2, 0, 2, static_cast<double>(h)});

  ctx.SetFillColor(toolbox::Color::Black());
  for (int i = 0; i < 5; ++i) ctx.FillRect({border, top(i * h / 5, 1), w - border, 1});

  ctx.SaveGState();
  ctx.SetBlendMode(toolbox::BlendMode::kSourceAtop);
  ctx.SetFillColor({1, 0, 0, 0.4});
  const std::int32_t count = std::min(history.graphCount, GraphSampleCount(width));
  for (std::int32_t i = 0; i < count; ++i) {
    const double x = w - 1 - i;
    if (x < border) break;
    const double bar = history.samples[static_cast<std::size_t>(i)] * static_cast<double>(scale);
    if (bar > 0) ctx.FillRect({x, top(0, bar), 1, bar});
  }
  ctx.RestoreGState();
}

BandwidthTexts BandwidthTextLine(const RateHistory& history) {
  return {values::Format(values::Localized("%.1f KB/s"), {history.last / 1024.0}),
          values::Format(values::Localized("5 minute average: %.1lf KB/s"), {history.average300 / 1024.0}),
          values::Format(values::Localized("15 minute average: %.1lf KB/s"), {history.average900 / 1024.0})};
}

}  // namespace ui
