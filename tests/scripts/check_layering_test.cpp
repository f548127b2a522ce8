// The layering check run on small trees: each case is one file with one include (or one
// library with one link), and the check must pass the allowed ones and name each fault.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/temp_home.h"

namespace {

struct Result {
  int status = -1;
  std::string output;
};

// Runs the check on `root`, with its own time limit (Python starts slowly on a loaded
// machine; two runs stay within the test's bound).
Result RunCheck(const std::string& root) {
  const char* source = std::getenv("TRUVANE_SOURCE_DIR");
  std::string script = std::string(source != nullptr ? source : ".") + "/scripts/check_layering.py";
  std::string command = "timeout 50 python3 '" + script + "' --root '" + root + "' 2>&1";
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
  const char* folder;
  const char* include;
  bool allowed;
};

struct LinkCase {
  const char* folder;
  const char* call;
  bool allowed;
};

// All allowed cases go into one tree, which must pass; all forbidden ones into another,
// which must fail naming each of them (one run per tree keeps the test quick).
TEST(CheckLayering, IncludesAndLinksFollowTheRuleTable) {
  const IncludeCase includes[] = {
      // Downward and within a folder.
      {"app/shell", "\"app/ui/b.h\"", true},
      {"app/ui", "\"app/queue/record/b.h\"", true},
      {"app/queue", "\"app/engine/task/b.h\"", true},
      {"app/engine", "\"app/util/text/b.h\"", true},
      {"app/engine/log", "\"app/engine/task/b.h\"", true},
      {"app/util", "\"platform/prefs/b.h\"", true},
      {"platform/net", "\"platform/runtime/b.h\"", true},
      {"platform/toolbox", "<QWidget>", true},
      {"app/shell", "\"platform/toolbox/b.h\"", true},
      // Service headers: anyone may include them.
      {"app/util", "\"app/ui/services/b.h\"", true},
      {"app/engine", "\"app/browser/services/b.h\"", true},
      {"app/queue/services", "\"app/ui/services/b.h\"", true},
      {"app/queue/services", "\"app/util/text/b.h\"", true},
      // Upward and sideways.
      {"app/util", "\"app/queue/record/b.h\"", false},
      {"app/engine", "\"app/queue/b.h\"", false},
      {"app/engine", "\"app/ui/b.h\"", false},
      {"app/queue", "\"app/upload/b.h\"", false},
      {"app/browser", "\"app/sharing/b.h\"", false},
      {"app/ui", "\"app/shell/b.h\"", false},
      {"platform/runtime", "\"platform/net/b.h\"", false},
      {"platform/values", "\"app/util/b.h\"", false},
      {"app/engine", "\"tests/fakes/b.h\"", false},
      // A service header brings nothing of its owner's implementation.
      {"app/engine/services", "\"app/engine/http/b.h\"", false},
      // Qt and the toolbox stay where the windows are.
      {"platform/net", "<QString>", false},
      {"app/ui", "<QtWidgets/QLabel>", false},
      {"app/engine", "\"platform/toolbox/b.h\"", false},
      {"app/util", "\"platform/toolbox/b.h\"", false},
  };
  const LinkCase links[] = {
      {"app/queue", "truvane_library(truvane_queue RECURSE DEPS truvane_util truvane_engine truvane_desktop)",
       true},
      {"app/upload", "truvane_library(truvane_upload RECURSE DEPS truvane_util truvane_queue)", false},
      {"app/util", "truvane_library(truvane_util DEPS truvane_values\n  truvane_engine)", false},
      {"platform/files", "truvane_library(truvane_files DEPS truvane_values truvane_net)", false},
  };
  for (const bool allowed : {true, false}) {
    SCOPED_TRACE(allowed ? "allowed tree" : "forbidden tree");
    const std::string root = testsupport::MakeTempDir("layering");
    std::vector<std::string> files;
    int n = 0;
    for (const IncludeCase& c : includes) {
      if (c.allowed != allowed) continue;
      files.push_back(std::string(c.folder) + "/case" + std::to_string(n++) + ".h");
      testsupport::WriteFile(root + "/" + files.back(), std::string("#include ") + c.include + "\n");
    }
    for (const LinkCase& c : links) {
      if (c.allowed != allowed) continue;
      files.push_back(std::string(c.folder) + "/CMakeLists.txt");
      testsupport::WriteFile(root + "/" + files.back(), std::string(c.call) + "\n");
    }
    const Result r = RunCheck(root);
    EXPECT_EQ(r.status, allowed ? 0 : 1) << r.output;
    if (!allowed) {
      for (const std::string& file : files) EXPECT_NE(r.output.find(file + ":"), std::string::npos) << file;
    }
  }
}

}  // namespace
