#include "platform/files/standard_folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "platform/files/user_dirs.h"
#include "tests/support/temp_home.h"

using namespace files;

TEST(ParseUserDirs, AcceptsTheFormsTheDesktopWrites) {
  const struct {
    const char* line;
    const char* expected;  // nullptr: ignored
  } cases[] = {
      {"XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"", "/home/ann/Downloads"},
      {"XDG_DOWNLOAD_DIR=\"$HOME/Téléchargements\"", "/home/ann/Téléchargements"},
      {"XDG_DOWNLOAD_DIR=\"/data/dl/\"", "/data/dl"},
      {"XDG_DOWNLOAD_DIR=/data/unquoted", "/data/unquoted"},
      {"XDG_DOWNLOAD_DIR=\"$HOME/\"", "/home/ann"},
      {"XDG_DOWNLOAD_DIR=\"$HOME\"", "/home/ann"},
      {"XDG_DOWNLOAD_DIR=\"${HOME}/Braced\"", "/home/ann/Braced"},
      {"  XDG_DOWNLOAD_DIR = \"$HOME/Spaced Out\"  ", "/home/ann/Spaced Out"},
      {"XDG_DOWNLOAD_DIR=\"$HOME/with \\\"quote\\\"\"", "/home/ann/with \"quote\""},
      {"XDG_DOWNLOAD_DIR=\"relative/path\"", nullptr},
      {"XDG_DOWNLOAD_DIR=\"$HOMEBOY/x\"", nullptr},
      {"XDG_DOWNLOAD_DIR=\"$XDG_DATA_HOME/x\"", nullptr},
      {"XDG_DOWNLOAD_DIR=\"$HOME/unterminated", nullptr},
      {"# XDG_DOWNLOAD_DIR=\"/commented\"", nullptr},
      {"XDG_DOWNLOAD_DIR=/two words", nullptr},
  };
  for (const auto& c : cases) {
    const auto dirs = ParseUserDirs(c.line, "/home/ann");
    const auto it = dirs.find("XDG_DOWNLOAD_DIR");
    if (c.expected) {
      ASSERT_NE(it, dirs.end()) << c.line;
      EXPECT_EQ(it->second, c.expected) << c.line;
    } else {
      EXPECT_EQ(it, dirs.end()) << c.line;
    }
  }
  const auto many = ParseUserDirs(
      "XDG_DESKTOP_DIR=\"$HOME/Desk\"\r\n\nXDG_DOWNLOAD_DIR=\"/a\"\nXDG_DOWNLOAD_DIR=\"/b\"\n", "/h");
  EXPECT_EQ(many.at("XDG_DESKTOP_DIR"), "/h/Desk");
  EXPECT_EQ(many.at("XDG_DOWNLOAD_DIR"), "/b");
}

class StandardFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = testsupport::MakeTempDir("home");
    saved_home_ = std::getenv("HOME");
    for (const char* var : kVars) {
      const char* v = std::getenv(var);
      saved_[var] = v ? std::optional<std::string>(v) : std::nullopt;
      unsetenv(var);
    }
    setenv("HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    setenv("HOME", saved_home_.c_str(), 1);
    for (auto& [var, value] : saved_) {
      if (value)
        setenv(var.c_str(), value->c_str(), 1);
      else
        unsetenv(var.c_str());
    }
  }
  static constexpr const char* kVars[] = {"XDG_DATA_HOME",  "XDG_CONFIG_HOME",  "XDG_STATE_HOME",
                                          "XDG_CACHE_HOME", "XDG_DOWNLOAD_DIR", "TMPDIR"};
  std::string home_;
  std::string saved_home_;
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(StandardFoldersTest, DefaultsUnderHomeAndVariablesWhenAbsolute) {
  const struct {
    StandardFolder which;
    const char* variable;
    const char* value;  // nullptr: unset
    std::string expected;
  } cases[] = {
      {StandardFolder::kApplicationSupport, "XDG_DATA_HOME", nullptr, home_ + "/.local/share/Truvane"},
      {StandardFolder::kApplicationSupport, "XDG_DATA_HOME", "/srv/data", "/srv/data/Truvane"},
      {StandardFolder::kApplicationSupport, "XDG_DATA_HOME", "relative", home_ + "/.local/share/Truvane"},
      {StandardFolder::kPreferences, "XDG_CONFIG_HOME", nullptr, home_ + "/.config/Truvane"},
      {StandardFolder::kPreferences, "XDG_CONFIG_HOME", "/etc/me", "/etc/me/Truvane"},
      {StandardFolder::kLogs, "XDG_STATE_HOME", nullptr, home_ + "/.local/state/Truvane"},
      {StandardFolder::kCaches, "XDG_CACHE_HOME", "", home_ + "/.cache/Truvane"},
      {StandardFolder::kTrash, "XDG_DATA_HOME", nullptr, home_ + "/.local/share/Trash"},
      {StandardFolder::kTemporary, "TMPDIR", nullptr, "/tmp"},
      {StandardFolder::kTemporary, "TMPDIR", "/var/tmp/", "/var/tmp"},
      {StandardFolder::kHome, "HOME", home_.c_str(), home_},
      {StandardFolder::kDocuments, "XDG_DATA_HOME", nullptr, home_ + "/Documents"},
      {StandardFolder::kDesktop, "XDG_DATA_HOME", nullptr, home_ + "/Desktop"},
  };
  for (const auto& c : cases) {
    if (c.value)
      setenv(c.variable, c.value, 1);
    else
      unsetenv(c.variable);
    EXPECT_EQ(StandardFolderRef(c.which).Path(), c.expected)
        << c.variable << "=" << (c.value ? c.value : "(unset)");
    if (std::string(c.variable) != "HOME") unsetenv(c.variable);
  }
}

TEST_F(StandardFoldersTest, DownloadsFromUserDirsThenEnvironmentThenDefault) {
  const std::string config = home_ + "/.config/user-dirs.dirs";
  EXPECT_EQ(StandardFolderRef(StandardFolder::kDownloads).Path(), home_ + "/Downloads");
  setenv("XDG_DOWNLOAD_DIR", "/from/env", 1);
  EXPECT_EQ(StandardFolderRef(StandardFolder::kDownloads).Path(), "/from/env");
  testsupport::WriteFile(config, "XDG_DOWNLOAD_DIR=\"$HOME/Incoming\"\n");
  EXPECT_EQ(StandardFolderRef(StandardFolder::kDownloads).Path(), home_ + "/Incoming");
  unsetenv("XDG_DOWNLOAD_DIR");
  testsupport::WriteFile(config, "XDG_DOWNLOAD_DIR=\"not/absolute\"\n");
  EXPECT_EQ(StandardFolderRef(StandardFolder::kDownloads).Path(), home_ + "/Downloads");
  // The file is found through XDG_CONFIG_HOME when that is set.
  setenv("XDG_CONFIG_HOME", (home_ + "/elsewhere").c_str(), 1);
  testsupport::WriteFile(home_ + "/elsewhere/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"/srv/dl\"\n");
  EXPECT_EQ(StandardFolderRef(StandardFolder::kDownloads).Path(), "/srv/dl");
}

TEST_F(StandardFoldersTest, FindCreatesOnDemandPrivately) {
  EXPECT_EQ(FindStandardFolder(StandardFolder::kApplicationSupport, false).code(), fnfErr);
  auto made = FindStandardFolder(StandardFolder::kApplicationSupport, true);
  ASSERT_TRUE(made.ok());
  struct stat st;
  ASSERT_EQ(stat(made->c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(FindStandardFolder(StandardFolder::kApplicationSupport, false).ok());
  testsupport::WriteFile(home_ + "/Downloads", "a file where the folder should be");
  EXPECT_EQ(FindStandardFolder(StandardFolder::kDownloads, true).code(), dirNFErr);
}
