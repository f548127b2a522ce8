#include "app/util/settings/default_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

namespace {

using namespace util;

using values::Array;
using values::Dictionary;
using values::Number;
using values::Value;

Value I(int v) {
  return Value(Number::Int32(v));
}

struct Pane {
  const char* name;
  std::function<Dictionary()> make;
};

const Pane kPanes[] = {
    {"iTunes", trdefaults::defaultsForiTunesPane},
    {"Downloads", trdefaults::defaultsForDownloadsPane},
    {"General", trdefaults::defaultsForGeneralPane},
    {"Advanced", trdefaults::defaultsForAdvancedPane},
    {"Connection", trdefaults::defaultsForConnectionPane},
    {"Plugin", trdefaults::defaultsForPluginPane},
    {"Sharing", trdefaults::defaultsForSharingPane},
    {"Sensitive", trdefaults::defaultsForSensitivePane},
    {"Dock", trdefaults::defaultsForDockPane},
    {"Filters", trdefaults::defaultsForFiltersPane},
    {"Interface", trdefaults::defaultsForInterfacePane},
    {"Password", trdefaults::defaultsForPasswordPane},
    {"Queue", trdefaults::defaultsForQueuePane},
    {"Browser", trdefaults::defaultsForBrowserPane},
    {"RapidShare", trdefaults::defaultsForRapidSharePane},
};

// What the preferences file can hold and the typed readers take: Booleans, 32-bit
// integers (a wider number would read back as another width), strings, and arrays of
// strings. Null cannot be stored at all.
bool StorableDefault(const Value& v) {
  if (v.IsBool() || v.IsString()) return true;
  if (v.IsNumber()) return v.AsNumber()->kind == Number::Kind::kInt32;
  if (v.IsArray()) {
    for (const Value& item : *v.AsArray()) {
      if (!item.IsString()) return false;
    }
    return true;
  }
  return false;
}

TEST(DefaultSettings, EveryDefaultHasAStorableType) {
  for (const Pane& pane : kPanes) {
    const Dictionary defaults = pane.make();
    EXPECT_FALSE(defaults.empty()) << pane.name;
    for (const auto& [key, value] : defaults) {
      EXPECT_TRUE(StorableDefault(value)) << pane.name << " / " << key << ": " << value.Describe();
    }
  }
}

// Registration merges the panes into one table: a key in two panes would make one of
// them silently lose its default.
TEST(DefaultSettings, NoKeyIsRegisteredByTwoPanes) {
  std::map<std::string, std::string> owner;
  for (const Pane& pane : kPanes) {
    for (const auto& [key, value] : pane.make()) {
      const auto [it, fresh] = owner.emplace(key, pane.name);
      EXPECT_TRUE(fresh) << key << " in " << it->second << " and " << pane.name;
    }
  }
}

// The defaults other code relies on: how many downloads run at once and per server, the
// queue starting by itself, the stored queue being encrypted, removals being confirmed,
// plug-ins installing for the user alone, the anonymous FTP password and the user agent.
TEST(DefaultSettings, DefaultsThatDecideBehaviour) {
  struct Case {
    std::function<Dictionary()> pane;
    const char* key;
    Value expected;
  };
  const Case cases[] = {
      {trdefaults::defaultsForQueuePane, "Queue Length", I(6)},
      {trdefaults::defaultsForQueuePane, "autoStartQueue", true},
      {trdefaults::defaultsForQueuePane, "Start On Launch", true},
      {trdefaults::defaultsForSensitivePane, "limit sim dls", false},
      {trdefaults::defaultsForSensitivePane, "maxDomainDownloads", I(1)},
      {trdefaults::defaultsForGeneralPane, "encrypt queue", true},
      {trdefaults::defaultsForGeneralPane, "confirm removals", true},
      {trdefaults::defaultsForGeneralPane, "user agent type", I(7)},
      {trdefaults::defaultsForAdvancedPane, "systemplug", false},
      {trdefaults::defaultsForConnectionPane, "anon ftp password", "truvane@example.com"},
      {trdefaults::defaultsForDownloadsPane, "downloadMode", I(1)},
      {trdefaults::defaultsForDownloadsPane, "post download action", I(2)},
  };
  for (const Case& c : cases) {
    const Dictionary defaults = c.pane();
    const auto it = defaults.find(c.key);
    ASSERT_NE(it, defaults.end()) << c.key;
    EXPECT_EQ(it->second, c.expected) << c.key;
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
