// The hand-off end to end, with real parts only: the plug-in bundle, the extension and
// the native host installed by the install script into the test's home; Truvane not
// running, found at "last location" and started by the hand-off; a loopback nginx serving
// the page and the file. First the native host is driven as the browser drives it, then a
// real Chromium (headless) with the extension loaded clicks a link on a page that set a
// cookie. Either way the file must arrive byte-exact through Truvane, whose request nginx
// sees with the page's referer and the cookie.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/prefs/preference_store.h"
#include "platform/values/digest.h"
#include "plugins/app_handoff/app_handoff.h"
#include "plugins/browser_plugin/helper_pages.h"
#include "plugins/browser_plugin/native_messages.h"
#include "tests/app/shell/program_process.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string DataHome() {
  return testsupport::TempHome() + "/.local/share";
}
std::string BundlePath() {
  return DataHome() + "/Truvane/Internet Plug-Ins/Truvane Browser Plugin.plugin";
}
std::string InstalledHost() {
  return BundlePath() + "/Contents/Linux/truvane-browser-host";
}
std::string InstalledExtension() {
  return DataHome() + "/Truvane/Browser Extension";
}
constexpr char kHostManifest[] = "com.orbenix.truvane.browser_host.json";

int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

// Truvane's own request for the file, as nginx logged it (the browser's cancelled one is
// told apart by its user agent).
std::string TruvaneRequestLine(const testservers::NginxServer& nginx, const std::string& uri) {
  std::ifstream log(nginx.HeadersLogPath());
  std::string line, found;
  while (std::getline(log, line)) {
    if (line.find(" " + uri + " ") != std::string::npos && line.find("Chrome/") == std::string::npos)
      found = line;
  }
  return found;
}

// Everything the hand-off needs: nginx with the file, the installed hand-off whose type
// resource registers ".bin" under a type of its own, and "last location" naming the
// build's Truvane, which is not running.
class BrowserHandoffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nginx_.ok());
    // Another test of this process may have downloaded the same name.
    fs::remove_all(programtest::DownloadsFolder());
    body_ = testsupport::RandomBytes(300 * 1024 + 7, 77);
    testsupport::WriteFile(nginx_.WwwDir() + "/dl/handoff.bin", body_);
    profile_ = testsupport::MakeTempDir("chromium-profile");
    const std::string install =
        Quote(TRUVANE_BROWSER_INSTALL_SCRIPT) + " --plugin " + Quote(TRUVANE_BROWSER_PLUGIN_PATH) +
        " --host " + Quote(TRUVANE_BROWSER_HOST_PATH) + " --extension " +
        Quote(TRUVANE_BROWSER_EXTENSION_DIR) + " --profile " + Quote(profile_) + " >/dev/null";
    ASSERT_EQ(RunShell(install), 0);
    ASSERT_TRUE(fs::exists(InstalledHost()));
    ASSERT_TRUE(fs::exists(profile_ + "/NativeMessagingHosts/com.orbenix.truvane.browser_host.json"));
    ASSERT_TRUE(fs::exists(testsupport::TempHome() +
                           "/.mozilla/native-messaging-hosts/com.orbenix.truvane.browser_host.json"));
    // The install wrote a first type resource; this test registers a type of its own.
    const std::string resource = BundlePath() + "/Contents/Resources/Truvane Browser Plugin.rsrc";
    ASSERT_TRUE(fs::exists(resource));
    ASSERT_EQ(RunShell(Quote(InstalledHost()) + " --write-types " + Quote(resource) +
                       " 'application/x-handoff-test|bin|Hand-off test file'"),
              0);
    prefs::PreferenceStore store(prefs::DefaultPreferencesFolder());
    store.Set(plugins::kLastLocationKey, values::Value(std::string(TRUVANE_PATH)));
    ASSERT_TRUE(store.Synchronize().ok());
  }
  void TearDown() override {
    // Truvane was started by the hand-off, detached: it is told to quit.
    std::string out;
    programtest::Send("--timeout 10 aevt quit", out);
    WaitFor([&] { return programtest::Send("--timeout 2 TrES GQSt", out) != 0; }, std::chrono::seconds(15));
  }
  std::string PageUrl() const {
    return "http://127.0.0.1:" + std::to_string(nginx_.HttpPort()) + "/page.html";
  }
  std::string FileUrl() const {
    return "http://127.0.0.1:" + std::to_string(nginx_.HttpPort()) + "/dl/handoff.bin";
  }
  bool WaitForDownloadedFile(std::chrono::seconds limit) {
    const std::string file = programtest::FiledBinFolder() + "/handoff.bin";
    return WaitFor([&] { return fs::exists(file) && fs::file_size(file) == body_.size(); }, limit);
  }
  void ExpectDownloadedThroughTruvane(const std::string& referer, const std::string& cookie) {
    const std::string file = programtest::FiledBinFolder() + "/handoff.bin";
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(values::Sha1Hex(testsupport::ReadFile(file)), values::Sha1Hex(body_));
    const std::string line = TruvaneRequestLine(nginx_, "/dl/handoff.bin");
    EXPECT_NE(line.find("referer=\"" + referer + "\""), std::string::npos) << line;
    EXPECT_NE(line.find("cookie=\"" + cookie + "\""), std::string::npos) << line;
  }

  testservers::NginxServer nginx_;
  std::string body_;
  std::string profile_;
};

// The native host as a child with pipes on both ends.
class HostProcess {
 public:
  HostProcess() {
    int in[2], out[2];
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      const std::string host = InstalledHost();
      ::execl(host.c_str(), host.c_str(), "chrome-extension://test/", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~HostProcess() {
    ::close(to_);
    ::close(from_);
    int status = 0;
    if (!WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, std::chrono::seconds(5))) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  std::string Ask(const std::string& json) {
    EXPECT_TRUE(browserplugin::WriteNativeMessage(to_, json));
    pollfd p{from_, POLLIN, 0};
    if (::poll(&p, 1, 20000) != 1) return {};
    return browserplugin::ReadNativeMessage(from_).value_or("");
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
};

TEST_F(BrowserHandoffTest, NativeHostHandsTheDownloadToTruvaneWhichItStarts) {
  HostProcess host;
  const std::string types = host.Ask(R"({"type":"types"})");
  EXPECT_NE(types.find(R"("mime":"application/x-handoff-test")"), std::string::npos) << types;
  EXPECT_NE(types.find(R"("extensions":["bin"])"), std::string::npos) << types;

  const std::string reply =
      host.Ask(R"({"type":"download","url":")" + FileUrl() + R"(","referrer":")" + PageUrl() +
               R"(","cookies":"handoff=n4tive","mime":"application/octet-stream"})");
  EXPECT_NE(reply.find("javascript:window.history.go(-1)"), std::string::npos) << reply;
  ASSERT_TRUE(WaitForDownloadedFile(std::chrono::seconds(40)));
  ExpectDownloadedThroughTruvane(PageUrl(), "handoff=n4tive");
}

// The README's set-up alone, in a fresh home: no "last location" (Truvane has never run),
// so the hand-off finds the program where the install script linked it.
TEST_F(BrowserHandoffTest, FreshHomeFollowingTheReadmeStartsTruvane) {
  prefs::PreferenceStore store(prefs::DefaultPreferencesFolder());
  store.Remove(plugins::kLastLocationKey);
  ASSERT_TRUE(store.Synchronize().ok());
  const std::string linked = testsupport::TempHome() + "/.local/bin/truvane";
  ASSERT_TRUE(fs::is_symlink(linked));
  EXPECT_EQ(fs::canonical(linked), fs::canonical(TRUVANE_PATH));

  HostProcess host;
  const std::string reply =
      host.Ask(R"({"type":"download","url":")" + FileUrl() + R"(","referrer":")" + PageUrl() +
               R"(","cookies":"handoff=fr3sh","mime":"application/octet-stream"})");
  EXPECT_NE(reply.find(R"("handedOff":true)"), std::string::npos) << reply;
  ASSERT_TRUE(WaitForDownloadedFile(std::chrono::seconds(40))) << reply;
  ExpectDownloadedThroughTruvane(PageUrl(), "handoff=fr3sh");
}

// The failure page names, as a person types them, the files the install put in place.
TEST_F(BrowserHandoffTest, FailurePageNamesWhatTheInstallPutInPlace) {
  const std::string page = browserplugin::HelperPageText(browserplugin::HelperPage::kFailure);
  EXPECT_EQ(page.find("Library"), std::string::npos) << page;
  const std::string home = testsupport::TempHome();
  for (const std::string& path :
       {BundlePath(), InstalledExtension(), home + "/.config/chromium/NativeMessagingHosts/" + kHostManifest,
        home + "/.config/google-chrome/NativeMessagingHosts/" + kHostManifest,
        home + "/.mozilla/native-messaging-hosts/" + kHostManifest, home + "/.local/bin/truvane"}) {
    EXPECT_TRUE(fs::exists(fs::symlink_status(path))) << path << " was not installed";
    EXPECT_NE(page.find("~" + path.substr(home.size())), std::string::npos) << path << " is not named";
  }
}

std::string FindChromium() {
  for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return {};
}

// Chromium in a process group of its own, killed with all its helpers when done.
class ChromiumProcess {
 public:
  ChromiumProcess(const std::vector<std::string>& args, const std::string& log) {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      if (fd >= 0) {
        ::dup2(fd, 1);
        ::dup2(fd, 2);
      }
      std::vector<char*> argv;
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::setpgid(pid_, pid_);
  }
  ~ChromiumProcess() {
    ::kill(-pid_, SIGTERM);
    if (!WaitFor([&] { return ::waitpid(pid_, nullptr, WNOHANG) == pid_; }, std::chrono::seconds(5))) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::kill(-pid_, SIGKILL);  // helpers that outlived the browser
  }

 private:
  pid_t pid_ = -1;
};

// The test page: sets a cookie, then clicks its link to the file.
void WriteClickingPage(const testservers::NginxServer& nginx) {
  testsupport::WriteFile(nginx.WwwDir() + "/page.html", R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>hand-off</title></head>
<body><a id="file" href="/dl/handoff.bin">the file</a>
<script>
document.cookie = "handoff=c00k1e; path=/";
// Time for the extension's worker to learn the registered types from its host.
setTimeout(function () { document.getElementById("file").click(); }, 3000);
</script></body></html>
)");
}

std::vector<std::string> ChromiumArguments(const std::string& chromium, const std::string& profile,
                                           const std::string& url,
                                           const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = {chromium,
                                   "--headless=new",
                                   "--no-sandbox",
                                   "--disable-gpu",
                                   "--disable-dev-shm-usage",
                                   "--disable-quic",
                                   "--no-first-run",
                                   "--no-default-browser-check",
                                   "--disable-background-networking",
                                   "--disable-component-update",
                                   "--disable-sync",
                                   "--enable-logging=stderr",
                                   "--user-data-dir=" + profile,
                                   "--load-extension=" + InstalledExtension(),
                                   "--disable-extensions-except=" + InstalledExtension()};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(url);
  return args;
}

// Chromium's stopped runs leave singleton folders in TMPDIR: it gets a scratch one.
class ScratchTmpdir {
 public:
  ScratchTmpdir() { ::setenv("TMPDIR", testsupport::MakeTempDir("chromium-tmp").c_str(), 1); }
  ~ScratchTmpdir() { ::unsetenv("TMPDIR"); }
};

TEST_F(BrowserHandoffTest, ClickInHeadlessChromiumDownloadsThroughTruvane) {
  const std::string chromium = FindChromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
  WriteClickingPage(nginx_);
  ScratchTmpdir tmpdir;
  const std::string log = testsupport::MakeTempDir("chromium-log") + "/chromium.log";
  {
    ChromiumProcess browser(ChromiumArguments(chromium, profile_, PageUrl()), log);
    ASSERT_TRUE(WaitForDownloadedFile(std::chrono::seconds(40)))
        << "no download through Truvane; Chromium said:\n"
        << testsupport::ReadFile(log);
  }
  ExpectDownloadedThroughTruvane(PageUrl(), "handoff=c00k1e");
  // The browser's own download was cancelled: nothing of it is in the download folder.
  EXPECT_FALSE(fs::exists(programtest::DownloadsFolder() + "/handoff.bin"));
}

TEST_F(BrowserHandoffTest, WithoutTruvaneChromiumShowsTheFailurePageAndKeepsTheDownload) {
  const std::string chromium = FindChromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
  prefs::PreferenceStore store(prefs::DefaultPreferencesFolder());
  store.Remove(plugins::kLastLocationKey);
  ASSERT_TRUE(store.Synchronize().ok());
  fs::remove(testsupport::TempHome() + "/.local/bin/truvane");
  WriteClickingPage(nginx_);
  ScratchTmpdir tmpdir;
  const std::string log = testsupport::MakeTempDir("chromium-log") + "/chromium.log";
  const int port = testservers::FreeLoopbackPort();
  ChromiumProcess browser(
      ChromiumArguments(chromium, profile_, PageUrl(), {"--remote-debugging-port=" + std::to_string(port)}),
      log);
  // The extension opens its page with the plug-in's failure text in a tab of its own.
  std::string tabs;
  const bool shown = WaitFor(
      [&] {
        tabs.clear();
        FILE* pipe = ::popen(
            ("curl -s --max-time 2 http://127.0.0.1:" + std::to_string(port) + "/json/list").c_str(), "r");
        if (!pipe) return false;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) tabs.append(buf, n);
        ::pclose(pipe);
        return tabs.find("page.html#") != std::string::npos;
      },
      std::chrono::seconds(40));
  ASSERT_TRUE(shown) << tabs << "\nChromium said:\n" << testsupport::ReadFile(log);
  EXPECT_NE(tabs.find("could%20not%20be%20found"), std::string::npos) << tabs;
  // Nothing could take the file: the browser's own download goes on to its end.
  const std::string kept = programtest::DownloadsFolder() + "/handoff.bin";
  ASSERT_TRUE(WaitFor([&] { return fs::exists(kept) && fs::file_size(kept) == body_.size(); },
                      std::chrono::seconds(40)))
      << "the browser's download was not kept; Chromium said:\n"
      << testsupport::ReadFile(log);
  EXPECT_EQ(values::Sha1Hex(testsupport::ReadFile(kept)), values::Sha1Hex(body_));
  EXPECT_TRUE(TruvaneRequestLine(nginx_, "/dl/handoff.bin").empty());
}

}  // namespace
