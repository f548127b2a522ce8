#include "platform/values/plist_xml.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "tests/platform/values/strict_value.h"
#include "tests/support/temp_home.h"

using namespace values;
using testsupport::StrictEqual;

namespace {

Bytes Sequence(int n) {
  Bytes b;
  for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(i));
  return b;
}

std::string Wrap(std::string_view body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n" +
         std::string(body) + "</plist>\n";
}

TEST(PlistXml, WritesTheReferenceDictionaryByteForByte) {
  Value nested{{"blob", Data{Sequence(60)}}, {"n", Number::Int16(-3)}};
  Set tags;
  tags.Add("x");
  Value root{
      {"zeta", "last"},
      {"alpha", Dictionary{}},
      {"esc", "<a & b>"},
      {"ints",
       Array{Number::Int64(std::numeric_limits<std::int64_t>::min()), Value(Number::UInt64(~0ull)), 0}},
      {"real", 0.1},
      {"single", 0.7f},
      {"whole", 2.0},
      {"zero", 0.0},
      {"when", Date{700000000.75}},
      {"old", Date{-1e9}},
      {"yes", true},
      {"no", false},
      {"empty", Array{}},
      {"blob", Data{Sequence(60)}},
      {"none", Data{}},
      {"nested", nested},
      {"tags", tags},
      {"\xEF\xBC\xA1", 1},      // U+FF21: after U+1F389 in UTF-16 order
      {"\xF0\x9F\x8E\x89", 2},  // U+1F389
  };
  const std::string expected = Wrap(
      "<dict>\n"
      "\t<key>alpha</key>\n"
      "\t<dict/>\n"
      "\t<key>blob</key>\n"
      "\t<data>\n"
      "\tAAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEy\n"
      "\tMzQ1Njc4OTo7\n"
      "\t</data>\n"
      "\t<key>empty</key>\n"
      "\t<array/>\n"
      "\t<key>esc</key>\n"
      "\t<string>&lt;a &amp; b&gt;</string>\n"
      "\t<key>ints</key>\n"
      "\t<array>\n"
      "\t\t<integer>-9223372036854775808</integer>\n"
      "\t\t<integer>18446744073709551615</integer>\n"
      "\t\t<integer>0</integer>\n"
      "\t</array>\n"
      "\t<key>nested</key>\n"
      "\t<dict>\n"
      "\t\t<key>blob</key>\n"
      "\t\t<data>\n"
      "\t\tAAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKiss\n"
      "\t\tLS4vMDEyMzQ1Njc4OTo7\n"
      "\t\t</data>\n"
      "\t\t<key>n</key>\n"
      "\t\t<integer>-3</integer>\n"
      "\t</dict>\n"
      "\t<key>no</key>\n"
      "\t<false/>\n"
      "\t<key>none</key>\n"
      "\t<data>\n"
      "\t</data>\n"
      "\t<key>old</key>\n"
      "\t<date>1969-04-24T22:13:20Z</date>\n"
      "\t<key>real</key>\n"
      "\t<real>0.10000000000000001</real>\n"
      "\t<key>single</key>\n"
      "\t<real>0.69999998807907104</real>\n"
      "\t<key>tags</key>\n"
      "\t<array>\n"
      "\t\t<string>x</string>\n"
      "\t</array>\n"
      "\t<key>when</key>\n"
      "\t<date>2023-03-08T20:26:40Z</date>\n"
      "\t<key>whole</key>\n"
      "\t<real>2</real>\n"
      "\t<key>yes</key>\n"
      "\t<true/>\n"
      "\t<key>zero</key>\n"
      "\t<real>0.0</real>\n"
      "\t<key>zeta</key>\n"
      "\t<string>last</string>\n"
      "\t<key>\xF0\x9F\x8E\x89</key>\n"
      "\t<integer>2</integer>\n"
      "\t<key>\xEF\xBC\xA1</key>\n"
      "\t<integer>1</integer>\n"
      "</dict>\n");
  auto written = WriteXmlPropertyList(root);
  ASSERT_TRUE(written) << written.error();
  EXPECT_EQ(*written, expected);
}

TEST(PlistXml, WritesScalarRootsAndSpecialReals) {
  const struct {
    Value value;
    std::string_view body;
  } cases[] = {
      {"top", "<string>top</string>\n"},
      {Data{Bytes{'h', 'e', 'l', 'l', 'o'}}, "<data>\naGVsbG8=\n</data>\n"},
      {std::numeric_limits<double>::infinity(), "<real>+infinity</real>\n"},
      {-std::numeric_limits<double>::infinity(), "<real>-infinity</real>\n"},
      {std::nan(""), "<real>nan</real>\n"},
      {1e300, "<real>1.0000000000000001e+300</real>\n"},
      {Date{0}, "<date>2001-01-01T00:00:00Z</date>\n"},
      {Date{-0.5}, "<date>2000-12-31T23:59:59Z</date>\n"},
  };
  for (const auto& c : cases) {
    auto written = WriteXmlPropertyList(c.value);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(*written, Wrap(c.body));
  }
}

TEST(PlistXml, RefusesValuesItCannotStore) {
  Value deep = Array{};
  for (int i = 0; i < kMaxPlistDepth; ++i) deep = Array{deep};
  const struct {
    Value value;
    std::string_view error;
  } cases[] = {
      {Value(), "null"},
      {Value{{"a", Array{1, Value()}}}, "null"},
      {std::string("\xC3"), "UTF-8"},
      {Value{{"\xFF", 1}}, "UTF-8"},
      {Date{1e13}, "date"},
      {Date{std::nan("")}, "date"},
      {deep, "nesting"},
  };
  for (const auto& c : cases) {
    auto written = WriteXmlPropertyList(c.value);
    ASSERT_FALSE(written) << c.value.Describe();
    EXPECT_NE(written.error().find(c.error), std::string::npos) << written.error();
  }
}

// A string XML cannot carry makes the write fail, naming where it is, never a file that
// no reader takes.
TEST(PlistXml, RefusesCharactersXmlCannotCarryAndNamesTheKey) {
  const struct {
    const char* name;
    Value value;
    std::string_view error;
  } cases[] = {
      {"Nul", Value{{"Co_k", Array{std::string("sess=ab\0cd", 10)}}},
       "U+0000, which XML cannot carry (at \"Co_k/0\")"},
      {"ControlA", Value{{"a", Value{{"name", "x\x01y"}}}}, "U+0001, which XML cannot carry (at \"a/name\")"},
      {"VerticalTab", Value{{"k", "\x0b"}}, "U+000B, which XML cannot carry (at \"k\")"},
      {"Escape", Value{{"k", "\x1b[0m"}}, "U+001B"},
      {"NonCharacterFFFE", Value{{"k", "\xEF\xBF\xBE"}}, "U+FFFE"},
      {"NonCharacterFFFF", Value{{"k", "\xEF\xBF\xBF"}}, "U+FFFF"},
      {"InKey", Value{{"bad\x02key", 1}}, "dictionary key holds U+0002"},
      {"NotUtf8", Value{{"Filename", "a%\xc2 b\xef.bin"}}, "not valid UTF-8 (at \"Filename\")"},
  };
  for (const auto& c : cases) {
    auto written = WriteXmlPropertyList(c.value);
    ASSERT_FALSE(written) << c.name;
    EXPECT_NE(written.error().find(c.error), std::string::npos) << c.name << ": " << written.error();
  }
}

// What XML allows is written and read back as it was: tab, line feed, carriage return,
// DEL, the last characters before the non-characters, and those above.
TEST(PlistXml, EveryCharacterXmlCarriesRoundTrips) {
  const std::string text = "a\tb\nc\rd\x7f e\xEF\xBF\xBD f\xF0\x9F\x98\x80 <&>";
  const Value v{{"text", text}, {"list", Array{text}}};
  auto written = WriteXmlPropertyList(v);
  ASSERT_TRUE(written) << written.error();
  auto read = ReadXmlPropertyList(*written);
  ASSERT_TRUE(read) << read.error();
  EXPECT_TRUE(StrictEqual(*read, v));
}

// Reader and writer agree: text that is not UTF-8 in a file is read as Latin-1, in keys
// and values alike, so that whatever is read is written again.
TEST(PlistXml, TextThatIsNotUtf8IsReadAsLatin1AndWritesAgain) {
  const std::string file =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>caf\xe9</key><string>na\xefve \xff</string><key>ok</key><string>\xc3\xa9</string>"
      "</dict></plist>\n";
  auto read = ReadXmlPropertyList(file);
  ASSERT_TRUE(read) << read.error();
  const Value expected{{"caf\xc3\xa9", "na\xc3\xafve \xc3\xbf"}, {"ok", "\xc3\xa9"}};
  EXPECT_TRUE(StrictEqual(*read, expected));
  auto written = WriteXmlPropertyList(*read);
  ASSERT_TRUE(written) << written.error();
  auto again = ReadXmlPropertyList(*written);
  ASSERT_TRUE(again) << again.error();
  EXPECT_TRUE(StrictEqual(*again, expected));
}

TEST(PlistXml, RemovingWhatCannotBeWrittenLeavesAWritableRest) {
  const struct {
    const char* name;
    Value value;
    Value expected;
    std::vector<std::string> removed;
  } cases[] = {
      {"Nothing", Value{{"a", 1}, {"b", Array{"x"}}}, Value{{"a", 1}, {"b", Array{"x"}}}, {}},
      {"CookieValue",
       Value{{"url data",
              Array{Value{{"url", "http://h/"}, {"cookie", Value{{"sess", std::string("a\0b", 3)}}}}}}},
       Value{{"url data", Array{Value{{"url", "http://h/"}, {"cookie", Value(Dictionary{})}}}}},
       {"url data/0/cookie/sess"}},
      {"ArrayItems",
       Value{{"list", Array{"ok", "\x01", Value(), "fine"}}},
       Value{{"list", Array{"ok", "fine"}}},
       {"list/1", "list/2"}},
      {"BadKey", Value{{"k\x03", 1}, {"good", 2}}, Value{{"good", 2}}, {"?"}},
      {"BadDate", Value{{"when", Date{1e13}}, {"n", 1}}, Value{{"n", 1}}, {"when"}},
      {"NotUtf8Name", Value{{"Filename", "\xff"}, {"UID", 5}}, Value{{"UID", 5}}, {"Filename"}},
  };
  for (const auto& c : cases) {
    Value v = c.value;
    EXPECT_EQ(RemoveValuesXmlCannotHold(v), c.removed) << c.name;
    EXPECT_TRUE(StrictEqual(v, c.expected)) << c.name << ": " << v.Describe();
    EXPECT_TRUE(WriteXmlPropertyList(v)) << c.name;
  }
  Value scalar(std::string("\x01"));
  EXPECT_EQ(RemoveValuesXmlCannotHold(scalar), std::vector<std::string>{""});
}

// Another reader, the one the shipped download script uses, takes what we write.
TEST(PlistXml, PythonsReaderTakesWhatWeWrite) {
  if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  const std::string dir = testsupport::MakeTempDir("plistpy");
  const Value v{{"text", "a\tb\nc \x7f \xEF\xBF\xBD <&>"}, {"n", 5}};
  auto written = WriteXmlPropertyList(v);
  ASSERT_TRUE(written);
  testsupport::WriteFile(dir + "/a.plist", *written);
  const std::string command =
      "timeout 60 python3 -c 'import plistlib,sys; d=plistlib.load(open(sys.argv[1],\"rb\")); "
      "sys.exit(0 if d[\"n\"]==5 else 1)' '" +
      dir + "/a.plist'";
  EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST(PlistXml, ReadsWhatThePlatformAndPeopleWrite) {
  const struct {
    std::string_view text;
    Value expected;
  } cases[] = {
      {"<plist><integer> 42\n</integer></plist>", Value(Number::Int64(42))},
      {"<plist><integer>-0x10</integer></plist>", Value(Number::Int64(-16))},
      {"<plist><integer>+7</integer></plist>", Value(Number::Int64(7))},
      {"<plist><real>1e3</real></plist>", Value(1000.0)},
      {"<plist><real>-infinity</real></plist>", Value(-std::numeric_limits<double>::infinity())},
      {"<plist><real>+infinity</real></plist>", Value(std::numeric_limits<double>::infinity())},
      {"<plist><real>-5</real></plist>", Value(-5.0)},
      {"<plist><string>a<![CDATA[<&>]]>b&#x1F389;&#65;&quot;</string></plist>", Value("a<&>b\xF0\x9F\x8E\x89"
                                                                                      "A\"")},
      {"<plist><string> \r\n </string></plist>", Value(" \r\n ")},
      {"<plist><string/></plist>", Value("")},
      {"<string>bare</string>", Value("bare")},
      {"<plist><key>k</key></plist>", Value("k")},
      {"<plist version=\"1.0\">\n<!-- note -->\n<dict>\n\t<!-- x "
       "-->\n\t<key>a</key>\n\t<true></true>\n</dict>\n</plist>",
       Value{{"a", true}}},
      {"<plist><dict><key>a</key><integer>1</integer><key>a</key><integer>2</integer></dict></plist>",
       Value{{"a", Number::Int64(2)}}},
      {"<plist><data>\n\taGVs\n\tbG8=\n\t</data></plist>", Value(Data{Bytes{'h', 'e', 'l', 'l', 'o'}})},
      {"<plist><date>2000-02-29T12:00:00Z</date></plist>", Value(Date{-86400.0 * 306 - 43200})},
      {"<!DOCTYPE plist SYSTEM \"file:///etc/passwd\"><plist><string>x</string></plist>", Value("x")},
      {"\xEF\xBB\xBF<plist><string>bom</string></plist>", Value("bom")},
  };
  for (const auto& c : cases) {
    auto read = ReadXmlPropertyList(c.text);
    ASSERT_TRUE(read) << c.text << ": " << read.error();
    EXPECT_TRUE(StrictEqual(*read, c.expected)) << c.text << " read as " << read->Describe();
  }
}

TEST(PlistXml, MalformedInputGivesAnErrorSayingWhy) {
  std::string deep;
  for (int i = 0; i < kMaxPlistDepth + 1; ++i) deep += "<array>";
  for (int i = 0; i < kMaxPlistDepth + 1; ++i) deep += "</array>";
  const std::string tooDeep = "<plist>" + deep + "</plist>";
  const struct {
    std::string_view text, error;
  } cases[] = {
      {"", "no property list"},
      {"   \n", "no property list"},
      {"not xml", "text outside"},
      {"<plist><dict><key>a</key><string>x</dict></plist>", "malformed XML"},
      {"<plist><string>a</string>", "malformed XML"},
      {"<plist><dict><key>a</key></dict></plist>", "key \"a\" has no value"},
      {"<plist><dict><key>a</key><key>b</key><true/></dict></plist>", "key \"a\" has no value"},
      {"<plist><dict><string>x</string></dict></plist>", "without a <key>"},
      {"<plist><foo/></plist>", "unknown tag <foo>"},
      {"<plist><dict><key>a</key><bogus/></dict></plist>", "unknown tag <bogus>"},
      {"<plist><integer>18446744073709551616</integer></plist>", "out of range"},
      {"<plist><integer>-9223372036854775809</integer></plist>", "out of range"},
      {"<plist><integer>12a</integer></plist>", "bad <integer>"},
      {"<plist><integer></integer></plist>", "bad <integer>"},
      {"<plist><integer>1.5</integer></plist>", "bad <integer>"},
      {"<plist><real>abc</real></plist>", "bad <real>"},
      {"<plist><real></real></plist>", "bad <real>"},
      {"<plist><real>1e999</real></plist>", "out of range"},
      {"<plist><data>AB$=</data></plist>", "bad base64"},
      {"<plist><data>A</data></plist>", "bad base64"},
      {"<plist><date>2001-13-01T00:00:00Z</date></plist>", "bad <date>"},
      {"<plist><date>2001-02-29T00:00:00Z</date></plist>", "bad <date>"},
      {"<plist><date>2001-01-01 00:00:00</date></plist>", "bad <date>"},
      {"<plist><date>2001-01-01T24:00:00Z</date></plist>", "bad <date>"},
      {"<plist><date>2001-01-01T00:00:00Zjunk</date></plist>", "bad <date>"},
      {"<plist><string>a</string></plist>trailing", "text outside"},
      {"<plist><string>a</string></plist><plist/>", "more than one root"},
      {"<plist><string>a</string><string>b</string></plist>", "more than one value"},
      {"<plist></plist>", "holds no value"},
      {"<plist>text</plist>", "text inside <plist>"},
      {"<!DOCTYPE plist [<!ENTITY x \"y\">]><plist><string>&x;</string></plist>", "internal subset"},
      {"<plist><string>&x;</string></plist>", "unknown entity &x;"},
      {"<plist><string>&#0;</string></plist>", "bad character reference"},
      {"<plist><string>&#xD800;</string></plist>", "bad character reference"},
      {"<plist><string>a & b</string></plist>", "'&'"},
      {"<plist><string>a<b/></string></plist>", "unexpected <b> inside <string>"},
      {"<plist><array>text</array></plist>", "text inside <array>"},
      {"<plist><true>x</true></plist>", "text inside <true>"},
      {tooDeep, "nesting"},
  };
  for (const auto& c : cases) {
    auto read = ReadXmlPropertyList(c.text);
    ASSERT_FALSE(read) << c.text << " read as " << read->Describe();
    EXPECT_NE(read.error().find(c.error), std::string::npos) << c.text << ": " << read.error();
  }
}

TEST(PlistXml, ErrorsNameTheLine) {
  auto read = ReadXmlPropertyList("<plist>\n<dict>\n<key>a</key>\n<integer>x</integer>\n</dict>\n</plist>\n");
  ASSERT_FALSE(read);
  EXPECT_NE(read.error().find("line 4"), std::string::npos) << read.error();
}

}  // namespace

namespace {

// Damaged files must give a value or an error, never a crash (run under the sanitizers
// to see memory faults).
TEST(PlistXml, RandomDamageNeverCrashes) {
  Value v{{"list", Array{1, -2, 2.5, "a &amp; b", Data{Bytes(80, 7)}, Date{3}}},
          {"nested", Value{{"a", Array{}}}}};
  const std::string good = WriteXmlPropertyList(v).value();
  std::uint32_t seed = 54321;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  const char kInteresting[] = "<>/&;#x[]!-\"' \t\n0a=";
  for (int round = 0; round < 5000; ++round) {
    std::string damaged = good;
    const int flips = 1 + static_cast<int>(next() % 4);
    for (int f = 0; f < flips; ++f) {
      damaged[next() % damaged.size()] = kInteresting[next() % (sizeof kInteresting - 1)];
    }
    auto read = ReadXmlPropertyList(damaged);
    if (!read) {
      EXPECT_FALSE(read.error().empty());
    }
  }
}

}  // namespace
