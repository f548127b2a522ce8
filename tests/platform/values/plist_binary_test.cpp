#include "platform/values/plist_binary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

#include "tests/platform/values/strict_value.h"

using namespace values;
using testsupport::StrictEqual;

namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A file from hand-made objects (references inside them already encoded with
// `refWidth` bytes); offsets are one byte wide when they fit, else two.
Bytes Assemble(const std::vector<Bytes>& objects, std::uint64_t top = 0, int refWidth = 1) {
  Bytes out{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  std::vector<std::size_t> offsets;
  for (const auto& o : objects) {
    offsets.push_back(out.size());
    out.insert(out.end(), o.begin(), o.end());
  }
  const std::size_t table = out.size();
  const int offsetWidth = offsets.back() > 0xFF ? 2 : 1;
  for (auto off : offsets) {
    if (offsetWidth == 2) out.push_back(static_cast<std::uint8_t>(off >> 8));
    out.push_back(static_cast<std::uint8_t>(off));
  }
  auto be64 = [&](std::uint64_t v) {
    for (int s = 56; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
  };
  out.insert(out.end(), 6, 0);
  out.push_back(static_cast<std::uint8_t>(offsetWidth));
  out.push_back(static_cast<std::uint8_t>(refWidth));
  be64(objects.size());
  be64(top);
  be64(table);
  return out;
}

TEST(PlistBinary, WritesTheDocumentedLayout) {
  auto written = WriteBinaryPropertyList(Value{{"a", 1}});
  ASSERT_TRUE(written) << written.error();
  const Bytes expected = Concat({
      {'b', 'p', 'l', 'i', 's', 't', '0', '0'},
      {0xD1, 0x01, 0x02},         // dict of 1: key ref 1, value ref 2
      {0x51, 'a'},                // ASCII string
      {0x10, 0x01},               // 1-byte integer
      {0x08, 0x0B, 0x0D},         // offset table
      {0, 0, 0, 0, 0, 0, 1, 1},   // trailer: offset and reference widths
      {0, 0, 0, 0, 0, 0, 0, 3},   // objects
      {0, 0, 0, 0, 0, 0, 0, 0},   // top
      {0, 0, 0, 0, 0, 0, 0, 15},  // offset table at
  });
  EXPECT_EQ(written.value(), expected);
}

TEST(PlistBinary, EncodesEachScalarAsThePlatformDoes) {
  const struct {
    Value value;
    Bytes object;  // the single object after the signature
  } cases[] = {
      {true, {0x09}},
      {false, {0x08}},
      {255, {0x10, 0xFF}},
      {256, {0x11, 0x01, 0x00}},
      {Value(Number::Int64(0x80000000)), {0x12, 0x80, 0, 0, 0}},
      {Value(Number::Int64(0x100000000)), {0x13, 0, 0, 0, 1, 0, 0, 0, 0}},
      {-1, {0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {Value(Number::UInt64(~0ull)),
       {0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {1.5f, {0x22, 0x3F, 0xC0, 0, 0}},
      {1.5, {0x23, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0}},
      {Date{1.0}, {0x33, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
      {"\xC3\xA9", {0x61, 0x00, 0xE9}},
      {"\xF0\x9F\x8E\x89", {0x62, 0xD8, 0x3C, 0xDF, 0x89}},
      {std::string(15, 'x'), Concat({{0x5F, 0x10, 0x0F}, Bytes(15, 'x')})},
      {Data{Bytes{1, 2}}, {0x42, 1, 2}},
      {MakeUid(5), {0x80, 0x05}},
      {MakeUid(0x12345), {0x83, 0x00, 0x01, 0x23, 0x45}},
  };
  for (const auto& c : cases) {
    auto written = WriteBinaryPropertyList(c.value);
    ASSERT_TRUE(written) << written.error();
    const Bytes& w = written.value();
    ASSERT_GE(w.size(), 8 + c.object.size());
    EXPECT_EQ(Bytes(w.begin() + 8, w.begin() + 8 + static_cast<std::ptrdiff_t>(c.object.size())), c.object)
        << c.value.Describe();
    auto read = ReadBinaryPropertyList(w);
    ASSERT_TRUE(read) << read.error();
  }
}

TEST(PlistBinary, SharesEqualScalars) {
  Array items(100, Value("same"));
  auto written = WriteBinaryPropertyList(Value(items));
  ASSERT_TRUE(written);
  // The array (2 + 100 references) and one string, not a hundred.
  EXPECT_LT(written->size(), 8u + 102 + 5 + 2 + 32 + 10);
}

TEST(PlistBinary, ReadsHandMadeFilesWithWideReferencesAndSets) {
  // A set of two strings and a dictionary with 2-byte references; 16-byte negative integer.
  auto file = Assemble(
      {
          {0xA3, 0, 1, 0, 2, 0, 5},  // array [set, dict, int]
          {0xC2, 0, 3, 0, 4},        // set {"p", "q"}
          {0xD1, 0, 3, 0, 6},        // dict {"p": UID 7}
          {0x51, 'p'},
          {0x51, 'q'},
          {0x14, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
           0xFE},
          {0x80, 7},
      },
      0, 2);
  auto read = ReadBinaryPropertyList(file);
  ASSERT_TRUE(read) << read.error();
  Set set;
  set.Add("p");
  set.Add("q");
  Value expected = Array{set, Value{{"p", MakeUid(7)}}, Number::Int64(-2)};
  EXPECT_TRUE(StrictEqual(*read, expected)) << read->Describe();
  EXPECT_EQ(GetUid(*read->operator[](1).Find("p")), 7u);

  // A container reached by two references is read twice: sharing is not a cycle.
  auto shared = ReadBinaryPropertyList(Assemble({{0xA2, 1, 1}, {0xA1, 2}, {0x51, 'p'}}));
  ASSERT_TRUE(shared) << shared.error();
  EXPECT_EQ(*shared, (Value{Array{Array{"p"}, Array{"p"}}}));
}

// Each case damages a valid file or builds a hostile one.
TEST(PlistBinary, MalformedInputGivesAnErrorSayingWhy) {
  const Bytes good = WriteBinaryPropertyList(Value{{"a", Array{1, "x"}}}).value();
  auto patched = [&](std::size_t at, std::uint8_t byte) {
    Bytes b = good;
    b[at] = byte;
    return b;
  };
  const std::size_t trailer = good.size() - 32;
  const std::size_t table = good[good.size() - 1];

  // Thirty arrays, each holding the next one twice: 2^30 values once expanded.
  std::vector<Bytes> laughs;
  for (int i = 0; i < 30; ++i)
    laughs.push_back({0xA2, static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i + 1)});
  laughs.push_back({0x50});
  // Arrays nested deeper than allowed, each holding the next (2-byte references).
  std::vector<Bytes> deep;
  for (int i = 0; i < kMaxPlistDepth + 1; ++i) {
    deep.push_back({0xA1, static_cast<std::uint8_t>((i + 1) >> 8), static_cast<std::uint8_t>(i + 1)});
  }
  deep.push_back({0xA0});

  const struct {
    const char* name;
    Bytes file;
    std::string_view error;
  } cases[] = {
      {"too short", Bytes(good.begin(), good.begin() + 20), "too short"},
      {"truncated trailer", Bytes(good.begin(), good.end() - 1), ""},
      {"offset width 0", patched(trailer + 6, 0), "offset size"},
      {"reference width 9", patched(trailer + 7, 9), "reference size"},
      {"no objects", patched(trailer + 15, 0), "no objects"},
      {"top out of range", patched(trailer + 23, 200), "top object"},
      {"table past the trailer", patched(trailer + 15, 200), "offset table"},
      {"table offset past the end", patched(trailer + 31, 250), "offset table"},
      {"object offset into the table", patched(table, static_cast<std::uint8_t>(table)),
       "offset out of range"},
      {"object offset into the header", patched(table, 3), "offset out of range"},
      {"reference out of range", patched(9, 40), "reference out of range"},
      {"unknown marker", patched(8, 0x70), "unknown object marker"},
      {"count past the objects", patched(8, 0xDE), "run past"},
      {"array refers to itself", Assemble({{0xA1, 0}}), "cycle"},
      {"cycle through a dictionary", Assemble({{0xA1, 1}, {0xD1, 2, 0}, {0x51, 'k'}}), "cycle"},
      {"huge count", Assemble({{0xAF, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}), "run past"},
      {"count that is not an integer", Assemble({{0xAF, 0x22, 0, 0, 0, 0}}), "bad count"},
      {"string past the objects", Assemble({{0x5F, 0x10, 0x40, 'a'}}), "string runs past"},
      {"UTF-16 past the objects", Assemble({{0x63, 0, 'a'}}), "string runs past"},
      {"non-ASCII in an ASCII string", Assemble({{0x51, 0xE9}}), "non-ASCII"},
      {"key that is not a string", Assemble({{0xD1, 1, 1}, {0x10, 1}}), "key is not a string"},
      {"integer beyond 64 bits", Assemble({{0x14, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}}),
       "beyond 64 bits"},
      {"integer of 32 bytes", Assemble({{0x15, 0}}), "integer size"},
      {"real of 2 bytes", Assemble({{0x21, 0, 0}}), "real size"},
      {"date of 4 bytes", Assemble({{0x32, 0, 0, 0, 0}}), "date size"},
      {"UID above 32 bits", Assemble({{0x84, 1, 0, 0, 0, 0}}), "UID out of range"},
      {"fill byte", Assemble({{0x0F}}), "unknown object marker"},
      {"shared references expanding", Assemble(laughs), "too many values"},
      {"nesting too deep", Assemble(deep, 0, 2), "nesting"},
  };
  for (const auto& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    auto read = ReadBinaryPropertyList(c.file);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.name;
    ASSERT_FALSE(read) << c.name << " read as " << read->Describe();
    EXPECT_NE(read.error().find(c.error), std::string::npos) << c.name << ": " << read.error();
  }
}

TEST(PlistBinary, EveryTruncationOfAFileIsRefused) {
  Value v{{"list", Array{1, 2.5, "\xC3\xA9t\xC3\xA9", Data{Bytes(40, 7)}, Date{3}}}, {"flag", true}};
  const Bytes good = WriteBinaryPropertyList(v).value();
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(ReadBinaryPropertyList(std::span(good.data(), n))) << n;
  }
}

}  // namespace

namespace {

// Damaged files must give a value or an error, never a crash or a hang (run under the
// sanitizers to see memory faults).
TEST(PlistBinary, RandomDamageNeverCrashes) {
  Value v{{"list",
           Array{1, -2, 2.5, 1.5f, "\xC3\xA9t\xC3\xA9", "ascii", Data{Bytes(20, 7)}, Date{3}, MakeUid(9)}},
          {"nested", Value{{"a", Array{Array{}, Dictionary{}}}}},
          {"big", Value(Number::UInt64(~0ull))}};
  const Bytes good = WriteBinaryPropertyList(v).value();
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  int errors = 0;
  for (int round = 0; round < 20000; ++round) {
    Bytes damaged = good;
    const int flips = 1 + static_cast<int>(next() % 4);
    for (int f = 0; f < flips; ++f)
      damaged[next() % damaged.size()] = static_cast<std::uint8_t>(next() >> 24);
    if (!ReadBinaryPropertyList(damaged)) ++errors;
  }
  EXPECT_GT(errors, 0);
}

}  // namespace
