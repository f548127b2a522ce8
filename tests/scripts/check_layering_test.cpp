// The layering check run on small trees: each case writes one file with one include (or
// one library with one link) and expects the check to pass or to name the fault.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/temp_home.h"

namespace {

struct Result {
  int status = -1;
  std::string output;
};

// Runs the check on `root`, with its own time limit.
Result RunCheck(const std::string& root) {
  const char* source = std::getenv("TRUVANE_SOURCE_DIR");
  std::string script = std::string(source != nullptr ? source : ".") + "/scripts/check_layering.py";
  std::string command = "timeout 30 python3 '" + script + "' --root '" + root + "' 2>&1";
  Result r;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) r.output += buffer.data();
  const int raw = ::pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

struct IncludeCase {
  const char* file;
  const char* include;
  bool allowed;
};

TEST(CheckLayering, IncludesFollowTheRuleTable) {
  const IncludeCase cases[] = {
      // Downward and within a folder.
      {"app/shell/a.cpp", "\"app/ui/b.h\"", true},
      {"app/ui/a.cpp", "\"app/queue/record/b.h\"", true},
      {"app/queue/a.cpp", "\"app/engine/task/b.h\"", true},
      {"app/engine/a.cpp", "\"app/util/text/b.h\"", true},
      {"app/engine/log/a.cpp", "\"app/engine/task/b.h\"", true},
      {"app/util/a.cpp", "\"platform/prefs/b.h\"", true},
      {"platform/net/a.cpp", "\"platform/runtime/b.h\"", true},
      {"platform/toolbox/a.cpp", "<QWidget>", true},
      {"app/shell/a.cpp", "\"platform/toolbox/b.h\"", true},
      // Service headers: anyone may include them.
      {"app/util/a.cpp", "\"app/ui/services/b.h\"", true},
      {"app/engine/a.cpp", "\"app/browser/services/b.h\"", true},
      {"app/queue/services/a.h", "\"app/ui/services/b.h\"", true},
      {"app/queue/services/a.h", "\"app/util/text/b.h\"", true},
      // Upward and sideways.
      {"app/util/a.cpp", "\"app/queue/record/b.h\"", false},
      {"app/engine/a.cpp", "\"app/queue/b.h\"", false},
      {"app/engine/a.h", "\"app/ui/b.h\"", false},
      {"app/queue/a.cpp", "\"app/upload/b.h\"", false},
      {"app/browser/a.cpp", "\"app/sharing/b.h\"", false},
      {"app/ui/a.cpp", "\"app/shell/b.h\"", false},
      {"platform/runtime/a.cpp", "\"platform/net/b.h\"", false},
      {"platform/values/a.cpp", "\"app/util/b.h\"", false},
      {"app/engine/a.cpp", "\"tests/fakes/b.h\"", false},
      // A service header brings nothing of its owner's implementation.
      {"app/engine/services/a.h", "\"app/engine/http/b.h\"", false},
      // Qt and the toolbox stay where the windows are.
      {"platform/net/a.cpp", "<QString>", false},
      {"app/ui/a.cpp", "<QtWidgets/QLabel>", false},
      {"app/engine/a.cpp", "\"platform/toolbox/b.h\"", false},
      {"app/util/a.cpp", "\"platform/toolbox/b.h\"", false},
  };
  for (const IncludeCase& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " includes " + c.include);
    const std::string root = testsupport::MakeTempDir("layering");
    testsupport::WriteFile(root + "/" + c.file, std::string("#include ") + c.include + "\n");
    const Result r = RunCheck(root);
    EXPECT_EQ(r.status, c.allowed ? 0 : 1) << r.output;
    if (!c.allowed) EXPECT_NE(r.output.find(c.file), std::string::npos) << r.output;
  }
}

TEST(CheckLayering, LibrariesLinkOnlyWhatTheirFolderMayInclude) {
  const struct {
    const char* folder;
    const char* call;
    bool allowed;
  } cases[] = {
      {"app/queue", "truvane_library(truvane_queue RECURSE DEPS truvane_util truvane_engine truvane_desktop)",
       true},
      {"app/queue", "truvane_library(truvane_queue RECURSE DEPS truvane_util truvane_ui)", false},
      {"app/util", "truvane_library(truvane_util DEPS truvane_values\n  truvane_engine)", false},
      {"platform/files", "truvane_library(truvane_files DEPS truvane_values truvane_net)", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    const std::string root = testsupport::MakeTempDir("layering");
    testsupport::WriteFile(root + "/" + c.folder + "/CMakeLists.txt", std::string(c.call) + "\n");
    const Result r = RunCheck(root);
    EXPECT_EQ(r.status, c.allowed ? 0 : 1) << r.output;
  }
}

}  // namespace
