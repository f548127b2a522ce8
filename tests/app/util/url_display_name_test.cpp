#include "app/util/text/url_display_name.h"

#include <gtest/gtest.h>

namespace {

TEST(CopyURLDisplayName, LastComponentElseTextAfterTheLastSlash) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://h/dir/file%20one.zip", "file one.zip"},
      {"ftp://h/pub/dir/", "dir"},
      {"http://h/", "/"},
      {"http://h", ""},
      {"http://h/caf%E9", "caf%E9"},  // escapes that do not decode: the text as it stands
      {"mailto:a@b", ""},
  };
  for (auto [text, name] : cases)
    EXPECT_EQ(util::CopyURLDisplayName(*values::Url::Create(text)), name) << text;
}

}  // namespace
