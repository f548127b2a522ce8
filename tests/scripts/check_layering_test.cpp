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

// A seam defined without its line in its subsystem's seam list fails the check, naming
// its file; one listed there passes (a mention in a comment is no definition), and a list
// the services report does not ask for fails too.
TEST(CheckLayering, EverySeamIsListedByItsSubsystem) {
  struct File {
    const char* path;
    const char* text;
  };
  struct Case {
    const char* what;
    std::vector<File> files;
    std::vector<std::string> faulty;  // empty: the tree passes
  };
  const std::string report = "#include \"app/queue/seam_list.h\"\n#include \"app/engine/seam_list.h\"\n";
  const Case cases[] = {
      {"listed",
       {{"app/queue/services/a.h", "using ASlot = runtime::ServiceSlot<A, NoA>;\n"},
        {"app/queue/record/b.h",
         "using BHooksSlot = runtime::HookSlot<BHooks>;\n"
         "//   using CSlot = runtime::ServiceSlot<C, NoC>;\n"},
        {"app/queue/seam_list.cpp",
         "runtime::ListServiceSlot<ASlot>(runtime::AtStartUp());\n"
         "runtime::ListHooks<queue::BHooksSlot>(\"queue::BHooks\", {});\n"},
        {"app/shell/services_report.cpp", report.c_str()}},
       {}},
      {"unlisted",
       {{"app/queue/services/d.h", "using DSlot = runtime::ServiceSlot<D, NoD>;\n"},
        {"app/queue/record/e.h", "using EHooksSlot =\n    runtime::HookSlot<EHooks>;\n"},
        {"app/queue/seam_list.cpp", "runtime::ListServiceSlot<EHooksSlot>(runtime::AtStartUp());\n"},
        {"app/shell/services_report.cpp", report.c_str()}},
       {"app/queue/services/d.h:", "app/queue/record/e.h:"}},
      {"a list the report does not ask for",
       {{"app/upload/services/f.h", "using FSlot = runtime::ServiceSlot<F, NoF>;\n"},
        {"app/upload/seam_list.cpp", "runtime::ListServiceSlot<FSlot>(runtime::AtStartUp());\n"},
        {"app/shell/services_report.cpp", report.c_str()}},
       {"app/upload/seam_list.cpp:"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string root = testsupport::MakeTempDir("seams");
    for (const File& f : c.files) testsupport::WriteFile(root + "/" + f.path, f.text);
    const Result r = RunCheck(root);
    EXPECT_EQ(r.status, c.faulty.empty() ? 0 : 1) << r.output;
    for (const std::string& fault : c.faulty) EXPECT_NE(r.output.find(fault), std::string::npos) << fault;
  }
}

// A preference key read by string outside the settings store and the preference layer
// fails the check naming the file; the same calls inside those folders, and a mention in a
// comment, pass.
TEST(CheckLayering, SettingsAreReadOnlyThroughTheSettingsStore) {
  struct Case {
    const char* path;
    const char* text;
    bool allowed;
  };
  const Case cases[] = {
      {"app/util/settings/a.cpp", "bool b = PrefBoolForKey(\"show speeds\");\n", true},
      {"platform/prefs/b.cpp", "auto v = store.CopyUserDefault(key);\n", true},
      {"app/queue/c.cpp", "// PrefIntegerForKey(\"remove when\") once lived here\n", true},
      {"app/ui/d.cpp", "auto v = util::ReadSetting(util::kShowSpeedsKey);\n", true},
      {"app/queue/events/e.cpp", "if (util::PrefIntegerForKey(\"remove when\") == 2) {}\n", false},
      {"app/shell/f.cpp", "if (util::PrefBoolForKey (\"warnonquit\")) {}\n", false},
      {"app/browser/g.cpp", "auto s = util::SettingsPreferences().GetString(\"anon ftp password\");\n",
       false},
      {"app/ui/h.cpp", "auto v = prefs::SharedPreferences().GetBool(\"x\");\n", false},
      {"app/util/desktop/i.cpp", "auto v = store.CopyUserDefault(\"queue sound\");\n", false},
  };
  for (const bool allowed : {true, false}) {
    SCOPED_TRACE(allowed ? "allowed tree" : "forbidden tree");
    const std::string root = testsupport::MakeTempDir("settings-reads");
    for (const Case& c : cases)
      if (c.allowed == allowed) testsupport::WriteFile(root + "/" + c.path, c.text);
    const Result r = RunCheck(root);
    EXPECT_EQ(r.status, allowed ? 0 : 1) << r.output;
    for (const Case& c : cases) {
      if (c.allowed != allowed) continue;
      const bool named = r.output.find(std::string(c.path) + ":") != std::string::npos;
      EXPECT_EQ(named, !allowed) << c.path;
    }
  }
}

}  // namespace
