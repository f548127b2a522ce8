#include "platform/values/plist.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/platform/values/strict_value.h"
#include "tests/support/fifo_in_place.h"
#include "tests/support/temp_home.h"

using namespace values;
using testsupport::StrictEqual;

namespace {

constexpr auto kI64Min = std::numeric_limits<std::int64_t>::min();
constexpr auto kI64Max = std::numeric_limits<std::int64_t>::max();

struct RoundTrip {
  const char* name;
  Value written;
  Value fromXml;     // what reading the XML gives back
  Value fromBinary;  // what reading the binary form gives back
};

Set MakeSet(std::initializer_list<Value> members) {
  Set s;
  for (const auto& m : members) s.Add(m);
  return s;
}

std::vector<RoundTrip> RoundTrips() {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  Value nested{{"list", Array{Value{{"deep", Array{Array{}, Dictionary{}}}}, "x"}}, {"n", 5}};
  Value nestedRead{{"list", Array{Value{{"deep", Array{Array{}, Dictionary{}}}}, "x"}},
                   {"n", Number::Int64(5)}};
  return {
      {"true", true, true, true},
      {"false", false, false, false},
      {"INT64_MIN", Number::Int64(kI64Min), Number::Int64(kI64Min), Number::Int64(kI64Min)},
      {"INT64_MAX", Number::Int64(kI64Max), Number::Int64(kI64Max), Number::Int64(kI64Max)},
      {"INT64_MAX + 1", Number::UInt64(1ull << 63), Number::UInt64(1ull << 63), Number::UInt64(1ull << 63)},
      {"UINT64_MAX", Number::UInt64(~0ull), Number::UInt64(~0ull), Number::UInt64(~0ull)},
      {"-1", -1, Number::Int64(-1), Number::Int64(-1)},
      {"0", 0, Number::Int64(0), Number::Int64(0)},
      {"2^31 as unsigned 32-bit", 0x80000000u, Number::Int64(0x80000000), Number::Int64(0x80000000)},
      {"UINT32_MAX", 0xFFFFFFFFu, Number::Int64(0xFFFFFFFF), Number::Int64(0xFFFFFFFF)},
      {"16-bit width is not recorded", Number::Int16(-300), Number::Int64(-300), Number::Int64(-300)},
      {"8-bit", Number::Int8(-7), Number::Int64(-7), Number::Int64(-7)},
      {"0.1", 0.1, 0.1, 0.1},
      {"float 0.7", 0.7f, static_cast<double>(0.7f), 0.7f},
      {"1e-300", 1e-300, 1e-300, 1e-300},
      {"-2.5e300", -2.5e300, -2.5e300, -2.5e300},
      {"denormal", 5e-324, 5e-324, 5e-324},
      {"-0.0 loses its sign in XML", -0.0, 0.0, -0.0},
      {"nan", nan, nan, nan},
      {"inf", inf, inf, inf},
      {"-inf", -inf, -inf, -inf},
      {"epoch date", Date{0}, Date{0}, Date{0}},
      {"date before 2001", Date{-1e9}, Date{-1e9}, Date{-1e9}},
      {"date before 1970", Date{-2e9}, Date{-2e9}, Date{-2e9}},
      {"fractional date", Date{700000000.75}, Date{700000000}, Date{700000000.75}},
      {"fractional date before 2001", Date{-0.25}, Date{-1}, Date{-0.25}},
      {"year 1", Date{-63113904000.0}, Date{-63113904000.0}, Date{-63113904000.0}},
      {"empty data", Data{}, Data{}, Data{}},
      {"all bytes", Data{[] {
         Bytes b;
         for (int i = 0; i < 256; ++i) b.push_back(static_cast<std::uint8_t>(i));
         return b;
       }()},
       Value(), Value()},
      {"empty string", "", "", ""},
      {"markup", "<a href=\"x\">&amp;</a>", "<a href=\"x\">&amp;</a>", "<a href=\"x\">&amp;</a>"},
      {"white space", "  \t\r\n\r ", "  \t\r\n\r ", "  \t\r\n\r "},
      {"non-ASCII",
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\x89",
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\x89",
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\x89"},
      {"long string", std::string(70000, 'q'), std::string(70000, 'q'), std::string(70000, 'q')},
      {"empty array", Array{}, Array{}, Array{}},
      {"empty dictionary", Dictionary{}, Dictionary{}, Dictionary{}},
      {"nested", nested, nestedRead, nestedRead},
      {"set", MakeSet({"a", "b"}), Array{"a", "b"}, MakeSet({"a", "b"})},
      {"UID", MakeUid(0xFFFFFFFF), MakeUid(0xFFFFFFFF), MakeUid(0xFFFFFFFF)},
      {"non-ASCII keys", Value{{"\xC3\xA9", 1}, {"e", 2}},
       Value{{"\xC3\xA9", Number::Int64(1)}, {"e", Number::Int64(2)}},
       Value{{"\xC3\xA9", Number::Int64(1)}, {"e", Number::Int64(2)}}},
  };
}

TEST(Plist, EveryTypeSurvivesBothEncodings) {
  for (auto c : RoundTrips()) {
    if (c.fromXml.IsNull()) c.fromXml = c.written;
    if (c.fromBinary.IsNull()) c.fromBinary = c.written;
    for (auto format : {PlistFormat::kXml, PlistFormat::kBinary}) {
      const bool xml = format == PlistFormat::kXml;
      SCOPED_TRACE(std::string(c.name) + (xml ? " (XML)" : " (binary)"));
      auto bytes = WritePropertyList(c.written, format);
      ASSERT_TRUE(bytes) << bytes.error();
      PlistFormat found{};
      auto read = ReadPropertyList(bytes.value(), &found);
      ASSERT_TRUE(read) << read.error();
      EXPECT_EQ(found, format);
      const Value& expected = xml ? c.fromXml : c.fromBinary;
      EXPECT_TRUE(StrictEqual(*read, expected)) << read->Describe() << " instead of " << expected.Describe();
      // Writing what was read gives the same bytes again.
      auto again = WritePropertyList(*read, format);
      ASSERT_TRUE(again);
      EXPECT_EQ(again.value(), bytes.value());
    }
  }
}

TEST(Plist, TheSameValuesFitInOneDocument) {
  Dictionary all;
  for (const auto& c : RoundTrips()) all.emplace(c.name, c.written);
  for (auto format : {PlistFormat::kXml, PlistFormat::kBinary}) {
    auto bytes = WritePropertyList(Value(all), format);
    ASSERT_TRUE(bytes) << bytes.error();
    auto read = ReadPropertyList(bytes.value());
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read->Count(), all.size());
  }
}

TEST(Plist, NullCannotBeWrittenInEitherEncoding) {
  for (auto format : {PlistFormat::kXml, PlistFormat::kBinary}) {
    auto bytes = WritePropertyList(Value{{"k", Array{Value()}}}, format);
    ASSERT_FALSE(bytes);
    EXPECT_NE(bytes.error().find("null"), std::string::npos);
  }
}

TEST(Plist, DetectsTheEncoding) {
  EXPECT_NE(ReadPropertyList(std::string_view("bplist01xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"))
                .error()
                .find("version"),
            std::string::npos);
  EXPECT_FALSE(ReadPropertyList(std::string_view("bplist00")));
  EXPECT_FALSE(ReadPropertyList(std::string_view("")));
  EXPECT_FALSE(ReadPropertyList(std::string_view("{ a = b; }")));  // the old text format is not read
}

TEST(Plist, UidsAreOnlyExactSingleKeyDictionaries) {
  EXPECT_EQ(GetUid(MakeUid(42)), 42u);
  EXPECT_FALSE(GetUid(Value{{"CF$UID", -1}}));
  EXPECT_FALSE(GetUid(Value{{"CF$UID", 1.0}}));
  EXPECT_FALSE(GetUid(Value{{"CF$UID", Number::Int64(0x100000000)}}));
  EXPECT_FALSE(GetUid(Value{{"CF$UID", 1}, {"other", 2}}));
  EXPECT_FALSE(GetUid(Value{{"CF$UID", "1"}}));
}

TEST(Plist, ReadsFiles) {
  const std::string dir = testsupport::MakeTempDir("plist");
  const auto bytes = WritePropertyList(Value{{"k", "v"}}, PlistFormat::kBinary).value();
  testsupport::WriteFile(dir + "/a.plist", std::string(bytes.begin(), bytes.end()));
  PlistFormat format{};
  auto read = ReadPropertyListFile(dir + "/a.plist", &format);
  ASSERT_TRUE(read) << read.error();
  EXPECT_EQ(format, PlistFormat::kBinary);
  EXPECT_EQ(*read, (Value{{"k", "v"}}));

  auto missing = ReadPropertyListFile(dir + "/missing.plist");
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().find("missing.plist"), std::string::npos);
  EXPECT_FALSE(ReadPropertyListFile(dir));
}

TEST(Plist, AFifoInAFilesPlaceIsRefusedNotWaitedOn) {
  const std::string fifo = testsupport::MakeTempDir("plist") + "/fifo.plist";
  ASSERT_TRUE(testsupport::MakeFifo(fifo));
  EXPECT_TRUE(testsupport::ReturnsWithoutWaiting(fifo, [&] {
    auto read = ReadPropertyListFile(fifo);
    ASSERT_FALSE(read);
    EXPECT_NE(read.error().find("not a regular file"), std::string::npos) << read.error();
  }));
}

}  // namespace
