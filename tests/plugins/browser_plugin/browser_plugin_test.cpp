// The browser plug-in library driven as a browser drives it: downloads handed to a
// running Truvane (a recording stand-in on the event socket) or to one the plug-in starts,
// repeated requests, URL-list streams cut anywhere, the pages the browser is sent to, and
// how WebKit hosts differ from ordinary browsers.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files/standard_folders.h"
#include "platform/prefs/preference_store.h"
#include "plugins/app_handoff/app_handoff.h"
#include "plugins/browser_plugin/helper_pages.h"
#include "tests/plugins/browser_plugin/browser_host.h"
#include "tests/plugins/support/recording_app.h"
#include "tests/support/temp_home.h"

namespace {

using appleevents::AppleEvent;
using appleevents::Descriptor;
using browsertest::Browser;
using browsertest::Download;
using values::FourCC;

constexpr char kBack[] = "javascript:window.history.go(-1)";
constexpr char kBackAfterRepeat[] = "javascript:window.history.go(-2)";

void SetPreference(const char* key, std::optional<values::Value> value) {
  prefs::PreferenceStore store(prefs::DefaultPreferencesFolder());
  if (value) {
    store.Set(key, *value);
  } else {
    store.Remove(key);
  }
  ASSERT_TRUE(store.Synchronize().ok());
}

std::vector<std::string> Texts(const Descriptor* list) {
  std::vector<std::string> out;
  if (!list) return out;
  for (const Descriptor& d : list->Items()) out.push_back(d.data());
  return out;
}

std::string Z(std::string s) {
  return s + std::string(1, '\0');
}

std::string CachePage(const char* name) {
  return files::StandardFolderRef(files::StandardFolder::kCaches).Path() + "/Temporary Items/" + name;
}

class BrowserPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Browser() = {};
    SetPreference("plugin back", std::nullopt);
    SetPreference(plugins::kLastLocationKey, std::nullopt);
    browsertest::PluginLibrary::Get();
  }
  // A file name no other test asks for: the repeated-request table lives as long as the
  // library.
  static std::string Unique(const std::string& name) {
    static int n = 0;
    return std::to_string(::getpid()) + "-" + std::to_string(++n) + "-" + name;
  }
};

TEST_F(BrowserPluginTest, DownloadGoesToTheRunningProgramWithPageRefererAndCookie) {
  plugintest::RecordingApp app;
  ASSERT_TRUE(app.ok());
  Browser().pageValues = {{"document.referrer", "http://site.test/page.html"},
                          {"document.cookie", "a=1; b=2"}};
  const std::string url = "http://site.test/files/" + Unique("x.zip");
  {
    Download d("application/zip", url);
    // An ordinary browser is told to stop the transfer.
    EXPECT_EQ(d.WriteReady(), -1);
  }
  ASSERT_TRUE(app.WaitForEvents(1));
  const AppleEvent event = app.Events()[0];
  EXPECT_EQ(event.event_class(), FourCC("TrES"));
  EXPECT_EQ(event.event_id(), FourCC("AUrl"));
  EXPECT_EQ(Texts(event.Parameters().Find(FourCC("----"))), std::vector<std::string>{Z(url)});
  ASSERT_NE(event.Parameters().Find(FourCC("Refe")), nullptr);
  EXPECT_EQ(event.Parameters().Find(FourCC("Refe"))->data(), "http://site.test/page.html");
  EXPECT_EQ(Texts(event.Parameters().Find(FourCC("Co_k"))), std::vector<std::string>{"a=1; b=2"});
  // Sent to a running program: cookies before the referer.
  const auto& fields = event.Parameters().Fields();
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[1].first, FourCC("Co_k"));
  EXPECT_EQ(fields[2].first, FourCC("Refe"));
  EXPECT_EQ(Browser().navigations, std::vector<std::string>{kBack});
  EXPECT_EQ(Browser().evaluated, (std::vector<std::string>{"document.referrer", "document.cookie"}));
}

TEST_F(BrowserPluginTest, PageWithoutRefererOrCookiesSendsTheFolderPageAsReferer) {
  plugintest::RecordingApp app;
  ASSERT_TRUE(app.ok());
  // One character is no referer.
  Browser().pageValues = {{"document.referrer", "x"}};
  const std::string name = Unique("file.zip");
  { Download d("application/zip", "http://site.test/dir/" + name); }
  ASSERT_TRUE(app.WaitForEvents(1));
  const AppleEvent event = app.Events()[0];
  ASSERT_NE(event.Parameters().Find(FourCC("Refe")), nullptr);
  EXPECT_EQ(event.Parameters().Find(FourCC("Refe"))->data(), Z("http://site.test/dir/index.html"));
  EXPECT_EQ(event.Parameters().Find(FourCC("Co_k")), nullptr);
}

TEST_F(BrowserPluginTest, SameFileAgainWithin45SecondsIsNotHandedOffAndGoesBackFurther) {
  plugintest::RecordingApp app;
  ASSERT_TRUE(app.ok());
  const std::string name = Unique("again.zip") + "?v=1";
  { Download d("application/zip", "http://one.test/a/" + name); }
  // The same name and query from another host counts as the same file.
  { Download d("application/zip", "http://two.test/b/" + name); }
  // Another query is another file.
  { Download d("application/zip", "http://two.test/b/" + name + "2"); }
  ASSERT_TRUE(app.WaitForEvents(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(app.Events().size(), 2u);
  EXPECT_EQ(Browser().navigations, (std::vector<std::string>{kBack, kBackAfterRepeat, kBack}));
}

TEST_F(BrowserPluginTest, UrlListStreamCutAnywhereIsSentWholeInOneEvent) {
  plugintest::RecordingApp app;
  ASSERT_TRUE(app.ok());
  const std::string u1 = "http://h.test/" + Unique("1.zip"), u2 = "http://h.test/2.zip",
                    u3 = "http://h.test/3.zip";
  const std::string text = u1 + "\r\n" + u2 + "\r\n\r\n" + u3;  // the last line has no CR LF
  // Cut inside a URL and between CR and LF.
  const std::size_t cuts[] = {5, u1.size() + 1, u1.size() + 2 + u2.size() + 1};
  {
    Download d("application/x-url-list", "http://h.test/" + Unique("list.urls"));
    EXPECT_EQ(d.WriteReady(), 8192);
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
      EXPECT_EQ(d.Write(text.substr(from, cut - from)), static_cast<std::int32_t>(cut - from));
      from = cut;
    }
    EXPECT_EQ(d.Write(text.substr(from)), static_cast<std::int32_t>(text.size() - from));
    EXPECT_TRUE(app.Events().empty()) << "nothing is sent before the stream ends";
    EXPECT_EQ(d.End(), NPERR_NO_ERROR);
  }
  ASSERT_TRUE(app.WaitForEvents(1));
  const AppleEvent event = app.Events()[0];
  EXPECT_EQ(Texts(event.Parameters().Find(FourCC("----"))), (std::vector<std::string>{u1, u2, "", u3}));
  EXPECT_EQ(event.Parameters().Find(FourCC("Refe")), nullptr);
  EXPECT_EQ(event.Parameters().Find(FourCC("Co_k")), nullptr);
  EXPECT_EQ(Browser().navigations, std::vector<std::string>{kBack});
}

TEST_F(BrowserPluginTest, JavascriptStreamsPass) {
  plugintest::RecordingApp app;
  ASSERT_TRUE(app.ok());
  {
    Download d("application/zip", "javascript:void(" + Unique("0") + ")");
    EXPECT_EQ(d.WriteReady(), 8000);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(app.Events().empty());
  EXPECT_TRUE(Browser().navigations.empty());
}

TEST_F(BrowserPluginTest, NoProgramRunningOrFoundShowsTheFailurePage) {
  { Download d("application/zip", "http://h.test/" + Unique("lost.zip")); }
  const std::string page = CachePage("tr_alert.html");
  ASSERT_EQ(Browser().navigations, std::vector<std::string>{"file:" + page});
  EXPECT_EQ(testsupport::ReadFile(page), browserplugin::HelperPageText(browserplugin::HelperPage::kFailure));
  EXPECT_EQ(std::filesystem::status(std::filesystem::path(page).parent_path()).permissions() &
                std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
}

TEST_F(BrowserPluginTest, NotRunningStartsTheProgramAtLastLocationWithTheEvent) {
  plugintest::FakeProgram program(testsupport::MakeTempDir("app") + "/truvane");
  SetPreference(plugins::kLastLocationKey, values::Value(program.path()));
  Browser().pageValues = {{"document.referrer", "http://site.test/p.html"}, {"document.cookie", "k=v"}};
  const std::string url = "http://site.test/" + Unique("start.zip");
  { Download d("application/zip", url); }
  const auto event = program.InitialEvent();
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(Texts(event->Parameters().Find(FourCC("----"))), std::vector<std::string>{Z(url)});
  // With a launch the referer comes before the cookies.
  const auto& fields = event->Parameters().Fields();
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[1].first, FourCC("Refe"));
  EXPECT_EQ(fields[2].first, FourCC("Co_k"));
  EXPECT_EQ(Browser().navigations, std::vector<std::string>{kBack});
}

TEST_F(BrowserPluginTest, PluginBackOffShowsTheMessagePageAndAPlantedPageIsReplaced) {
  plugintest::RecordingApp app;
  ASSERT_TRUE(app.ok());
  SetPreference("plugin back", values::Value(false));
  const std::string page = CachePage(".__TRPluginHelperNB.html");
  const std::string repeated = CachePage(".__TRPluginHelperNB3.html");
  // Someone else's page (here: a link to another file) is never served or followed.
  const std::string elsewhere = testsupport::MakeTempDir("other") + "/evil.html";
  testsupport::WriteFile(elsewhere, "<script>evil()</script>");
  ASSERT_TRUE(browserplugin::TemporaryItemsFolder().has_value());
  std::filesystem::remove(page);
  std::filesystem::create_symlink(elsewhere, page);

  const std::string name = Unique("nb.zip");
  { Download d("application/zip", "http://h.test/" + name); }
  { Download d("application/zip", "http://h.test/" + name); }
  EXPECT_EQ(Browser().navigations, (std::vector<std::string>{"file:" + page, "file:" + repeated}));
  EXPECT_FALSE(std::filesystem::is_symlink(page));
  EXPECT_EQ(testsupport::ReadFile(page), browserplugin::HelperPageText(browserplugin::HelperPage::kNoBack));
  EXPECT_EQ(testsupport::ReadFile(elsewhere), "<script>evil()</script>");
  EXPECT_NE(testsupport::ReadFile(repeated).find("history.go(-3)"), std::string::npos);
}

struct WebKitCase {
  const char* creator;
  const char* version;  // null: no engine version
  std::int32_t writeReady;
  int streamsDestroyed;
};

TEST_F(BrowserPluginTest, WebKitHostsStopStreamsByEngineVersionAndGoBackThroughHelperPages) {
  const WebKitCase cases[] = {
      {"ShiR", "300", 1, 0},
      {"Jike", "299", -1, 1},
      {"sfri", nullptr, -1, 0},
      {"MOSS", "500", -1, 0},  // not a WebKit host: an ordinary browser
  };
  plugintest::RecordingApp app;
  ASSERT_TRUE(app.ok());
  for (const WebKitCase& c : cases) {
    SCOPED_TRACE(c.creator);
    Browser() = {};
    Browser().identity.fileCreator = c.creator;
    if (c.version) Browser().identity.webKitVersion = c.version;
    Browser().pageValues = {{"document.referrer", "http://site.test/p.html"}};
    {
      // Safari is never asked for the page's values; other hosts are, in an embedded instance.
      Download d("application/zip", "http://h.test/" + Unique("wk.zip"), NP_EMBED);
      EXPECT_EQ(d.WriteReady(), c.writeReady);
    }
    EXPECT_EQ(Browser().streamsDestroyed, c.streamsDestroyed);
    const bool webkit = std::string(c.creator) != "MOSS";
    EXPECT_EQ(Browser().navigations,
              std::vector<std::string>{webkit ? "file:" + CachePage(".__TRPluginHelper.html")
                                              : std::string(kBack)});
    EXPECT_EQ(Browser().evaluated.empty(), std::string(c.creator) == "sfri");
  }
}

TEST_F(BrowserPluginTest, LegacyEntryFillsTheSameTableAndReturnsShutdown) {
  using LegacyMain = NPError (*)(NPNetscapeFuncs*, NPPluginFuncs*, NPP_ShutdownProcPtr*);
  const auto legacy = reinterpret_cast<LegacyMain>(browsertest::PluginLibrary::Get().Symbol("main"));
  ASSERT_NE(legacy, nullptr);
  NPPluginFuncs table{};
  NPP_ShutdownProcPtr shutdown = nullptr;
  // A table too old for the scripting entries: they are not taken even when filled in.
  NPNetscapeFuncs old = browsertest::TestBrowserTable();
  old.version = kNPScriptingTableVersion;
  EXPECT_EQ(legacy(&old, &table, &shutdown), NPERR_NO_ERROR);
  plugintest::RecordingApp app;
  ASSERT_TRUE(app.ok());
  Browser().pageValues = {{"document.referrer", "http://site.test/p.html"}};
  { Download d("application/zip", "http://h.test/" + Unique("legacy.zip")); }
  EXPECT_TRUE(Browser().evaluated.empty());
  EXPECT_EQ(Browser().navigations, std::vector<std::string>{kBack});
  browsertest::PluginLibrary::Get().Reinitialize();
  EXPECT_EQ(table.newstream, browsertest::PluginLibrary::Get().funcs().newstream);
  EXPECT_EQ(reinterpret_cast<void*>(shutdown), browsertest::PluginLibrary::Get().Symbol("NP_Shutdown"));
  const auto& f = browsertest::PluginLibrary::Get().funcs();
  EXPECT_EQ(f.newp(nullptr, nullptr, NP_FULL, 0, nullptr, nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(f.getvalue(nullptr, 0, nullptr), NPERR_GENERIC_ERROR);
}

}  // namespace
