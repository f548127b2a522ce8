#include "platform/values/localize.h"

#include <gtest/gtest.h>

#include "tests/support/temp_home.h"

namespace values {
namespace {

class LocalizeTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearLocalizedStrings(); }
  void TearDown() override { ClearLocalizedStrings(); }
};

TEST_F(LocalizeTest, UnknownKeysComeBackAsTheyAre) {
  EXPECT_EQ(Localized("kStatusCompleted"), "kStatusCompleted");
  EXPECT_EQ(Localized("Download of %@ complete\r"), "Download of %@ complete\r");
  EXPECT_EQ(Localized(""), "");
}

TEST_F(LocalizeTest, RegisteredEntriesWin) {
  RegisterLocalizedStrings({{"kStatusCompleted", "Completed"}, {"kGigabyteFormat", "%.2f GB"}});
  RegisterLocalizedString("Today", "Heute");
  EXPECT_EQ(Localized("kStatusCompleted"), "Completed");
  EXPECT_EQ(Localized("kGigabyteFormat"), "%.2f GB");
  EXPECT_EQ(Localized("Today"), "Heute");
  EXPECT_EQ(Localized("Yesterday"), "Yesterday");
}

TEST_F(LocalizeTest, ReadsTheClassicTextForm) {
  const std::string text =
      "/* Status texts */\n"
      "\"kStatusCompleted\" = \"Completed\";\n"
      "// a line comment\n"
      "\"kQuoted\" = \"Say \\\"hi\\\"\\r\\n\\tnow\";\n"
      "\"kUnicode\" = \"caf\\U00e9 \\UD83D\\UDE00\";\n"
      "kBare = bare.word;\n"
      "\"kSelf\";\n"
      "\"%@ (%d)\" = \"%1$@ (%2$d)\";\n";
  std::map<std::string, std::string> table;
  ASSERT_TRUE(ParseStringsTable(text, table));
  EXPECT_EQ(table["kStatusCompleted"], "Completed");
  EXPECT_EQ(table["kQuoted"], "Say \"hi\"\r\n\tnow");
  EXPECT_EQ(table["kUnicode"], "caf\u00E9 \U0001F600");
  EXPECT_EQ(table["kBare"], "bare.word");
  EXPECT_EQ(table["kSelf"], "kSelf");
  EXPECT_EQ(table["%@ (%d)"], "%1$@ (%2$d)");
  EXPECT_EQ(table.size(), 6u);
}

TEST_F(LocalizeTest, ReadsAPropertyList) {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n<dict>\n"
      "\t<key>kDateTomorrow</key>\n\t<string>Tomorrow</string>\n"
      "\t<key>kNotText</key>\n\t<integer>3</integer>\n"
      "\t<key>A &amp; B</key>\n\t<string>A &lt;and&gt; B</string>\n"
      "</dict>\n</plist>\n";
  std::map<std::string, std::string> table;
  ASSERT_TRUE(ParseStringsTable(xml, table));
  EXPECT_EQ(table["kDateTomorrow"], "Tomorrow");
  EXPECT_EQ(table["A & B"], "A <and> B");
  EXPECT_EQ(table.count("kNotText"), 0u);
}

struct BadCase {
  const char* text;
  const char* message;
};

TEST_F(LocalizeTest, MalformedTablesSayWhere) {
  const BadCase cases[] = {
      {"\"a\" = \"b\";\n\"c\" = \"d\"\n\"e\" = \"f\";", "expected ';' at line 3"},
      {"\"a\" = \"unterminated;\n", "expected a value at line 1"},
      {"/* never closed", "unterminated comment"},
      {"= \"x\";", "expected a key at line 1"},
      {"<plist><array/></plist>", "the property list holds no dictionary"},
  };
  for (const auto& c : cases) {
    std::map<std::string, std::string> table;
    const StringsLoadResult result = ParseStringsTable(c.text, table);
    EXPECT_FALSE(result) << c.text;
    EXPECT_NE(result.message.find(c.message), std::string::npos) << result.message;
  }
}

TEST_F(LocalizeTest, LoadsFilesInUtf16AndKeepsTheTableOnFailure) {
  const std::string dir = testsupport::MakeTempDir("strings");
  // "kA" = "Ä"; in UTF-16 little-endian with its byte-order mark.
  const std::u16string text = u"\"kA\" = \"\u00C4\";\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t u : text) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  testsupport::WriteFile(dir + "/Localizable.strings", bytes);
  ASSERT_TRUE(LoadLocalizedStringsFile(dir + "/Localizable.strings"));
  EXPECT_EQ(Localized("kA"), "\u00C4");

  testsupport::WriteFile(dir + "/Broken.strings", "\"kA\" = \"other\";\n\"kB\" = ");
  const StringsLoadResult broken = LoadLocalizedStringsFile(dir + "/Broken.strings");
  EXPECT_FALSE(broken);
  EXPECT_NE(broken.message.find("Broken.strings"), std::string::npos);
  EXPECT_EQ(Localized("kA"), "\u00C4");

  EXPECT_FALSE(LoadLocalizedStringsFile(dir + "/Missing.strings"));
}

}  // namespace
}  // namespace values
