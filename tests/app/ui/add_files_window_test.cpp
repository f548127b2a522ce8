// The add-files-from-URL window: the form read into a scan request (a table of the
// form's rules), and the window worked by its controls: a bad address alerted, a scan
// started and stopped, closing while it runs asked first.
#include <gtest/gtest.h>

#include "app/ui/add_files/add_files_form.h"
#include "app/ui/add_files/add_files_window.h"
#include "platform/toolbox/controls/control.h"
#include "tests/app/ui/main_window_fixture.h"
#include "tests/fakes/scripted_presenter.h"

namespace ui {
namespace {

using toolbox::kApplicationSignature;

TEST(AddFilesFormTest, TheFormBecomesASafeRequest) {
  AddFilesForm form;
  form.url = " http://h.test/a dir/\n index.html\t";
  form.extensions = " .ZIP, tar ;";
  form.useExtensionList = true;
  form.connections = "40";
  form.useScanLevels = true;
  form.levels = "-2";
  form.minimumSize = "3";
  form.unitBytes = 1024;
  auto made = MakeCrawlRequestFromForm(form);
  ASSERT_TRUE(std::holds_alternative<AddFilesStart>(made));
  const auto& start = std::get<AddFilesStart>(made);
  EXPECT_EQ(start.request->startURL, "http://h.test/adir/index.html");
  EXPECT_EQ(start.request->extensionList, (std::vector<std::string>{"zip", "tar"}));
  EXPECT_EQ(start.extensions, "zip;tar;");
  EXPECT_EQ(start.request->connections, 16);
  EXPECT_EQ(start.request->levels, 0);
  EXPECT_EQ(start.request->minimumSize, 3072);
  EXPECT_FALSE(start.request->crawlID.empty());

  struct Case {
    const char* url;
    const char* extensions;
    const char* connections;
    std::string startURL;
    bool hasList;
    std::int32_t connectionsOut;
  } cases[] = {
      {"ftp://h.test/pub", "zip", "0", "ftp://h.test/pub/", true, 3},
      {"ftps://h.test/pub", "zip", "-4", "ftps://h.test/pub/", true, 1},
      {"https://h.test/", ".z", "5", "https://h.test/", false, 5},  // one character: no list
  };
  for (const Case& c : cases) {
    AddFilesForm f;
    f.url = c.url;
    f.extensions = c.extensions;
    f.useExtensionList = true;
    f.connections = c.connections;
    auto m = MakeCrawlRequestFromForm(f);
    ASSERT_TRUE(std::holds_alternative<AddFilesStart>(m)) << c.url;
    const auto& r = *std::get<AddFilesStart>(m).request;
    EXPECT_EQ(r.startURL, c.startURL);
    EXPECT_EQ(r.extensionList.has_value(), c.hasList) << c.url;
    EXPECT_EQ(r.connections, c.connectionsOut) << c.url;
    EXPECT_EQ(r.levels, 1) << "without the levels switch, one level";
  }

  const std::pair<const char*, const char*> refused[] = {
      {"gopher://h.test/", kSchemeMessage}, {"", kInvalidURLMessage}, {"not a url", kInvalidURLMessage}};
  for (const auto& [url, message] : refused) {
    AddFilesForm f;
    f.url = url;
    auto m = MakeCrawlRequestFromForm(f);
    ASSERT_TRUE(std::holds_alternative<std::string>(m)) << url;
    EXPECT_EQ(std::get<std::string>(m), message) << url;
  }
  AddFilesForm bad_regex;
  bad_regex.url = "http://h.test/";
  bad_regex.regex = "(";
  auto m = MakeCrawlRequestFromForm(bad_regex);
  ASSERT_TRUE(std::holds_alternative<std::string>(m));
  EXPECT_NE(std::get<std::string>(m).find("\"(\" is invalid"), std::string::npos);
}

TEST(AddFilesFormTest, RecentListsKeepThirtyNewestFirstEachOnce) {
  std::vector<std::string> list;
  for (int i = 0; i < 40; ++i) list = PutRecentEntry(list, "u" + std::to_string(i));
  ASSERT_EQ(list.size(), kAddFilesRecentLimit);
  EXPECT_EQ(list.front(), "u39");
  list = PutRecentEntry(list, "u20");
  EXPECT_EQ(list.front(), "u20");
  EXPECT_EQ(std::count(list.begin(), list.end(), "u20"), 1);
  EXPECT_EQ(list.size(), kAddFilesRecentLimit);
}

class AddFilesWindowTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    presenter_ = std::make_unique<fakes::ScopedScriptedPresenter>();
  }
  void TearDown() override {
    for (auto& w : toolbox::Window::AllWindows())
      if (w.get() != GetMainWindow()) w->Release();
    presenter_.reset();
    MainWindowFixture::TearDown();
  }
  static toolbox::Control* C(toolbox::Window* w, std::int32_t id) {
    return w->FindControl(kApplicationSignature, id);
  }
  std::unique_ptr<fakes::ScopedScriptedPresenter> presenter_;
};

TEST_F(AddFilesWindowTest, StartStopAndCloseWhileScanning) {
  toolbox::Window* w = OpenAddFilesFromURLWindow();
  ASSERT_NE(w, nullptr);
  auto controller = AddFilesControllerOfWindow(*w);
  ASSERT_TRUE(controller);
  EXPECT_FALSE(C(w, kAddFilesConnectionsField)->IsVisible());
  C(w, kAddFilesDisclosure)->Click();
  Pump();
  EXPECT_TRUE(C(w, kAddFilesConnectionsField)->IsVisible());

  C(w, kAddFilesURLField)->SetText("gopher://h.test/");
  C(w, kAddFilesStartButton)->Click();
  Pump();
  ASSERT_EQ(presenter_->get().alerts.size(), 1u);
  EXPECT_EQ(presenter_->get().alerts[0].message, kSchemeMessage);
  EXPECT_FALSE(controller->working());

  // A server that never answers keeps the scan busy while the window is looked at.
  C(w, kAddFilesURLField)->SetText("http://127.0.0.1:1/index.html");
  C(w, kAddFilesStartButton)->Click();
  Pump();
  EXPECT_TRUE(controller->working());
  EXPECT_FALSE(C(w, kAddFilesStartButton)->IsEnabled());
  EXPECT_EQ(C(w, kAddFilesStopButton)->Text(), "Stop");
  controller->AppendStatus("URL: http://127.0.0.1:1/index.html 0 links found\n");
  Pump();
  Keep(w->Grab(), "add_files_window_scanning");

  // Cancel keeps both the window and the scan.
  presenter_->get().alert_answers.push_back(1);
  w->Close();
  Pump();
  EXPECT_TRUE(controller->working());
  EXPECT_EQ(presenter_->get().alerts.back().message, "Closing this window will stop the operation.");

  C(w, kAddFilesStopButton)->Click();
  Pump();
  EXPECT_FALSE(controller->working());
  EXPECT_TRUE(C(w, kAddFilesStartButton)->IsEnabled());
  EXPECT_EQ(C(w, kAddFilesStopButton)->Text(), "Close");
}

}  // namespace
}  // namespace ui
