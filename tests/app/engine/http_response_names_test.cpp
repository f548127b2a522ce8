// File names from the server's answer: never outside the download folder.
#include <gtest/gtest.h>

#include "app/engine/http/http_response_names.h"
#include "app/util/files/file_names.h"
#include "platform/values/utf16.h"

#include <random>

namespace engine {
namespace {

TEST(HttpResponseNames, ContentDispositionForms) {
  const struct {
    const char* header;
    std::optional<std::string> name;
  } cases[] = {
      {"attachment; filename=\"report 2024.pdf\"", "report 2024.pdf"},
      {"attachment; filename=plain.txt; size=3", "plain.txt"},
      {"ATTACHMENT; FILENAME=Upper.TXT", "Upper.TXT"},
      {"attachment; filename*=UTF-8''na%C3%AFve.txt; filename=\"naive.txt\"", "na\xC3\xAFve.txt"},
      {"attachment; filename=\"caf\xE9.txt\"", "caf\xC3\xA9.txt"},  // Latin-1 bytes
      {"inline", std::nullopt},
      {"attachment; xfilename=a.txt", std::nullopt},
      {"attachment; filename=\"\"", std::nullopt},
      // An extended value that breaks its own rules is not guessed at: the plain name
      // stands, else none (and the URL's name is used).
      {"attachment; filename*=UTF-8''a%25\xc2 b\xef.bin", std::nullopt},
      {"attachment; filename*=UTF-8''a%FF.bin; filename=\"plain.bin\"", "plain.bin"},
      {"attachment; filename*=UTF-8''two words.bin; filename=x.bin", "x.bin"},
      {"attachment; filename*=iso-8859-1''caf%E9.txt", "caf\xC3\xA9.txt"},
      {"attachment; filename*=koi8-r''x.txt; filename=y.txt", "y.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(FileNameFromContentDisposition(c.header), c.name) << c.header;
}

TEST(HttpResponseNames, HostileNamesStayInsideTheFolder) {
  (void)util::GetFileNameCharacterSet();
  const struct {
    const char* raw;
    std::optional<std::string> safe;
  } cases[] = {
      {"../../etc/passwd", "etcpasswd"},
      {"..", std::nullopt},
      {"...", std::nullopt},
      {".hidden", "hidden"},
      {"%2e%2e%2fescape", "escape"},
      {"a/b\\c:d", "abcd"},
      {"name.zip?session=1", "name.zip"},
      {"line\r\nbreak\x01.txt", "linebreak.txt"},
      {"  ", std::nullopt},
      {"good.iso", "good.iso"},
      {" ..", std::nullopt},
      {" .bashrc", "bashrc"},
      {". .profile", "profile"},
      {"%\xae", "%\xC2\xAE"},  // not an escape, not UTF-8: read as Latin-1
      {"%2e%20.x", "x"},
  };
  for (const auto& c : cases) EXPECT_EQ(SanitizeDownloadFileName(c.raw), c.safe) << c.raw;
  const auto longName = SanitizeDownloadFileName(std::string(400, 'a') + ".bin");
  ASSERT_TRUE(longName);
  EXPECT_LE(longName->size(), util::kMaxFileNameBytes);
  const auto longUtf8 = SanitizeDownloadFileName(std::string(300, 'x') + "\xC3\xA9\xC3\xA9\xC3\xA9");
  ASSERT_TRUE(longUtf8);
  EXPECT_LE(longUtf8->size(), util::kMaxFileNameBytes);
}

// Whatever the bytes, a name that comes out is one the program may use.
TEST(HttpResponseNames, SanitizedNamesKeepTheirPropertiesOverFuzzedInput) {
  (void)util::GetFileNameCharacterSet();
  std::mt19937 random(20261210);
  // Bytes weighted toward the ones the rules are about.
  const std::string_view interesting =
      " .%/\\:?\t\r\n\x01\x7f\xc2\xae\xe2\x80\x8b\xef\xbf\xbf0123456789abcdefABCDEF";
  for (int round = 0; round < 20000; ++round) {
    std::string raw;
    const std::size_t length = random() % (round % 100 == 0 ? 600 : 24);
    for (std::size_t i = 0; i < length; ++i) {
      raw +=
          random() % 4 == 0 ? static_cast<char>(random() % 256) : interesting[random() % interesting.size()];
    }
    const std::optional<std::string> safe = SanitizeDownloadFileName(raw);
    if (!safe) continue;
    SCOPED_TRACE(::testing::PrintToString(raw));
    EXPECT_FALSE(safe->empty());
    EXPECT_NE(*safe, ".");
    EXPECT_NE(*safe, "..");
    EXPECT_NE(safe->front(), '.');
    EXPECT_EQ(safe->find('/'), std::string::npos);
    EXPECT_TRUE(values::IsValidUtf8(*safe));
    EXPECT_LE(safe->size(), 255u);
    EXPECT_TRUE(util::ValidateFileName(*safe, false));
  }
}

TEST(HttpResponseNames, AnInvalidExtendedNameFallsBackToTheUrlsName) {
  (void)util::GetFileNameCharacterSet();
  const auto url = *values::Url::Create("http://127.0.0.1/files/fallback.bin");
  const std::string name =
      FileNameForResponse(std::string("attachment; filename*=UTF-8''a%25\xc2 b\xef.bin"), url);
  EXPECT_EQ(name, "fallback.bin");
  EXPECT_TRUE(values::IsValidUtf8(name));
}

TEST(HttpResponseNames, TheDispositionWinsElseTheFinalUrl) {
  (void)util::GetFileNameCharacterSet();
  const auto url = *values::Url::Create("http://127.0.0.1/files/final%20name.iso");
  EXPECT_EQ(FileNameForResponse(std::string("attachment; filename=\"given.iso\""), url), "given.iso");
  EXPECT_EQ(FileNameForResponse(std::string("attachment; filename=\"..\""), url), "final name.iso");
  EXPECT_EQ(FileNameForResponse(std::nullopt, url), "final name.iso");
}

}  // namespace
}  // namespace engine
