#include "app/util/settings/settings_codec.h"

#include <gtest/gtest.h>

#include "tests/app/util/settings_test_support.h"

namespace {

using namespace util;

using values::Array;
using values::Data;
using values::Dictionary;
using values::Number;
using values::Value;

Value I16(int v) {
  return Value(Number::Int16(static_cast<std::int16_t>(v)));
}
Value I32(int v) {
  return Value(Number::Int32(v));
}
Value I64(std::int64_t v) {
  return Value(Number::Int64(v));
}
Value F32(float v) {
  return Value(Number::Float32(v));
}

constexpr const char* kSafari =
    "Mozilla/5.0 (Macintosh; U; Intel Mac OS X 10_5_5; en-us) AppleWebKit/525.26.2 (KHTML, like Gecko) "
    "Version/3.2 Safari/525.26.12";

Settings Load(const Dictionary& domain, const Value* systemPlug = nullptr) {
  return ReadSettings({domain, systemPlug, nullptr}, Settings{}, false, {});
}

values::Dictionary Save(const Settings& s, const Dictionary& stored = {}) {
  SavedExtras extras;
  const SharingUsersTable users = ReadSharingUsers(nullptr);
  extras.users = CopySharingUsersDictionary(users);
  return BuildSavedPreferences(s, stored, extras);
}

TEST(SettingsCodec, EmptyDomainSavesEveryStoreKeyWithItsDefaultAndType) {
  const Dictionary expected = {
      {"float above all", false},
      {"switchMain", false},
      {"domainLimits", Dictionary{}},
      {"plugin back", true},
      {"postprocesstypes", ".sit;.sitx;.bin;.hqx;.zip;.dmg;.gz;.tgz;.tar;.bz2;.tbz"},
      {"anon ftp password", "truvane@example.com"},
      {"Queue Length", I16(6)},
      {"Default Ports", I32(3)},
      {"UsePassiveFTP", true},
      {"Start On Launch", true},
      {"autoStartQueue", true},
      {"Start if Connected", true},
      {"Use Error Log", false},
      {"Downloads stop with queue", true},
      {"Post Process", true},
      {"Remove Completed", false},
      {"allow uploads", true},
      {"reconnectAtStart", true},
      {"Updates Autocheck", true},
      {"Use help tags", true},
      {"hide on startup", false},
      {"Bring to front", true},
      {"discon when done", false},
      {"sleep when done", false},
      {"logout when done", false},
      {"quit when done", false},
      {"shutdown when done", false},
      {"Use password data", true},
      {"Save password data", true},
      {"install plugin", true},
      {"User agent", kSafari},
      {"Bandwidth settings",
       Dictionary{{"limit", I32(65536)}, {"status", false}, {"total", I32(0)}, {"connection type", I32(1)}}},
      {"Bandwidth Settings", Dictionary{{"limit", I32(65536)}, {"status", false}}},
      {"Upload Bandwidth settings", Dictionary{{"limit", I32(32768)}, {"status", false}}},
      {"Upload Bandwidth Settings", Dictionary{{"limit", I32(32768)}, {"status", false}}},
      {"Bandwidth settings2", Dictionary{{"limit", I32(16384)}, {"status", false}}},
      {"Users", Dictionary{{"Guest", Dictionary{{"auth", Data{}},
                                                {"access", Array{}},
                                                {"dlAccess", Array{}},
                                                {"quota", I64(-1)},
                                                {"canUpload", false}}}}},
      {"Share port", I16(2550)},
      {"Share Folders", false},
      {"Share Files", true},
      {"Max downloads", I32(4)},
      {"Max uploads", I32(4)},
      {"maxDomainDownloads", I32(1)},
      {"displaygraphindock", false},
      {"displayjobsindock", true},
      {"displayreceivedfilesindock", true},
      {"displayuploadcountindock", true},
      {"tcpWindowSize", false},
      {"blackList", Array{}},
      {"dockForRGBA",
       Dictionary{{"red", I32(65535)}, {"green", I32(0)}, {"blue", I32(0)}, {"alpha", F32(0.7f)}}},
      {"dockBackRGBA",
       Dictionary{{"red", I32(50176)}, {"green", I32(55808)}, {"blue", I32(60160)}, {"alpha", F32(0.7f)}}},
      {"LastEditedUser", "Guest"},
      {"show servers", true},
      {"show filters", true},
      {"show history", true},
      {"show remote", true},
      {"show rendezvous", true},
      {"show uploads", true},
      {"show file sharing", true},
      {"show received files", true},
  };
  settingstest::ExpectSameDictionary(expected, Save(Load({})));
}

TEST(SettingsCodec, EmptyDomainGivesTheDefaultsOfKeysTheStoreDoesNotSave) {
  const Settings s = Load({});
  EXPECT_EQ(2, s.fontSize);
  EXPECT_TRUE(s.showToolbar);
  EXPECT_TRUE(s.splitPanes);
  EXPECT_EQ(190, s.splitterXpos);
  EXPECT_EQ(1.0f, s.floaterAlpha);
  EXPECT_EQ((MainWindowSettings{0, 0, 0, 0, 1.0f}), s.mainWindow);
  EXPECT_EQ((BandwidthWindowSettings{0, 0, 0, 0, 1.0f}), s.bandwidthWindow);
  EXPECT_FALSE(s.limitSimultaneousDownloads);
  EXPECT_EQ(7, s.userAgentType);
  EXPECT_EQ(kSafari, s.userAgent);
  EXPECT_FALSE(s.requireSecureTransfer);
  EXPECT_EQ(0, s.filesTransferred);
  EXPECT_EQ(0, s.bytesTransferred);
  EXPECT_EQ((SettingsColor{{53970, 54484, 65535}, 1.0f}), s.miniBack);
  EXPECT_FALSE(s.systemPlug);
  EXPECT_TRUE(s.advancedMode);
  EXPECT_EQ((BandwidthLimit{65536, false}), s.downloadBandwidth);
  EXPECT_EQ((BandwidthLimit{32768, false}), s.uploadBandwidth);
  EXPECT_EQ((BandwidthLimit{16384, false}), s.serverSendBandwidth);
  EXPECT_EQ((BandwidthLimit{16384, false}), s.serverReceiveBandwidth);
  EXPECT_EQ("", s.queueSound);
  EXPECT_EQ("", s.downloadSound);
  EXPECT_TRUE(s.savedCerts.IsNull());
  EXPECT_TRUE(s.recentSearches.empty());
  EXPECT_TRUE(s.confirmRemovals);
  EXPECT_TRUE(s.hideHiddenFiles);
  EXPECT_EQ(values::FourCC("MACS"), s.fileManagerSignature);
}

struct NumberCase {
  const char* what;
  Dictionary domain;
  std::int64_t (*field)(const Settings&);
  std::int64_t expected;
};

TEST(SettingsCodec, ClampsConversionsAndWrongTypes) {
  auto fontSize = [](const Settings& s) -> std::int64_t { return s.fontSize; };
  auto maxDomain = [](const Settings& s) -> std::int64_t { return s.maxDomainDownloads; };
  auto queueLength = [](const Settings& s) -> std::int64_t { return s.queueLength; };
  auto sharePort = [](const Settings& s) -> std::int64_t { return s.sharePort; };
  auto ports = [](const Settings& s) -> std::int64_t { return s.defaultPorts; };
  auto shareFiles = [](const Settings& s) -> std::int64_t { return s.shareFiles; };
  auto allowUploads = [](const Settings& s) -> std::int64_t { return s.allowUploads; };
  auto startOnLaunch = [](const Settings& s) -> std::int64_t { return s.startOnLaunch; };
  auto files = [](const Settings& s) -> std::int64_t { return s.filesTransferred; };
  const NumberCase cases[] = {
      {"fontSize 0 reads as 2", {{"fontSize", I32(0)}}, fontSize, 2},
      {"fontSize 3 reads as 2", {{"fontSize", I32(3)}}, fontSize, 2},
      {"fontSize 1 is kept", {{"fontSize", I32(1)}}, fontSize, 1},
      {"fontSize as decimal text", {{"fontSize", "1"}}, fontSize, 1},
      {"fontSize as other text is no size", {{"fontSize", "big"}}, fontSize, 2},
      {"maxDomainDownloads 0 reads as 1", {{"maxDomainDownloads", I32(0)}}, maxDomain, 1},
      {"negative maxDomainDownloads reads as 1", {{"maxDomainDownloads", I32(-4)}}, maxDomain, 1},
      {"maxDomainDownloads 5 is kept", {{"maxDomainDownloads", I64(5)}}, maxDomain, 5},
      {"a 16-bit setting stored 64-bit", {{"Queue Length", I64(9)}}, queueLength, 9},
      {"a real is cut toward zero", {{"Queue Length", Value(9.7)}}, queueLength, 9},
      {"too wide for 16 bits is no value", {{"Queue Length", I32(70000)}}, queueLength, 6},
      {"an array is no number", {{"Queue Length", Array{I32(3)}}}, queueLength, 6},
      {"decimal text too wide for 16 bits", {{"Queue Length", "70000"}}, queueLength, 6},
      {"a port too wide is no port", {{"Share port", I32(70000)}}, sharePort, 2550},
      {"a port", {{"Share port", I16(2551)}}, sharePort, 2551},
      {"a port above 32767 in its stored form", {{"Share port", I16(-25536)}}, sharePort, 40000},
      {"a port above 32767 written as itself", {{"Share port", I32(40000)}}, sharePort, 40000},
      {"the highest port", {{"Share port", I16(-1)}}, sharePort, 65535},
      {"below the 16-bit form is no port", {{"Share port", I32(-40000)}}, sharePort, 2550},
      {"a port as decimal text", {{"Share port", "50000"}}, sharePort, 50000},
      {"Default Ports beyond 32 bits", {{"Default Ports", I64(1LL << 40)}}, ports, 3},
      {"Max downloads 0 turns file sharing off", {{"Max downloads", I32(0)}}, shareFiles, 0},
      {"Max downloads 2 keeps it on", {{"Max downloads", I32(2)}}, shareFiles, 1},
      {"Max uploads 0 refuses peer uploads", {{"Max uploads", I32(0)}}, allowUploads, 0},
      {"Max uploads -1 refuses them too", {{"Max uploads", I32(-1)}}, allowUploads, 0},
      {"a Boolean", {{"Start On Launch", false}}, startOnLaunch, 0},
      {"a number as a Boolean", {{"Start On Launch", I32(0)}}, startOnLaunch, 0},
      {"NO as text", {{"Start On Launch", "NO"}}, startOnLaunch, 0},
      {"text that says neither", {{"Start On Launch", "maybe"}}, startOnLaunch, 1},
      {"a dictionary is no Boolean", {{"Start On Launch", Dictionary{}}}, startOnLaunch, 1},
      {"statistics are 64-bit", {{"Files transfered", I64(5000000000)}}, files, 5000000000},
  };
  for (const NumberCase& c : cases) EXPECT_EQ(c.expected, c.field(Load(c.domain))) << c.what;
}

// A port above 32767 comes back as itself after a save and a load, and the key keeps
// its signed 16-bit form.
TEST(SettingsCodec, SharePortKeepsItsStoredFormAcrossASave) {
  for (const std::uint16_t port :
       {std::uint16_t{2550}, std::uint16_t{32768}, std::uint16_t{40000}, std::uint16_t{65534}}) {
    Settings s;
    s.sharePort = port;
    const Dictionary saved = Save(s);
    const Value& stored = saved.at("Share port");
    ASSERT_TRUE(stored.AsNumber()) << port;
    EXPECT_EQ(stored.AsNumber()->kind, Number::Kind::kInt16) << port;
    EXPECT_EQ(Load(saved).sharePort, port);
  }
}

TEST(SettingsCodec, UserAgentFollowsItsType) {
  const std::pair<Value, std::string> cases[] = {
      {I32(1), "Truvane/5070"},
      {I32(2), "Mozilla/4.5 (compatible; iCab 2.9.8; Macintosh; U; PPC; Mac OS X)"},
      {I32(3), "Mozilla/4.0 (compatible; MSIE 5.22; Mac_PowerPC)"},
      {I32(4),
       "Mozilla/5.0 (Macintosh; U; Intel Mac OS X; en-US; rv:1.8.1.6) Gecko/20070725 Firefox/2.0.0.6"},
      {I32(5),
       "Mozilla/5.0 (Macintosh; U; PPC Mac OS X; en-US) AppleWebKit/125.4 (KHTML, like Gecko, Safari) "
       "OmniWeb/v563.34"},
      {I32(6), "Mozilla/4.0 (compatible; MSIE 5.0; Macintosh; PPC) Opera 6.0 "},
      {I32(0), kSafari},
      {I32(7), kSafari},
      {I32(8), kSafari},
      {Value(), kSafari},
  };
  for (const auto& [type, agent] : cases) {
    Dictionary domain = {{"User agent", "Custom/1.0"}};
    if (!type.IsNull()) domain["user agent type"] = type;
    const Settings s = Load(domain);
    EXPECT_EQ(agent, s.userAgent) << type.Describe();
    EXPECT_EQ(Value(agent), Save(s).at("User agent"));
  }
}

TEST(SettingsCodec, CompoundValues) {
  const Dictionary domain = {
      {"domainLimits", Dictionary{{"a.example", I64(0)}, {"b.example", I64(3)}, {"c.example", "x"}}},
      {"blackList", Array{".example.org", I32(4), "host.example"}},
      {"dockForRGBA",
       Dictionary{{"red", I32(1)}, {"green", I32(2)}, {"blue", I32(70000)}, {"alpha", F32(0.5f)}}},
      {"dockBackRGBA", Dictionary{{"red", I32(1)}}},  // incomplete: the default colour
      {"miniBackRGBA", "blue"},
      {"main window settings", Dictionary{{"xpos", I16(10)},
                                          {"ypos", I16(20)},
                                          {"xsize", I16(800)},
                                          {"ysize", I16(600)},
                                          {"windowAlpha", F32(0.9f)}}},
      {"bandwidth window settings", Dictionary{{"width", I16(300)}}},
      {"recentSearches", Array{"iso"}},
      {"saved certs", Array{Data{{1}}}},
      {"advanced_mode", false},
  };
  const Settings s = Load(domain);
  EXPECT_EQ((DomainLimits{{"a.example", 1}, {"b.example", 3}}), s.domainLimits);
  EXPECT_EQ((std::vector<std::string>{".example.org", "host.example"}), s.blackList);
  EXPECT_EQ((SettingsColor{{1, 2, 65535}, 0.5f}), s.dockFore);
  EXPECT_EQ((SettingsColor{{50176, 55808, 60160}, 0.7f}), s.dockBack);
  EXPECT_EQ((SettingsColor{{53970, 54484, 65535}, 1.0f}), s.miniBack);
  EXPECT_EQ((MainWindowSettings{10, 20, 800, 600, 0.9f}), s.mainWindow);
  EXPECT_EQ((BandwidthWindowSettings{0, 0, 300, 0, 1.0f}), s.bandwidthWindow);
  EXPECT_EQ(Value(Array{"iso"}), Value(s.recentSearches));
  EXPECT_EQ(Value(Array{Data{{1}}}), s.savedCerts);
  EXPECT_FALSE(s.advancedMode);

  const Dictionary saved = Save(s);
  EXPECT_EQ(Value(Dictionary{{"a.example", I64(1)}, {"b.example", I64(3)}}), saved.at("domainLimits"));
  settingstest::ExpectSameWidths(Value(Dictionary{{"b.example", I64(3)}}), saved.at("domainLimits"),
                                 "domainLimits");
  EXPECT_EQ(Value(Array{".example.org", "host.example"}), saved.at("blackList"));
}

TEST(SettingsCodec, SystemWidePlugInsOnlyWhenStored) {
  const Value on = true;
  const Value off = false;
  EXPECT_FALSE(Load({}, nullptr).systemPlug);
  EXPECT_TRUE(Load({}, &on).systemPlug);
  EXPECT_FALSE(Load({}, &off).systemPlug);
  // The current-user copy of the key is not the one that counts.
  EXPECT_FALSE(Load({{"systemplug", true}}, nullptr).systemPlug);
}

TEST(SettingsCodec, UserDefaultsKeysComeFromTheUserDefaultsView) {
  const Dictionary domain = {{"confirm removals", true}};
  auto prefBool = [](std::string_view key) { return key == "Enable PF support"; };
  const Settings s = ReadSettings({domain, nullptr, prefBool}, Settings{}, false, {});
  EXPECT_FALSE(s.confirmRemovals);
  EXPECT_FALSE(s.hideHiddenFiles);
  EXPECT_TRUE(s.enablePFSupport);
  EXPECT_EQ(values::FourCC("PFdR"), s.fileManagerSignature);
}

TEST(SettingsCodec, ReloadKeepsStartUpOnlyValues) {
  Settings previous;
  previous.splitterXpos = 10;
  previous.filesTransferred = 77;
  previous.floatAboveAll = true;
  previous.advancedMode = false;
  previous.recentSearches = {"kept"};
  previous.mainWindow.xpos = 5;
  previous.queueLength = 2;
  const Dictionary domain = {
      {"Splitter xpos", I16(300)}, {"Files transfered", I64(1)},
      {"float above all", false},  {"advanced_mode", true},
      {"recentSearches", Array{}}, {"main window settings", Dictionary{{"xpos", I16(99)}}},
  };
  const Settings reloaded = ReadSettings({domain, nullptr, nullptr}, previous, true, {});
  EXPECT_EQ(10, reloaded.splitterXpos);
  EXPECT_EQ(77, reloaded.filesTransferred);
  EXPECT_TRUE(reloaded.floatAboveAll);
  EXPECT_FALSE(reloaded.advancedMode);
  EXPECT_EQ(Value(Array{"kept"}), Value(reloaded.recentSearches));
  EXPECT_EQ(5, reloaded.mainWindow.xpos);
  EXPECT_EQ(6, reloaded.queueLength);  // not start-up only: back to the default

  const Settings started = ReadSettings({domain, nullptr, nullptr}, previous, false, {});
  EXPECT_EQ(300, started.splitterXpos);
  EXPECT_EQ(1, started.filesTransferred);
  EXPECT_EQ(99, started.mainWindow.xpos);
}

TEST(SettingsCodec, SavedBandwidthDictionariesKeepTheWindowsEntries) {
  const Dictionary stored = {
      {"Bandwidth settings",
       Dictionary{{"limit", I32(1)}, {"status", false}, {"total", I32(8192)}, {"connection type", I32(3)}}},
      {"Bandwidth settings2", Dictionary{{"total", I32(131072)}}},
      {"Bandwidth Settings", Dictionary{{"limit", I32(20480)}, {"status", true}, {"note", "kept"}}},
  };
  const Settings s = Load(stored);
  const Dictionary saved = Save(s, stored);
  EXPECT_EQ(Value(Dictionary{
                {"limit", I32(20480)}, {"status", true}, {"total", I32(8192)}, {"connection type", I32(3)}}),
            saved.at("Bandwidth settings"));
  EXPECT_EQ(Value(Dictionary{{"limit", I32(20480)}, {"status", true}, {"note", "kept"}}),
            saved.at("Bandwidth Settings"));
  EXPECT_EQ(Value(Dictionary{{"limit", I32(65536)}, {"status", false}, {"total", I32(131072)}}),
            saved.at("Bandwidth settings2"));
}

TEST(SettingsCodec, SaveWritesFiltersAndAliasesOnlyWhenKnown) {
  const Settings s;
  SavedExtras extras;
  Dictionary saved = BuildSavedPreferences(s, {}, extras);
  EXPECT_FALSE(saved.contains("Filters"));
  EXPECT_FALSE(saved.contains("Default folder alias"));
  EXPECT_FALSE(saved.contains("Default incoming folder alias"));

  extras.filters = Array{Dictionary{{"name", "Images"}, {"extensions", Array{".png"}}, {"relative", true}}};
  extras.defaultFolderAlias = values::Bytes{1, 2};
  extras.incomingFolderAlias = values::Bytes{3};
  saved = BuildSavedPreferences(s, {}, extras);
  EXPECT_EQ(Value(*extras.filters), saved.at("Filters"));
  EXPECT_EQ(Value(Data{{1, 2}}), saved.at("Default folder alias"));
  EXPECT_EQ(Value(Data{{3}}), saved.at("Default incoming folder alias"));
}

}  // namespace
