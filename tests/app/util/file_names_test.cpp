#include "app/util/files/file_names.h"

#include <gtest/gtest.h>

#include "platform/values/utf16.h"
#include "tests/fakes/fake_ui_services.h"

namespace {

std::string NameFor(const std::string& text) {
  std::optional<values::Url> url = values::Url::Create(text);
  EXPECT_TRUE(url) << text;
  return url ? util::CopyFileNameForURL(*url) : std::string();
}

TEST(CopyFileNameForURL, NamesFromPathsQueriesAndEscapes) {
  const std::pair<std::string, std::string> cases[] = {
      {"http://h/dir/file.zip", "file.zip"},
      {"http://h/get.php?file=setup.zip", "setup.zip"},       // script page: the value after "="
      {"http://h/a.php?x=ab.c", "a.php"},                     // candidate shorter than 6
      {"http://h/a.php?id=12345", "a.php"},                   // tail longer than 5: no candidate
      {"http://h/dl.cgi?f=x/y/archive.tgz", "yarchive.tgz"},  // after the first "/"; "/" deleted
      {"http://h/get?u=http://m/files/app.dmg",
       "mfilesapp.dmg"},                          // after the first "/" of the value; "/" deleted
      {"http://h/page.html?a=b.c", "page.html"},  // a real extension keeps the path name
      {"http://h/My%20File%C3%A9.txt", "My File\xC3\xA9.txt"},  // UTF-8 escapes
      {"http://h/caf%E9.txt", "caf\xC3\xA9.txt"},               // not UTF-8: read as Latin-1
      {"http://h/100%25.txt", "100%.txt"},
      {"http://h/a%2541.txt", "a%41.txt"},               // unescaped once only
      {"http://h/a%3Ab%0Dc%0A.txt", "abc.txt"},          // ":" CR LF deleted
      {"http://h/rtl%E2%80%8Fname.txt", "rtlname.txt"},  // a format character (U+200F)
      {"http://h/.hidden", "hidden"},                    // one leading dot goes
      {"http://h/..file", ".file"},
      {"http://h/", "index.html"},
      {"http://h", "index.html"},
      {"http://h/%2E%2E", "index.html"},     // becomes "." after the dot rule
      {"http://h/%2E%2E%2E", "index.html"},  // would become ".."
      {"http://h/a/%2F", "index.html"},      // only a "/" left
      {"ftp://h/pub/dir/", "dir (Folder)"},
      {"FTPS://h/pub/", "pub (Folder)"},
      {"http://h/pub/", "pub"},  // only FTP names folders
  };
  for (const auto& [url, name] : cases) EXPECT_EQ(NameFor(url), name) << url;
}

TEST(CopyFileNameForURL, LongNamesFitCharacterAndByteLimitsOnWholeClusters) {
  const std::string ascii(300, 'a');
  std::string name = NameFor("http://h/" + ascii);
  EXPECT_EQ(name, std::string(244, 'a'));

  // 300 x "e" + combining acute: 600 UTF-16 units, 900 bytes.
  std::string accented;
  for (int i = 0; i < 300; ++i) accented += "e%CC%81";
  name = NameFor("http://h/" + accented);
  EXPECT_LE(values::Utf16Length(name), 244u);
  EXPECT_LE(name.size(), 244u);
  EXPECT_EQ(name.size() % 3, 0u);  // whole "e" + mark clusters only
  EXPECT_EQ(name.substr(name.size() - 3), "e\xCC\x81");

  // Three-byte characters: 100 of them are 300 bytes but only 100 units.
  std::string cjk;
  for (int i = 0; i < 100; ++i) cjk += "%E6%96%87";
  name = NameFor("http://h/" + cjk);
  EXPECT_EQ(name.size(), 243u);  // 81 whole characters
}

TEST(ValidateFileName, RefusesWhatCannotNameAFile) {
  fakes::ScopedFakeUi fake;
  const std::pair<std::string, bool> cases[] = {
      {"report.pdf", true},
      {"", false},
      {"a:b", false},
      {"a/b", false},
      {".", false},
      {"..", false},
      {"...", true},
      {".hidden", true},
      {"tab\there", false},
      {std::string(255, 'x'), true},
      {std::string(256, 'x'), false},
  };
  for (const auto& [name, ok] : cases) EXPECT_EQ(util::ValidateFileName(name, false), ok) << name;
  EXPECT_TRUE(fake->alerts.empty());

  EXPECT_FALSE(util::ValidateFileName("", true));
  EXPECT_TRUE(fake->alerts.empty());  // the empty name is refused silently
  EXPECT_FALSE(util::ValidateFileName("..", true));
  ASSERT_EQ(fake->alerts.size(), 1u);
  EXPECT_EQ(fake->alerts[0].type, ui::AlertType::kNote);
  EXPECT_EQ(fake->alerts[0].message, "The name \"..\" cannot be used");
  EXPECT_EQ(fake->alerts[0].explanation, "Try using a name with fewer punctuation or '/' characters.");
}

}  // namespace
