// Every message key the program can show has a text a person can read.
#include "app/util/text/english_texts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "platform/values/localize.h"

namespace {

namespace fs = std::filesystem;

// The symbolic keys written in the program's sources: string literals of the form
// "kSomething" (a "k" and a capital), outside comments, with the files they are in.
std::map<std::string, std::string> SymbolicKeysInSources(const fs::path& root) {
  std::map<std::string, std::string> keys;
  const std::regex literal("\"(k[A-Z][A-Za-z0-9]*)\"");
  for (const char* top : {"app", "platform", "plugins"}) {
    if (!fs::exists(root / top)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
      const auto extension = entry.path().extension();
      if (!entry.is_regular_file() || (extension != ".cpp" && extension != ".h")) continue;
      std::ifstream in(entry.path());
      std::string line;
      while (std::getline(in, line)) {
        const auto first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line.compare(first, 2, "//") == 0) continue;
        const std::string code = line.substr(0, line.find("//"));
        for (std::sregex_iterator it(code.begin(), code.end(), literal), end; it != end; ++it) {
          // Metadata attribute and query-scope names ("kMDItemWhereFroms") are stored, never shown.
          if ((*it)[1].str().rfind("kMD", 0) == 0) continue;
          keys.emplace((*it)[1].str(), fs::relative(entry.path(), root).string());
        }
      }
    }
  }
  return keys;
}

TEST(EnglishTexts, EveryMessageKeyInTheCodeHasAnEnglishText) {
  const char* source = std::getenv("TRUVANE_SOURCE_DIR");
  ASSERT_NE(source, nullptr) << "the tests are run by ctest, which says where the sources are";
  const auto keys = SymbolicKeysInSources(source);
  ASSERT_TRUE(keys.count("kDownloadStartPerms")) << "the source scan found nothing";
  std::set<std::string_view> known;
  for (const auto& [key, text] : util::EnglishTextsOfSymbolicKeys()) known.insert(key);
  for (const auto& [key, file] : keys)
    EXPECT_TRUE(known.count(key)) << key << " (in " << file << ") has no text";
}

TEST(EnglishTexts, RegisteredTextsAreWhatTheKeysShow) {
  values::ClearLocalizedStrings();
  EXPECT_EQ(values::Localized("kDownloadStartPerms"), "kDownloadStartPerms");
  util::RegisterEnglishTexts();
  for (const auto& [key, text] : util::EnglishTextsOfSymbolicKeys()) {
    EXPECT_FALSE(text.empty()) << key;
    EXPECT_NE(text, key);
    EXPECT_EQ(values::Localized(key), text);
  }
  values::ClearLocalizedStrings();
}

}  // namespace
