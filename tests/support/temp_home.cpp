#include "tests/support/temp_home.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

std::string MakeHome() {
  const char* tmp = std::getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/truvane-test-XXXXXX";
  if (!mkdtemp(templ.data())) std::abort();
  const std::string home = templ;
  setenv("HOME", home.c_str(), 1);
  const std::pair<const char*, const char*> dirs[] = {{"XDG_CONFIG_HOME", "/.config"},
                                                      {"XDG_DATA_HOME", "/.local/share"},
                                                      {"XDG_STATE_HOME", "/.local/state"},
                                                      {"XDG_CACHE_HOME", "/.cache"},
                                                      {"XDG_RUNTIME_DIR", "/run"}};
  for (auto [var, sub] : dirs) {
    fs::create_directories(home + sub);
    setenv(var, (home + sub).c_str(), 1);
  }
  fs::permissions(home + "/run", fs::perms::owner_all, fs::perm_options::replace);
  unsetenv("XDG_CONFIG_DIRS");
  unsetenv("XDG_DATA_DIRS");
  unsetenv("XDG_DOWNLOAD_DIR");
  // The developer's session bus leads to the real keyring: tests that want a Secret
  // Service start their own (tests/servers/secret_service_session.h).
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  // Likewise the system bus leads to the machine's own Avahi daemon, which would advertise
  // the programs under test on the real network: tests that discover peers start a private
  // bus and daemon in network namespaces of their own.
  setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + home + "/no-system-bus").c_str(), 1);
  return home;
}

class HomeCleanup : public ::testing::Environment {
 public:
  void TearDown() override {
    if (!std::getenv("TRUVANE_KEEP_TEST_HOME")) {
      std::error_code ec;
      fs::remove_all(TempHome(), ec);
    }
  }
};

}  // namespace

const std::string& TempHome() {
  static const std::string home = MakeHome();
  return home;
}

std::string MakeTempDir(const std::string& prefix) {
  std::string templ = TempHome() + "/" + prefix + "-XXXXXX";
  if (!mkdtemp(templ.data())) ADD_FAILURE() << "mkdtemp failed";
  return templ;
}

void WriteFile(const std::string& path, const std::string& contents) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void RegisterCleanup() {
  ::testing::AddGlobalTestEnvironment(new HomeCleanup);
}

}  // namespace testsupport
