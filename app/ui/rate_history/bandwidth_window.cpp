#include "app/ui/rate_history/bandwidth_window.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "app/engine/limits/limit_settings.h"
#include "app/util/settings/settings_store.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

constexpr double kWindowWidth = 640;
constexpr double kGraphHeight = 200;
constexpr double kTextHeight = 20;

struct SpeedHistory {
  runtime::QueueId samples = 0;
  std::function<void(DockRateGraph&)> drawTrayGraph;
  std::shared_ptr<runtime::Timer> timer;
};

SpeedHistory& Feed() {
  static SpeedHistory feed;
  return feed;
}

struct BandwidthWindow {
  std::weak_ptr<toolbox::Window> window;
  std::shared_ptr<BWGraphView> graph;
  std::shared_ptr<BWGraphTextView> text;
};

BandwidthWindow& Open() {
  static BandwidthWindow open;
  return open;
}

}  // namespace

RateHistory& TheRateHistory() {
  static auto* history = new RateHistory();  // lives for the whole run
  return *history;
}

DockRateGraph& TheDockRateGraph() {
  static DockRateGraph dock;
  return dock;
}

void InitSpeedHistory(runtime::QueueId samples, std::function<void(DockRateGraph&)> drawTrayGraph) {
  SpeedHistory& feed = Feed();
  feed.samples = samples;
  feed.drawTrayGraph = std::move(drawTrayGraph);
  engine::SetStatisticsWanted(true);
  if (feed.timer) feed.timer->Invalidate();
  feed.timer = runtime::Timer::Create(std::chrono::seconds(1), std::chrono::milliseconds(500),
                                      [](runtime::Timer&) { RateHistoryTimer(); });
  runtime::RunLoop::Main()->AddTimer(feed.timer);
}

void StopSpeedHistory() {
  SpeedHistory& feed = Feed();
  if (feed.timer) feed.timer->Invalidate();
  feed.timer.reset();
  feed.samples = 0;
  feed.drawTrayGraph = nullptr;
  engine::SetStatisticsWanted(false);
}

void RateHistoryTimer() {
  SpeedHistory& feed = Feed();
  if (feed.samples == 0) return;
  RateHistory& history = TheRateHistory();
  history.windowOpen = GetBandwidthWindow() != nullptr;
  runtime::Message m;
  while (runtime::WaitOnQueue(feed.samples, m, runtime::Nanoseconds(0)) == runtime::kNoErr) {
    const runtime::QueueId downloads = engine::LimiterQueue(engine::TransferDirection::kDownload);
    if (downloads == 0 || m.p2 != downloads) continue;
    const bool dockOn = util::CurrentSettings()->displayGraphInDock;
    const SampleOutcome out =
        AddRateSample(history, TheDockRateGraph(), static_cast<std::int32_t>(m.p1), dockOn);
    if (out.drawDock && feed.drawTrayGraph) feed.drawTrayGraph(TheDockRateGraph());
    if (out.windowNewMax) BandwidthWindowNewMax();
    if (out.windowRefresh) BandwidthWindowRefresh();
  }
}

void BWGraphView::Draw(toolbox::DrawingContext& ctx, const toolbox::Rect&) {
  if (g_ == nullptr) return;
  const toolbox::Size size = GetSize();
  DrawBandwidthGraph(ctx, *g_, scale_.scale, size.width, size.height);
}

void BWGraphView::OnBoundsChanged(const toolbox::Rect& old_bounds, const toolbox::Rect& new_bounds) {
  if (g_ == nullptr) return;
  scale_.Resize(*g_, new_bounds.width, new_bounds.height, old_bounds.height);
  Invalidate();
}

void BWGraphView::setGraphContext(RateHistory* history) {
  g_ = history;
  if (g_ != nullptr) {
    const toolbox::Size size = GetSize();
    scale_.SetContext(*g_, size.width, size.height);
  }
  Invalidate();
}

void BWGraphView::setScale(float scale) {
  if (scale == scale_.scale) return;
  scale_.scale = scale;
  Invalidate();
}

void BWGraphView::newMax() {
  if (g_ == nullptr) return;
  const float before = scale_.scale;
  scale_.NewMax(*g_, GetSize().height);
  if (before != scale_.scale) Invalidate();
}

void BWGraphView::recalculateScale() {
  if (g_ == nullptr) return;
  const float before = scale_.scale;
  scale_.Recalculate(*g_, GetSize().height);
  if (before != scale_.scale) Invalidate();
}

// The graph moves by one sample: the whole graph is drawn again (a few hundred bars once
// a second), which also keeps the grid's phase and the labels in step.
void BWGraphView::update() {
  Invalidate();
}

void BWGraphTextView::Draw(toolbox::DrawingContext& ctx, const toolbox::Rect&) {
  const toolbox::Size size = GetSize();
  ctx.SetFillColor(toolbox::Color::White());
  ctx.FillRect({0, 0, size.width, size.height});
  if (g_ == nullptr) return;
  const BandwidthTexts texts = BandwidthTextLine(*g_);
  toolbox::TextStyle style;
  style.font = toolbox::Font{"", 10};
  style.color = toolbox::Color::Black();
  const double h = size.height - 4;
  // Each text starts at its column, or further right when the one before it is wider
  // than its column in this font: texts are moved, never cut.
  double x = 85;
  const double columns[] = {85, 180, 365};
  const std::string* lines[] = {&texts.current, &texts.average5, &texts.average15};
  for (int i = 0; i < 3; ++i) {
    x = std::max(x, columns[i]);
    const double w = toolbox::MeasureText(*lines[i], style.font).width + 2;
    ctx.DrawText(*lines[i], {x, 2, w, h}, style);
    x += w + 10;
  }
}

void BWGraphTextView::setGraphContext(RateHistory* history) {
  g_ = history;
  Invalidate();
}

toolbox::Window* GetBandwidthWindow() {
  auto w = Open().window.lock();
  return w && !w->IsReleased() ? w.get() : nullptr;
}

BWGraphView* GetBandwidthGraphView() {
  return GetBandwidthWindow() ? Open().graph.get() : nullptr;
}

void BandwidthWindowNewMax() {
  if (BWGraphView* graph = GetBandwidthGraphView()) graph->newMax();
}

void BandwidthWindowRefresh() {
  if (BWGraphView* graph = GetBandwidthGraphView()) {
    graph->update();
    Open().text->Invalidate();
  }
}

toolbox::Window* ShowBandwidthWindow(RateHistory& history) {
  if (toolbox::Window* open = GetBandwidthWindow()) {
    open->Select();
    return open;
  }
  const auto w = toolbox::Window::Create({.kind = toolbox::WindowKind::kDocument,
                                          .title = values::Localized("Bandwidth"),
                                          .content = {0, 0, kWindowWidth, kGraphHeight + kTextHeight},
                                          .resizable = true});
  auto graph = std::make_shared<BWGraphView>();
  auto text = std::make_shared<BWGraphTextView>();
  w->AddView(
      {.kind = toolbox::ControlKind::kUserPane,
       .id = {toolbox::kApplicationSignature, kBandwidthGraphID},
       .bounds = {0, 0, kWindowWidth, kGraphHeight},
       .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight | toolbox::kBindBottom},
      graph);
  w->AddView({.kind = toolbox::ControlKind::kUserPane,
              .id = {toolbox::kApplicationSignature, kBandwidthTextID},
              .bounds = {0, kGraphHeight, kWindowWidth, kTextHeight},
              .bindings = toolbox::kBindLeft | toolbox::kBindRight | toolbox::kBindBottom},
             text);
  // The text line needs its whole width.
  w->SetMinimumSize({kWindowWidth, kTextHeight + 60});
  w->InstallHandler({{toolbox::kEventClassWindow, toolbox::kEventWindowDispose}},
                    [](runtime::HandlerCall&, runtime::Event&) -> runtime::Status {
                      TheRateHistory().windowOpen = false;
                      Open() = {};
                      return runtime::kEventNotHandledErr;
                    });
  if (!w->SetFrameAutosaveKey(kBandwidthAutosaveName)) w->Center();
  Open() = {w, graph, text};
  history.windowOpen = true;
  graph->setGraphContext(&history);
  text->setGraphContext(&history);
  w->Select();
  return w.get();
}

}  // namespace ui
