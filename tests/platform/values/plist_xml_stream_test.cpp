#include "platform/values/plist_xml_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/values/plist_xml.h"
#include "tests/platform/values/strict_value.h"

using namespace values;
using testsupport::StrictEqual;

namespace {

// Feeds `text` in pieces of `piece` bytes (0: all at once); streamed items are collected
// as "key" entries of the returned list, so the tests can see what was handed out.
struct StreamRead {
  PlistResult<Value> root = PlistResult<Value>::Failure("not read");
  std::vector<std::pair<std::string, Value>> items;
};

StreamRead ReadInPieces(std::string_view text, std::size_t piece, bool stream = true) {
  StreamRead out;
  XmlPlistStreamReader::ItemHandler handler;
  if (stream) {
    handler = [&](const std::string& key, Value&& item, std::string&) {
      out.items.emplace_back(key, std::move(item));
      return true;
    };
  }
  XmlPlistStreamReader reader(handler);
  bool ok = true;
  if (piece == 0) {
    ok = reader.Feed(text);
  } else {
    for (std::size_t at = 0; at < text.size() && ok; at += piece) ok = reader.Feed(text.substr(at, piece));
  }
  out.root = reader.Finish();
  if (ok) {
    EXPECT_EQ(out.root.ok(), reader.error().empty());
  }
  return out;
}

// Puts the streamed items back where they came from, to compare with the whole reader.
Value Reassembled(const StreamRead& read) {
  Value root = *read.root;
  for (const auto& [key, item] : read.items) {
    Dictionary* dict = root.AsDictionary();
    Array* items = dict ? (*dict)[key].AsArray() : nullptr;
    if (items) items->push_back(item);
  }
  return root;
}

const std::size_t kPieces[] = {0, 1, 2, 7, 64};

TEST(PlistXmlStream, ReadsWhatTheWholeReaderReadsInAnyPieces) {
  const std::string queue =
      WriteXmlPropertyList(
          Value{{"Elements", Array{Value{{"UID", Number::Int64(1)}, {"url", "a\r\nb &amp;"}},
                                   Value{{"UID", Number::Int64(2)}, {"data", Data{Bytes(90, 3)}}}}},
                {"Folders", Array{}},
                {"Version", 3}})
          .value();
  const std::string_view texts[] = {
      queue,
      "<plist><string> \r\n a<![CDATA[<&>]]>&#x1F389;</string></plist>",
      "<?xml version=\"1.0\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"x.dtd\">\n"
      "<plist version=\"1.0\"><!-- a > b --><dict><key>a</key><array><true/><false/>"
      "<date>2000-02-29T12:00:00Z</date><real>1e3</real></array></dict></plist>",
      "\xEF\xBB\xBF<string>bare</string>",
      "<plist><dict><key>a</key><integer>1</integer><key>a</key><integer>2</integer></dict></plist>",
      "<plist><array><key>k</key><string/></array></plist>",
  };
  for (const std::string_view text : texts) {
    const auto whole = ReadXmlPropertyList(text);
    ASSERT_TRUE(whole) << text << ": " << whole.error();
    for (const std::size_t piece : kPieces) {
      SCOPED_TRACE(testing::Message() << text << " in pieces of " << piece);
      const StreamRead kept = ReadInPieces(text, piece, false);
      ASSERT_TRUE(kept.root) << kept.root.error();
      EXPECT_TRUE(StrictEqual(*kept.root, *whole)) << kept.root->Describe();
      const StreamRead streamed = ReadInPieces(text, piece);
      ASSERT_TRUE(streamed.root) << streamed.root.error();
      EXPECT_TRUE(StrictEqual(Reassembled(streamed), *whole)) << Reassembled(streamed).Describe();
    }
  }
  // Only the arrays directly in the root dictionary are handed out, and the root keeps them
  // empty.
  const StreamRead streamed = ReadInPieces(queue, 5);
  ASSERT_EQ(streamed.items.size(), 2u);
  EXPECT_EQ(streamed.items[0].first, "Elements");
  EXPECT_TRUE(StrictEqual(
      *streamed.root, Value{{"Elements", Array{}}, {"Folders", Array{}}, {"Version", Number::UInt64(3)}}));
}

TEST(PlistXmlStream, RefusesWhatTheWholeReaderRefuses) {
  std::string deep;
  for (int i = 0; i < kMaxPlistDepth + 1; ++i) deep += "<array>";
  for (int i = 0; i < kMaxPlistDepth + 1; ++i) deep += "</array>";
  const std::string tooDeep = "<plist>" + deep + "</plist>";
  const struct {
    std::string_view text, error;
  } cases[] = {
      {"", "no property list"},
      {"not xml", "text outside"},
      {"<plist><dict><key>a</key><string>x</dict></plist>", "malformed XML"},
      {"<plist><string>a</string>", "malformed XML"},
      {"<plist><string>a", "malformed XML"},
      {"<plist><dict><key>a</key></dict></plist>", "key \"a\" has no value"},
      {"<plist><dict><key>a</key><key>b</key><true/></dict></plist>", "key \"a\" has no value"},
      {"<plist><dict><string>x</string></dict></plist>", "without a <key>"},
      {"<plist><dict><key>a</key><bogus/></dict></plist>", "unknown tag <bogus>"},
      {"<plist><integer>12a</integer></plist>", "bad <integer>"},
      {"<plist><data>A</data></plist>", "bad base64"},
      {"<plist><string>a</string></plist>trailing", "text outside"},
      {"<plist><string>a</string></plist><plist/>", "more than one root"},
      {"<plist><string>a</string><string>b</string></plist>", "more than one value"},
      {"<plist></plist>", "holds no value"},
      {"<!DOCTYPE plist [<!ENTITY x \"y\">]><plist><string>&x;</string></plist>", "internal subset"},
      {"<plist><string>&x;</string></plist>", "unknown entity &x;"},
      {"<plist><string>a<b/></string></plist>", "unexpected <b> inside <string>"},
      {"<plist><array>text</array></plist>", "text inside <array>"},
      {"<plist><array><![CDATA[x]]></array></plist>", "CDATA inside <array>"},
      {"<plist><!-- never ends", "unterminated comment"},
      {tooDeep, "nesting"},
      {"<plist><string>&#0;</string></plist>", "bad character reference"},
      {"<plist><string>&#xD800;</string></plist>", "bad character reference"},
      {"<plist><string>&#x110000;</string></plist>", "bad character reference"},
      {"<plist><string>a &amp b</string></plist>", "without a complete reference"},
      {"<plist><string>a</integer></plist>", "unexpected </integer>"},
      {"<plist><true>x</true></plist>", "text inside <true>"},
      {"<plist><integer>99999999999999999999</integer></plist>", "out of range"},
      {"<plist><integer>-</integer></plist>", "bad <integer>"},
      {"<plist><real>1e999</real></plist>", "out of range"},
      {"<plist><real>1.5x</real></plist>", "bad <real>"},
      {"<plist><date>2001-02-30T00:00:00Z</date></plist>", "bad <date>"},
      {"<plist><str", "unterminated tag"},
      {"<plist><string>abc", "ends inside <string>"},
      {"<plist><dict><key>a</key></plist>", "unexpected </plist>"},
      {"<plist><a/b></plist>", "bad start tag"},
      {"<plist><plist/></plist>", "unknown tag <plist>"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(ReadXmlPropertyList(c.text)) << c.text;
    for (const std::size_t piece : kPieces) {
      const StreamRead read = ReadInPieces(c.text, piece);
      ASSERT_FALSE(read.root) << c.text << " in pieces of " << piece;
      EXPECT_NE(read.root.error().find(c.error), std::string::npos) << c.text << ": " << read.root.error();
    }
  }
  const StreamRead lines =
      ReadInPieces("<plist>\n<dict>\n<key>a</key>\n<integer>x</integer>\n</dict>\n</plist>\n", 3);
  ASSERT_FALSE(lines.root);
  EXPECT_NE(lines.root.error().find("line 4"), std::string::npos) << lines.root.error();
}

// Every kind of value, read whole and cut at every place a chunk can end (the reader makes
// most scalars straight from the text and gathers the rest, so both ways are seen).
TEST(PlistXmlStream, EveryValueReadsAsWrittenInAnyPieces) {
  const struct {
    std::string_view text;
    Value value;
  } cases[] = {
      {"<string>plain</string>", "plain"},
      {"<string/>", ""},
      {"<string></string>", ""},
      {"<string>a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos; &#65;&#x42;&#x1F389;</string>",
       "a & b <c> \"d\" 'e' AB\xF0\x9F\x8E\x89"},
      {"<string>line\r\nnext\r</string>", "line\r\nnext\r"},
      {"<string>x<!-- note -->y<![CDATA[<&amp;>]]>z<?pi?></string>", "xy<&amp;>z"},
      {"<string >spaced</string >", "spaced"},
      {"<integer>42</integer>", Number::Int64(42)},
      {"<integer> -7\n</integer>", Number::Int64(-7)},
      {"<integer>0x1F</integer>", Number::Int64(31)},
      {"<integer>+5</integer>", Number::Int64(5)},
      {"<integer>123456789012345678</integer>", Number::Int64(123456789012345678)},
      {"<integer>9223372036854775807</integer>", Number::Int64(INT64_MAX)},
      {"<integer>18446744073709551615</integer>", Number::UInt64(UINT64_MAX)},
      {"<integer>-9223372036854775808</integer>", Number::Int64(INT64_MIN)},
      {"<real>1.5</real>", Number::Float64(1.5)},
      {"<real> -0.25 </real>", Number::Float64(-0.25)},
      {"<real>1e3</real>", Number::Float64(1000)},
      {"<real>.5</real>", Number::Float64(0.5)},
      {"<real>+inf</real>", Number::Float64(std::numeric_limits<double>::infinity())},
      {"<real>-inf</real>", Number::Float64(-std::numeric_limits<double>::infinity())},
      {"<date>2001-01-01T00:01:40Z</date>", Date{100}},
      {"<data>\n\tAAEC\n\tAw==\n</data>", Data{Bytes{0, 1, 2, 3}}},
      {"<data>QUJD</data>", Data{Bytes{'A', 'B', 'C'}}},
      {"<data></data>", Data{}},
      {"<true/>", true},
      {"<false />", false},
      {"<true> </true>", true},
      {"<dict><key>a</key><array><dict><key>b</key><array/></dict><array><integer>1</integer></array>"
       "</array><key>c</key><dict/></dict>",
       Value{{"a", Array{Value{{"b", Array{}}}, Array{Number::Int64(1)}}}, {"c", Dictionary{}}}},
      // Keys out of order, with references, empty, and repeated (the last value wins).
      {"<dict><key>z</key><integer>1</integer><key>a&amp;b</key><integer>2</integer><key>z</key>"
       "<integer>3</integer><key/><string>e</string></dict>",
       Value{{"", "e"}, {"a&b", Number::Int64(2)}, {"z", Number::Int64(3)}}},
      // A key outside a dictionary is a string.
      {"<array><key>k</key></array>", Array{"k"}},
      {"<plist version=\"1.0\" note='a>b'>\n<true/>\n</plist>\n", true},
  };
  for (const auto& c : cases) {
    const auto whole = ReadXmlPropertyList(c.text);
    ASSERT_TRUE(whole) << c.text << ": " << whole.error();
    EXPECT_TRUE(StrictEqual(*whole, c.value)) << c.text << ": " << whole->Describe();
    for (std::size_t piece = 0; piece <= c.text.size(); ++piece) {
      SCOPED_TRACE(testing::Message() << c.text << " in pieces of " << piece);
      const StreamRead read = ReadInPieces(c.text, piece, false);
      ASSERT_TRUE(read.root) << read.root.error();
      EXPECT_TRUE(StrictEqual(*read.root, c.value)) << read.root->Describe();
    }
  }
}

// A file cut short anywhere before its end is refused with a reason, never read as a
// shorter list.
TEST(PlistXmlStream, CutAnywhereIsRefused) {
  const std::string text =
      WriteXmlPropertyList(Value{{"Elements", Array{Value{{"UID", Number::Int64(1)},
                                                          {"name", "a &amp; b"},
                                                          {"alias", Data{Bytes(40, 9)}},
                                                          {"urls", Array{Value{{"url", "http://h/"}}}}}}},
                                 {"Folders", Array{Value{{"id", 2.5}, {"on", true}}}}})
          .value();
  const std::size_t end = text.rfind("</plist>") + std::string_view("</plist>").size();
  for (std::size_t cut = 0; cut < end; ++cut) {
    for (const std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{5}}) {
      const StreamRead read = ReadInPieces(std::string_view(text).substr(0, cut), piece);
      ASSERT_FALSE(read.root) << "cut at " << cut << " in pieces of " << piece;
      EXPECT_FALSE(read.root.error().empty());
    }
  }
}

// A handler that refuses an item stops the read with its reason.
TEST(PlistXmlStream, HandlerCanStopTheRead) {
  XmlPlistStreamReader reader([](const std::string&, Value&&, std::string& reason) {
    reason = "enough";
    return false;
  });
  EXPECT_FALSE(reader.Feed("<plist><dict><key>Elements</key><array><true/><true/></array></dict></plist>"));
  EXPECT_NE(reader.Finish().error().find("enough"), std::string::npos);
}

// Damaged files: whatever the whole reader takes, the stream reader takes alike, and it
// never crashes (run under the sanitizers to see memory faults).
TEST(PlistXmlStream, RandomDamageReadsAsTheWholeReaderReadsIt) {
  Value v{{"Elements", Array{Value{{"a", 1}, {"b", "x &amp; y"}}, Value{{"c", Data{Bytes(80, 7)}}}}},
          {"Folders", Array{Date{3}, -2, 2.5}}};
  const std::string good = WriteXmlPropertyList(v).value();
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  const char kInteresting[] = "<>/&;#x[]!-?\"' \t\n0a=";
  for (int round = 0; round < 3000; ++round) {
    std::string damaged = good;
    const int flips = 1 + static_cast<int>(next() % 4);
    for (int f = 0; f < flips; ++f)
      damaged[next() % damaged.size()] = kInteresting[next() % (sizeof kInteresting - 1)];
    const auto whole = ReadXmlPropertyList(damaged);
    const StreamRead streamed = ReadInPieces(damaged, 1 + next() % 50);
    if (!streamed.root) {
      EXPECT_FALSE(streamed.root.error().empty());
    }
    if (whole) {
      ASSERT_TRUE(streamed.root) << damaged << "\n" << streamed.root.error();
      EXPECT_TRUE(StrictEqual(Reassembled(streamed), *whole)) << damaged;
    }
  }
}

// The streaming reader reads text that is not UTF-8 as the whole reader does: as Latin-1.
TEST(PlistXmlStream, TextThatIsNotUtf8IsReadAsLatin1) {
  const std::string file =
      "<plist version=\"1.0\"><dict><key>caf\xe9</key><string>\xff</string></dict></plist>";
  for (std::size_t piece : kPieces) {
    const StreamRead read = ReadInPieces(file, piece, false);
    ASSERT_TRUE(read.root.ok()) << piece;
    EXPECT_TRUE(*read.root == (Value{{"caf\xc3\xa9", "\xc3\xbf"}})) << piece;
  }
}

}  // namespace
