// The programs for a file: entries read from .desktop files, found by the file's MIME type
// in the XDG data folders with the user's default first, and the command line that starts
// one on the file.
#include "platform/toolbox/services/open_with.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/temp_home.h"

namespace toolbox {
namespace {

TEST(DesktopEntry, OnlyShownApplicationsWithANameAndACommand) {
  struct Case {
    const char* text;
    bool app;
    const char* name;
    std::vector<std::string> types;
  } cases[] = {
      {"[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer %f\nMimeType=text/plain;image/png;\n",
       true,
       "Viewer",
       {"text/plain", "image/png"}},
      {"# comment\n[Desktop Entry]\r\nName = Spaced \r\nType=Application\r\nExec=x\r\n", true, "Spaced", {}},
      {"[Desktop Entry]\nType=Link\nName=L\nExec=x\n", false, "", {}},
      {"[Desktop Entry]\nType=Application\nName=H\nExec=x\nHidden=true\n", false, "", {}},
      {"[Desktop Entry]\nType=Application\nExec=x\n", false, "", {}},
      {"[Other Group]\nType=Application\nName=O\nExec=x\n", false, "", {}},
      {"[Desktop Entry]\nType=Application\nName=A\nExec=a\n[Desktop Action new]\nName=B\nExec=b\n",
       true,
       "A",
       {}},
      {"", false, "", {}},
  };
  for (const auto& c : cases) {
    const auto app = ParseDesktopEntry(c.text, "x.desktop");
    ASSERT_EQ(app.has_value(), c.app) << c.text;
    if (!app) continue;
    EXPECT_EQ(app->name, c.name);
    EXPECT_EQ(app->mime_types, c.types);
  }
}

TEST(DesktopEntry, LaunchArgumentsFillTheFieldCodes) {
  struct Case {
    const char* exec;
    std::vector<std::string> argv;
  } cases[] = {
      {"viewer %f", {"viewer", "/tmp/a b.txt"}},
      {"viewer --new %U", {"viewer", "--new", "file:///tmp/a%20b.txt"}},
      {"\"/opt/my app/run\" -x %F", {"/opt/my app/run", "-x", "/tmp/a b.txt"}},
      {"editor", {"editor", "/tmp/a b.txt"}},
      {"tool %i %c 100%% %f", {"tool", "100%", "/tmp/a b.txt"}},
      {"\"unterminated %f", {}},
      {"   ", {}},
  };
  for (const auto& c : cases) {
    DesktopApplication app;
    app.exec = c.exec;
    EXPECT_EQ(LaunchArguments(app, "/tmp/a b.txt"), c.argv) << c.exec;
  }
}

TEST(DesktopEntry, ProgramsForAFileWithTheDefaultFirst) {
  const std::string root = testsupport::MakeTempDir("open-with");
  const std::string home = root + "/home", system = root + "/system", config = root + "/config";
  std::filesystem::create_directories(home + "/applications");
  std::filesystem::create_directories(system + "/applications");
  std::filesystem::create_directories(config);
  auto write = [](const std::string& path, const std::string& text) { std::ofstream(path) << text; };
  write(system + "/applications/zed.desktop",
        "[Desktop Entry]\nType=Application\nName=Zed\nExec=zed %f\nMimeType=text/plain;\n");
  write(system + "/applications/alpha.desktop",
        "[Desktop Entry]\nType=Application\nName=alpha\nExec=alpha %f\nMimeType=text/plain;\n");
  write(system + "/applications/images.desktop",
        "[Desktop Entry]\nType=Application\nName=Images\nExec=img %f\nMimeType=image/png;\n");
  // The user's own entry of the same id wins over the system's.
  write(home + "/applications/mid.desktop",
        "[Desktop Entry]\nType=Application\nName=Mid\nExec=mid\nMimeType=text/plain;\n");
  write(system + "/applications/mid.desktop",
        "[Desktop Entry]\nType=Application\nName=Other\nExec=o\nMimeType=text/plain;\n");
  const std::string file = root + "/notes.txt";
  write(file, "hello");

  const char* names[] = {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME"};
  std::vector<std::optional<std::string>> saved;
  for (const char* n : names)
    saved.push_back(std::getenv(n) ? std::optional<std::string>(std::getenv(n)) : std::nullopt);
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  // The MIME database stays the system's, with none of its programs.
  const std::string mimeOnly = root + "/mime-only";
  std::filesystem::create_directories(mimeOnly);
  std::filesystem::create_directory_symlink("/usr/share/mime", mimeOnly + "/mime");
  setenv("XDG_DATA_DIRS", (system + ":" + mimeOnly).c_str(), 1);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);

  auto names_of = [](const ApplicationsForFile& found) {
    std::vector<std::string> out;
    for (const auto& a : found.applications) out.push_back(a.name);
    return out;
  };
  auto found = CopyApplicationsForFile(file);
  EXPECT_EQ(names_of(found), (std::vector<std::string>{"alpha", "Mid", "Zed"}));
  EXPECT_FALSE(found.has_default);
  write(config + "/mimeapps.list",
        "[Added Associations]\ntext/plain=alpha.desktop;\n[Default "
        "Applications]\ntext/plain=gone.desktop;zed.desktop;\n");
  found = CopyApplicationsForFile(file);
  EXPECT_EQ(names_of(found), (std::vector<std::string>{"Zed", "alpha", "Mid"}));
  EXPECT_TRUE(found.has_default);

  std::vector<std::string> started;
  auto previous = SetApplicationLauncher([&](const std::vector<std::string>& argv) {
    started = argv;
    return true;
  });
  EXPECT_TRUE(OpenFileWithApplication(found.applications[0], file));
  EXPECT_EQ(started, (std::vector<std::string>{"zed", file}));
  SetApplicationLauncher(std::move(previous));

  for (std::size_t i = 0; i < saved.size(); ++i) {
    if (saved[i])
      setenv(names[i], saved[i]->c_str(), 1);
    else
      unsetenv(names[i]);
  }
}

}  // namespace
}  // namespace toolbox
