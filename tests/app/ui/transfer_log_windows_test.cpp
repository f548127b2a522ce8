// The log windows: the global log window following the log, the transfer-information
// window following its download's log (placeholder, appends, a log started afresh,
// closing), "Copy to email" handing the desktop a mailto URL with the log, and pictures
// of both windows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/engine/log/transfer_log.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/transfer_log/log_window.h"
#include "app/ui/transfer_log/transfer_info_window.h"
#include "app/ui/transfer_log/transfer_log_windows.h"
#include "platform/toolbox/app/application.h"
#include "platform/values/url_escape.h"
#include "tests/fakes/fake_workspace.h"

namespace ui {
namespace {

void KeepPicture(const toolbox::Window& w, const std::string& name) {
  toolbox::Application::Shared().ProcessPendingEvents();
  const toolbox::Image image = w.Grab();
  ASSERT_FALSE(image.IsNull()) << name;
  int dark = 0;  // the text is drawn: the picture is not one flat colour
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2)
      if (image.PixelAt(x, y).red < 0.35) ++dark;
  EXPECT_GT(dark, 20) << name;
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR")) {
    std::filesystem::create_directories(keep);
    EXPECT_TRUE(image.SavePng(std::string(keep) + "/" + name + ".png"));
  }
}

class TransferLogWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    queue::ClearQueueTables();
    engine::TransferLogRecordsSlot::Set(std::make_unique<queue::QueueTransferLogRecords>());
    InstallTransferLogWindows();
  }
  void TearDown() override {
    for (const auto& w : toolbox::Window::AllWindows()) w->Release();
    UninstallTransferLogWindows();
    engine::CloseGlobalLog();
    engine::TransferLogRecordsSlot::Set(nullptr);
    queue::ClearQueueTables();
  }
  queue::DownloadQueueElement& Add(std::uint32_t uid, const std::string& name,
                                   std::optional<std::string> log) {
    auto w = queue::DownloadQueueWrapper::Create();
    w->element().uid = uid;
    w->element().filename = name;
    w->element().transferLog.log = std::move(log);
    queue::QueueItemsSet(uid, w);
    return w->element();
  }
  static std::string TextOf(toolbox::Window& w) {
    return w.FindControl(toolbox::kApplicationSignature, kTransferInfoTextID)->Text();
  }
};

TEST_F(TransferLogWindowsTest, GlobalLogWindowFollowsTheLogAndItsCloseBoxOnlyHides) {
  engine::CreateGlobalLogWindow();
  toolbox::Window* w = GetGlobalLogWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(w->IsVisible());  // hidden until asked for
  engine::LogMessageToGlobalLog(false, "Download of %@ starting\r", {"file 100%.zip"});
  engine::LogMessageToGlobalLog(true, "Couldn't open the queue file.");
  toolbox::Control* view = w->FindControl(toolbox::kApplicationSignature, kGlobalLogTextID);
  const std::string text = view->Text();
  EXPECT_NE(text.find("\nDownload of file 100%.zip starting\n\n\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nError occurred:Couldn't open the queue file.\n\n"), std::string::npos) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos);

  engine::ShowGlobalLogWindow();
  EXPECT_TRUE(w->IsVisible());
  KeepPicture(*w, "global_log_window");
  w->Close();
  EXPECT_EQ(GetGlobalLogWindow(), w);
  EXPECT_FALSE(w->IsVisible());
  engine::ShowGlobalLogWindow();  // comes back with its text
  EXPECT_EQ(view->Text(), text);
}

TEST_F(TransferLogWindowsTest, TransferInfoWindowShowsAndFollowsItsDownloadsLog) {
  auto& element = Add(7, "report.pdf", "GET /report.pdf HTTP/1.1\rHost: 127.0.0.1\r\r");
  Add(8, "other.bin", "other download\r");
  toolbox::Window* w = ShowTransferInfoWindow(element);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Title(), "Transfer information for report.pdf");
  EXPECT_EQ(element.transferLog.window, w->serial());
  EXPECT_EQ(TextOf(*w), "GET /report.pdf HTTP/1.1\nHost: 127.0.0.1\n\n");
  EXPECT_EQ(w->FindControl(toolbox::kApplicationSignature, kTransferInfoButtonID)->Text(), "Copy to email");

  engine::AppendTransferLog("HTTP/1.1 200 OK\r\nContent-Length: 5\n", 7, nullptr);
  engine::AppendTransferLog("other line\r", 8, nullptr);  // another download's log
  EXPECT_EQ(TextOf(*w), "GET /report.pdf HTTP/1.1\nHost: 127.0.0.1\n\nHTTP/1.1 200 OK\nContent-Length: 5\n");
  EXPECT_FALSE(element.transferLog.logDirty);
  KeepPicture(*w, "transfer_info_window");

  engine::RefreshTransferLogView(7, nullptr);  // the download starts again
  EXPECT_EQ(TextOf(*w), "");
  engine::AppendTransferLog("\rConnecting\r", 7, nullptr);
  EXPECT_EQ(TextOf(*w), "\nConnecting\n");

  w->Close();  // the download forgets its window; later lines go nowhere
  EXPECT_EQ(element.transferLog.window, 0u);
  engine::AppendTransferLog("after\r", 7, nullptr);
  EXPECT_EQ(*element.transferLog.log, "\rConnecting\rafter\r");
}

TEST_F(TransferLogWindowsTest, EmptyLogShowsThePlaceholderUntilTheFirstLine) {
  auto& element = Add(9, "empty.iso", std::string());
  toolbox::Window* w = ShowTransferInfoWindow(element);
  EXPECT_EQ(TextOf(*w), "No transfer information to display.");
  engine::AppendTransferLog("Resolving 127.0.0.1\r", 9, nullptr);
  EXPECT_EQ(TextOf(*w), "Resolving 127.0.0.1\n");

  // A newer window takes over; the older one keeps what it shows.
  toolbox::Window* newer = ShowTransferInfoWindow(element);
  EXPECT_EQ(element.transferLog.window, newer->serial());
  engine::AppendTransferLog("Connected\r", 9, nullptr);
  EXPECT_EQ(TextOf(*newer), "Resolving 127.0.0.1\nConnected\n");
  EXPECT_EQ(TextOf(*w), "Resolving 127.0.0.1\n");
  w->Close();  // closing the older one leaves the newer one the download's
  EXPECT_EQ(element.transferLog.window, newer->serial());
}

TEST_F(TransferLogWindowsTest, CopyToEmailHandsTheDesktopTheLogAsAMailBody) {
  fakes::ScopedFakeWorkspace workspace;
  auto& element = Add(11, "a.zip", "a=b&c?d+e f\r\xC3\xA9t\xC3\xA9\r");
  toolbox::Window* w = ShowTransferInfoWindow(element);
  w->FindControl(toolbox::kApplicationSignature, kTransferInfoButtonID)->Click();
  ASSERT_EQ(workspace->mailed.size(), 1u);
  EXPECT_EQ(
      workspace->mailed[0],
      "mailto:support@truvane.org?subject=Transfer%20Log&Body=a%3Db%26c%3Fd%2Be%20f%0D%C3%A9t%C3%A9%0D");

  // The download gone: nothing is sent.
  queue::QueueItemsRemove(11);
  w->FindControl(toolbox::kApplicationSignature, kTransferInfoButtonID)->Click();
  EXPECT_EQ(workspace->mailed.size(), 1u);
}

TEST(TransferLogMailtoURL, ALongLogKeepsItsTailFromALineStart) {
  std::string log;
  for (int i = 0; log.size() <= kMailedLogLimit + 1000; ++i) log += "line " + std::to_string(i) + "\r";
  const auto url = TransferLogMailtoURL(log);
  ASSERT_TRUE(url);
  const std::string prefix = "mailto:support@truvane.org?subject=Transfer%20Log&Body=";
  ASSERT_EQ(url->rfind(prefix, 0), 0u);
  const auto body = values::PercentUnescape(url->substr(prefix.size()));
  ASSERT_TRUE(body);
  EXPECT_LE(body->size(), kMailedLogLimit);
  EXPECT_EQ(body->rfind("line ", 0), 0u);  // starts at a line
  EXPECT_EQ(log.substr(log.size() - body->size()), *body);

  EXPECT_FALSE(TransferLogMailtoURL("\xFF\xFE not UTF-8"));
}

}  // namespace
}  // namespace ui
