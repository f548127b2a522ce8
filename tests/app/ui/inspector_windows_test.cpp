// The download inspector and the bandwidth window offscreen: what they hold, one window per
// download, the map following progress reports, closing with the download, the graph
// following injected samples, and pictures of both.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/engine/limits/limit_settings.h"
#include "app/queue/events/download_events.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/inspector/download_inspector.h"
#include "app/ui/rate_history/bandwidth_window.h"
#include "platform/runtime/message_queue.h"
#include "platform/toolbox/app/application.h"

namespace ui {
namespace {

void KeepPicture(const toolbox::Window& w, const std::string& name) {
  toolbox::Application::Shared().ProcessPendingEvents();
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR")) {
    std::filesystem::create_directories(keep);
    EXPECT_TRUE(w.GrabToPng(std::string(keep) + "/" + name + ".png"));
  }
}

std::string TextOf(toolbox::Window& w, std::int32_t id) {
  toolbox::Control* c = w.FindControl(toolbox::kApplicationSignature, id);
  return c ? c->Text() : "<none>";
}

values::Array Report(const engine::RangeList& ranges) {
  values::Array out;
  for (const auto& r : ranges)
    out.emplace_back(values::Array{values::Number::Int64(r.location), values::Number::Int64(r.length)});
  return out;
}

class InspectorWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { queue::ClearQueueTables(); }
  void TearDown() override {
    for (const auto& w : toolbox::Window::AllWindows()) w->Release();
    queue::DownloadReceivedRanges().clear();
    queue::ClearQueueTables();
  }
  queue::DownloadQueueElement& Add(std::uint32_t uid, const std::string& name, std::int64_t size) {
    auto w = queue::DownloadQueueWrapper::Create();
    w->element().uid = uid;
    w->element().filename = name;
    w->element().fileSize = size;
    queue::QueueItemsSet(uid, w);
    return w->element();
  }
};

TEST_F(InspectorWindowsTest, InspectorShowsTheDownloadAndFollowsItsReports) {
  queue::DownloadQueueElement& e = Add(7, "ubuntu-24.04-desktop-amd64.iso", 5000);
  e.status = queue::kStatusDownloading;
  e.progress = 0;
  toolbox::Window* w = ShowDownloadInspector(e);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(TextOf(*w, kInspectorNameID), "ubuntu-24.04-desktop-amd64.iso");
  EXPECT_EQ(TextOf(*w, kInspectorTimeID), "Unknown");  // no speed yet
  for (const char* label : {"Name:", "Size:", "Received:", "Time left:"}) {
    bool found = false;
    for (toolbox::Control* c : w->Controls()) found = found || c->Text() == label;
    EXPECT_TRUE(found) << label;
  }

  e.progress = 2500;
  e.rate = 1.0f;
  queue::DownloadReceivedRanges()[7] = Report({{0, 2000}, {3000, 500}});
  UpdateDownloadInspector(7);
  EXPECT_EQ(TextOf(*w, kInspectorTimeID), "2s (1.0KB/s)");
  DownloadProgressView* map = DownloadInspectorMap(7);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->downloadedRanges(), (engine::RangeList{{0, 2000}, {3000, 500}}));
  EXPECT_EQ(map->fileSize(), 5000);

  // The map as drawn: the first cell received, a cell past the first range not.
  toolbox::Application::Shared().ProcessPendingEvents();
  const toolbox::Image picture = w->Grab();
  toolbox::Control* mapControl = w->FindControl(toolbox::kApplicationSignature, kInspectorMapID);
  const toolbox::Rect b = mapControl->Bounds();
  EXPECT_EQ(picture.PixelAt(static_cast<int>(b.x) + 4, static_cast<int>(b.y) + 4),
            (toolbox::Color{0, 1, 0, 1}));
  EXPECT_EQ(picture.PixelAt(static_cast<int>(b.Right()) - 4, static_cast<int>(b.Bottom()) - 4),
            toolbox::Color::Black());
  KeepPicture(*w, "download_inspector");

  // Opening again brings the same window forward.
  EXPECT_EQ(ShowDownloadInspector(e), w);
  // The download leaving the queue closes it.
  CloseDownloadInspector(7);
  EXPECT_EQ(FindDownloadInspector(7), nullptr);
}

TEST_F(InspectorWindowsTest, StoppedAndFinishedDownloadsShowTheirRanges) {
  queue::DownloadQueueElement& done = Add(1, "done.zip", 800);
  done.status = queue::kStatusCompleted;
  done.progress = 800;
  toolbox::Window* w = ShowDownloadInspector(done);
  EXPECT_EQ(TextOf(*w, kInspectorTimeID), "N/A");
  EXPECT_EQ(DownloadInspectorMap(1)->downloadedRanges(), (engine::RangeList{{0, 800}}));

  queue::DownloadQueueElement& unknown = Add(2, "growing.log", 0);
  unknown.status = queue::kStatusDownloading;
  unknown.rate = 50;
  toolbox::Window* w2 = ShowDownloadInspector(unknown);
  EXPECT_NE(w2, w);
  EXPECT_EQ(TextOf(*w2, kInspectorTimeID), "Unknown");
  EXPECT_EQ(TextOf(*w2, kInspectorSizeID), "");
}

TEST_F(InspectorWindowsTest, BandwidthWindowDrawsInjectedSamples) {
  runtime::QueueId samples = 0, limiter = 0;
  ASSERT_EQ(runtime::CreateQueue(samples), runtime::kNoErr);
  ASSERT_EQ(runtime::CreateQueue(limiter), runtime::kNoErr);
  engine::SetLimiterQueue(engine::TransferDirection::kDownload, limiter);
  int trayDraws = 0;
  InitSpeedHistory(samples, [&](DockRateGraph&) { ++trayDraws; });
  EXPECT_TRUE(engine::StatisticsWanted());

  RateHistory& history = TheRateHistory();
  toolbox::Window* w = ShowBandwidthWindow(history);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(ShowBandwidthWindow(history), w);
  EXPECT_EQ(history.graphCount, 640 - kGraphBorderWidth);
  for (int i = 1; i <= 120; ++i)
    runtime::NotifyQueue(samples, static_cast<runtime::Word>(i * 1024), limiter, 0);
  runtime::NotifyQueue(samples, 999999, 12345, 0);  // another limiter's sample is not taken
  RateHistoryTimer();
  EXPECT_EQ(history.last, 120 * 1024);
  EXPECT_EQ(history.graphMax, 120 * 1024);
  EXPECT_EQ(trayDraws, 0);  // the tray graph is off by default

  toolbox::Application::Shared().ProcessPendingEvents();
  const toolbox::Image picture = w->Grab();
  // The newest bar (rightmost) is tall, older ones shorter: a rising graph.
  const int right = 640 - 1;
  const int bottom = 200 - 3;
  EXPECT_GT(picture.PixelAt(right, 40).red, picture.PixelAt(right, 40).blue);
  EXPECT_GT(picture.PixelAt(right - 60, bottom).red, picture.PixelAt(right - 60, bottom).blue);
  EXPECT_LT(picture.PixelAt(right - 119, 40).red, picture.PixelAt(right - 119, 40).blue);
  KeepPicture(*w, "bandwidth_window");
  // The text line: the newest sample and the averages.
  EXPECT_EQ(BandwidthTextLine(history).current, "120.0 KB/s");

  w->Release();
  EXPECT_EQ(GetBandwidthWindow(), nullptr);
  EXPECT_FALSE(history.windowOpen);
  StopSpeedHistory();
  engine::SetLimiterQueue(engine::TransferDirection::kDownload, 0);
  runtime::DeleteQueue(samples);
  runtime::DeleteQueue(limiter);
}

}  // namespace
}  // namespace ui
