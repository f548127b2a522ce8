#include "app/util/settings/default_settings.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace util;

using values::Array;
using values::Dictionary;
using values::Number;
using values::Value;

Value I(int v) {
  return Value(Number::Int32(v));
}

struct PaneCase {
  const char* pane;
  std::function<Dictionary()> make;
  Dictionary expected;
};

// Every registered default, pane by pane, with its type: a Boolean where a Boolean is
// registered, a number where a number is.
std::vector<PaneCase> Panes() {
  return {
      {"iTunes",
       trdefaults::defaultsForiTunesPane,
       {{"addSongsToiTunes", true}, {"playlist name", "Truvane"}}},
      {"Downloads",
       trdefaults::defaultsForDownloadsPane,
       {{"postprocesstypes", ".sit;.sitx;.bin;.hqx;.zip;.dmg;.gz;.tgz;.tar;.bz2;.tbz"},
        {"Post Process", true},
        {"switchMain", false},
        {"Bring to front", true},
        {"discon when done", false},
        {"sleep when done", false},
        {"logout when done", false},
        {"quit when done", false},
        {"shutdown when done", false},
        {"playsound1", false},
        {"playsoundall", false},
        {"take action when done", false},
        {"post download action", I(2)},
        {"historylifetime", I(1)},
        {"remove when", I(1)},
        {"downloadMode", I(1)},
        {"inactivity timer duration", I(0)},
        {"downloadDoubleClickAction", I(1)}}},
      {"General",
       trdefaults::defaultsForGeneralPane,
       {{"confirm removals", true},
        {"Use Error Log", false},
        {"reconnectAtStart", true},
        {"updateTag", I(1)},
        {"hide on startup", false},
        {"warn on quit if receiving file", true},
        {"encrypt queue", true},
        {"Enable PF support", false},
        {"BounceCount", I(1)},
        {"NoDockBounces", false},
        {"hideHiddenFiles", true},
        {"user agent type", I(7)},
        {"warnonquit", false},
        {"warnonlyifdl", false}}},
      // Plug-ins install for the user alone unless asked otherwise, on every system.
      {"Advanced", trdefaults::defaultsForAdvancedPane, {{"systemplug", false}, {"tcpWindowSize", false}}},
      {"Connection",
       trdefaults::defaultsForConnectionPane,
       {{"Default Ports", I(3)}, {"anon ftp password", "truvane@example.com"}}},
      {"Plugin",
       trdefaults::defaultsForPluginPane,
       {{"last enabled extensions",
         Array{"sit", "sitx", "bin", "hqx", "zip", "gz", "dmg", "tgz", "exe", "tar", "urls"}},
        {"plugin back", true}}},
      {"Sharing",
       trdefaults::defaultsForSharingPane,
       {{"unknownHostPolicy", I(1)},
        {"insecureHostPolicy", false},
        {"Share Folders", false},
        {"Max downloads", I(4)},
        {"Max uploads", I(4)},
        {"Share port", I(2550)},
        {"advertise rendezvous", true},
        {"show activity on start", true},
        {"requireSecureTransfer", false},
        {"clear cancelled uploads", false},
        {"clear finished uploads", false},
        {"cancel uploads on disconnect", false},
        {"prompt on disconnect", false}}},
      {"Sensitive",
       trdefaults::defaultsForSensitivePane,
       {{"limit sim dls", false}, {"maxDomainDownloads", I(1)}}},
      {"Dock",
       trdefaults::defaultsForDockPane,
       {{"displaygraphindock", false},
        {"displayreceivedfilesindock", true},
        {"displayjobsindock", true},
        {"displayuploadcountindock", true},
        {"show speeds", true}}},
      {"Filters",
       trdefaults::defaultsForFiltersPane,
       {{"use filters", true}, {"keep_filters_organised", true}}},
      {"Interface",
       trdefaults::defaultsForInterfacePane,
       {{"show servers", true},
        {"show history", true},
        {"splitpanes", true},
        {"show uploads", true},
        {"show received files", true},
        {"fontSize", I(2)}}},
      {"Password",
       trdefaults::defaultsForPasswordPane,
       {{"Use password data", true}, {"Save password data", true}}},
      {"Queue",
       trdefaults::defaultsForQueuePane,
       {{"Queue Length", I(6)},
        {"autoStartQueue", true},
        {"Start On Launch", true},
        {"Start if Connected", true},
        {"Downloads stop with queue", true},
        {"Uploads stop with queue", true},
        {"max sim uploads", I(4)},
        {"start ul on launch", true},
        {"start ul if connected", true}}},
      {"Browser",
       trdefaults::defaultsForBrowserPane,
       {{"plugin deactivated", false}, {"special cased domains", Array{}}}},
      {"RapidShare",
       trdefaults::defaultsForRapidSharePane,
       {{"rapidshareLogin", ""},
        {"rapidsharePassword", ""},
        {"rapidshareAccountType", I(1)},
        {"contextshowuploadmenu", true}}},
  };
}

// Numbers compare across widths in Value's ==, so the width is checked on its own.
void ExpectSameTypes(const Value& expected, const Value& actual, const std::string& where) {
  ASSERT_EQ(expected.type(), actual.type()) << where;
  if (expected.IsNumber()) EXPECT_EQ(expected.AsNumber()->kind, actual.AsNumber()->kind) << where;
}

TEST(DefaultSettings, EveryPaneHoldsExactlyItsKeysWithTheirTypes) {
  for (const PaneCase& c : Panes()) {
    const Dictionary actual = c.make();
    EXPECT_EQ(Value(c.expected), Value(actual)) << c.pane << " pane: " << Value(actual).Describe();
    for (const auto& [key, value] : c.expected) {
      auto it = actual.find(key);
      if (it != actual.end()) ExpectSameTypes(value, it->second, std::string(c.pane) + " / " + key);
    }
  }
}

TEST(DefaultSettings, EachCallReturnsAFreshDictionary) {
  Dictionary first = trdefaults::defaultsForGeneralPane();
  first["confirm removals"] = false;
  first.erase("warnonquit");
  const Dictionary second = trdefaults::defaultsForGeneralPane();
  EXPECT_EQ(Value(true), second.at("confirm removals"));
  EXPECT_TRUE(second.contains("warnonquit"));
  EXPECT_EQ(14u, second.size());
}

TEST(DefaultSettings, RegistrationsComeInStartUpOrder) {
  const std::vector<Dictionary> registrations = DefaultSettingsRegistrations();
  const std::vector<Dictionary> expected = {
      {{"lastExtension", ".jpg;.gif;.png;.pdf;.mov;.mpg;.mpeg;.avi"}, {"addFilesUseExtensions", true}},
      {{"advanced_mode", true}},
      trdefaults::defaultsForAdvancedPane(),
      trdefaults::defaultsForConnectionPane(),
      trdefaults::defaultsForPluginPane(),
      trdefaults::defaultsForSharingPane(),
      trdefaults::defaultsForDownloadsPane(),
      trdefaults::defaultsForSensitivePane(),
      trdefaults::defaultsForDockPane(),
      trdefaults::defaultsForInterfacePane(),
      trdefaults::defaultsForPasswordPane(),
      trdefaults::defaultsForQueuePane(),
      trdefaults::defaultsForFiltersPane(),
      trdefaults::defaultsForBrowserPane(),
      trdefaults::defaultsForGeneralPane(),
      trdefaults::defaultsForiTunesPane(),
      trdefaults::defaultsForRapidSharePane(),
  };
  ASSERT_EQ(expected.size(), registrations.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(Value(expected[i]), Value(registrations[i])) << i;
}

}  // namespace
