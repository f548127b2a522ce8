#include "app/util/settings/bandwidth_settings.h"

#include <gtest/gtest.h>

namespace {

using namespace util;

using values::Dictionary;
using values::Number;
using values::Value;

Value I32(int v) {
  return Value(Number::Int32(v));
}
Value Limit(int limit, bool status) {
  return Dictionary{{"limit", I32(limit)}, {"status", status}};
}

TEST(BandwidthSettings, PresentAndAbsentColumns) {
  struct Case {
    const char* what;
    const BandwidthKey& row;
    Dictionary domain;
    BandwidthLimit expected;
  };
  const Case cases[] = {
      {"downloads absent", kDownloadBandwidthKeys.store, {}, {65536, false}},
      {"uploads absent", kUploadBandwidthKeys.store, {}, {32768, false}},
      {"settings2 absent", kServerSendBandwidthKey, {}, {16384, false}},
      {"settings2 without limit",
       kServerSendBandwidthKey,
       {{"Bandwidth settings2", Dictionary{}}},
       {65536, false}},
      {"settings2 with limit",
       kServerSendBandwidthKey,
       {{"Bandwidth settings2", Limit(1000, true)}},
       {1000, true}},
      {"server in absent", kServerReceiveBandwidthKey, {}, {16384, false}},
      {"server in without status is on",
       kServerReceiveBandwidthKey,
       {{"server in Bandwidth settings", Dictionary{{"limit", I32(2048)}}}},
       {2048, true}},
      {"server in off",
       kServerReceiveBandwidthKey,
       {{"server in Bandwidth settings", Dictionary{{"status", false}}}},
       {16384, false}},
      {"not a dictionary counts as absent",
       kServerSendBandwidthKey,
       {{"Bandwidth settings2", I32(5)}},
       {16384, false}},
      {"a limit of text keeps the row's",
       kDownloadBandwidthKeys.store,
       {{"Bandwidth settings", Dictionary{{"limit", "fast"}, {"status", true}}}},
       {65536, true}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, ReadBandwidthLimit(c.domain, c.row)) << c.what;
}

TEST(BandwidthSettings, StartUpPrefersTheLiveKey) {
  struct Case {
    const char* what;
    Dictionary domain;
    BandwidthLimit expected;
  };
  const Case cases[] = {
      {"neither", {}, {65536, false}},
      {"store key alone", {{"Bandwidth settings", Limit(1000, true)}}, {1000, true}},
      {"live key alone", {{"Bandwidth Settings", Limit(2000, true)}}, {2000, true}},
      {"both: the live key was written last",
       {{"Bandwidth settings", Limit(1000, false)}, {"Bandwidth Settings", Limit(30720, true)}},
       {30720, true}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, ChooseBandwidthLimit(c.domain, kDownloadBandwidthKeys, std::nullopt)) << c.what;
  }
  EXPECT_EQ((BandwidthLimit{5120, true}),
            ChooseBandwidthLimit({{"Upload Bandwidth settings", Limit(1, false)},
                                  {"Upload Bandwidth Settings", Limit(5120, true)}},
                                 kUploadBandwidthKeys, std::nullopt));
}

TEST(BandwidthSettings, ReloadTakesTheKeyChangedSinceTheStoreLastAgreedThem) {
  const BandwidthLimit agreed{10240, false};
  struct Case {
    const char* what;
    Value store;
    Value live;
    BandwidthLimit expected;
  };
  const Case cases[] = {
      {"nothing changed", Limit(10240, false), Limit(10240, false), agreed},
      {"the window changed the store key", Limit(51200, true), Limit(10240, false), {51200, true}},
      {"the menu changed the live key", Limit(10240, false), Limit(30720, true), {30720, true}},
      {"both changed: the window's apply is newer", Limit(51200, false), Limit(30720, true), {51200, false}},
      {"the window wrote back the old value", Limit(10240, false), Limit(20480, true), {20480, true}},
      {"live key removed", Limit(10240, false), Value(), agreed},
  };
  for (const Case& c : cases) {
    Dictionary domain;
    if (!c.store.IsNull()) domain["Bandwidth settings"] = c.store;
    if (!c.live.IsNull()) domain["Bandwidth Settings"] = c.live;
    EXPECT_EQ(c.expected, ChooseBandwidthLimit(domain, kDownloadBandwidthKeys, agreed)) << c.what;
  }
}

TEST(BandwidthSettings, MergeKeepsOtherEntries) {
  const Dictionary domain = {{"Bandwidth settings", Dictionary{{"limit", I32(1)}, {"total", I32(8192)}}}};
  EXPECT_EQ(Value(Dictionary{{"limit", I32(500)}, {"status", true}, {"total", I32(8192)}}),
            Value(MergeBandwidthDictionary(domain, "Bandwidth settings", {500, true})));
  EXPECT_EQ(Value(Dictionary{{"limit", I32(500)}, {"status", true}}),
            Value(MergeBandwidthDictionary(domain, "Bandwidth Settings", {500, true})));
}

}  // namespace
