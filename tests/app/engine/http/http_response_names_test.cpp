// File names from the server's answer: never outside the download folder.
#include <gtest/gtest.h>

#include "app/engine/http/http_response_names.h"
#include "app/util/files/file_names.h"

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
  };
  for (const auto& c : cases) EXPECT_EQ(SanitizeDownloadFileName(c.raw), c.safe) << c.raw;
  const auto longName = SanitizeDownloadFileName(std::string(400, 'a') + ".bin");
  ASSERT_TRUE(longName);
  EXPECT_LE(longName->size(), util::kMaxFileNameBytes);
  const auto longUtf8 = SanitizeDownloadFileName(std::string(300, 'x') + "\xC3\xA9\xC3\xA9\xC3\xA9");
  ASSERT_TRUE(longUtf8);
  EXPECT_LE(longUtf8->size(), util::kMaxFileNameBytes);
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
