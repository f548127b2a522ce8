// The whole road with real parts only: the program started headless, a URL of a loopback
// nginx handed to it by the sender, the queue started, the status polled until the file is
// complete, then quit; the file, the transfer log and the saved queue are checked. The
// second case kills the program in the middle of a download and starts it again.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "platform/values/digest.h"
#include "platform/values/plist.h"
#include "tests/app/shell/program_process.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

namespace fs = std::filesystem;

using namespace programtest;

// Hands the URL over and starts the queue; the reply must carry the new download's UID.
std::string AddAndStartChecked(const std::string& url) {
  const std::string uid = AddAndStart(url);
  EXPECT_FALSE(uid.empty()) << "no UID in the reply";
  return uid;
}

long SavedStatus(const std::string& uid) {
  const auto record = SavedRecord(uid);
  std::int64_t status = 0;
  if (!record || record->GetInt64("status", status) != values::Lookup::kOk) return -1;
  return status;
}

TEST(MainRoad, ScriptedUrlIsDownloadedLoggedAndKeptInTheSavedQueue) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::string body = testsupport::RandomBytes(3 * 1024 * 1024 + 77, 1234);
  testsupport::WriteFile(nginx.WwwDir() + "/road.bin", body);

  Program program;
  ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/road.bin";
  const std::string uid = AddAndStartChecked(url);
  ASSERT_FALSE(uid.empty());
  EXPECT_EQ(WaitForFinalStatus(uid, std::chrono::seconds(60)), 256);

  std::string out;
  EXPECT_EQ(Send("--timeout 10 aevt quit", out), 0);
  int status = 0;
  ASSERT_TRUE(program.WaitForExit(std::chrono::seconds(30), status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  const std::string file = FiledBinFolder() + "/road.bin";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(values::Sha1Hex(testsupport::ReadFile(file)), values::Sha1Hex(body));
  EXPECT_NE(testsupport::ReadFile(LogFile()).find("Download of " + url + " complete\n"), std::string::npos);
  EXPECT_EQ(SavedStatus(uid), 256);
}

TEST(MainRoad, KilledInTheMiddleAndStartedAgainTheDownloadEndsByteExact) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::string body = testsupport::RandomBytes(4 * 1024 * 1024 + 5, 1234);
  testsupport::WriteFile(nginx.WwwDir() + "/cut.bin", body);
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/cut.bin";
  // A download limit keeps the transfer going long enough to cut it.
  const std::string prefs = testsupport::TempHome() + "/.config/Truvane/com.orbenix.Truvane.plist";
  testsupport::WriteFile(prefs, R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Bandwidth Settings</key>
	<dict>
		<key>limit</key>
		<integer>524288</integer>
		<key>status</key>
		<true/>
	</dict>
</dict>
</plist>
)");
  std::string first_uid;
  {
    Program first;
    ASSERT_TRUE(first.WaitUntilAnswering(std::chrono::seconds(30)));
    const std::string uid = AddAndStartChecked(url);
    ASSERT_FALSE(uid.empty());
    first_uid = uid;
    // Cut once some bytes are on disk but far from all.
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    std::string out;
    bool midway = false;
    while (Clock::now() < deadline && !midway) {
      Send("--timeout 5 TrES Info ----:magn=" + uid, out);
      long long got = 0, total = 0;
      if (std::sscanf(out.c_str(), "Downloading, %lld bytes of %lld", &got, &total) == 2 && got > 256 * 1024)
        midway = got < total;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(midway) << out;
    first.Kill();
  }
  // Lift the limit so the second run ends quickly.
  fs::remove(prefs);

  Program second;
  ASSERT_TRUE(second.WaitUntilAnswering(std::chrono::seconds(30)));
  // The started download was saved with the queue, so the new run knows it and goes on
  // from its partial package.
  std::string out;
  Send("--timeout 10 TrES GetQ", out);
  ASSERT_NE(("\n" + out).find("\n" + first_uid + "\n"), std::string::npos) << out;
  const std::string uid = first_uid;
  Send("--timeout 10 TrES StaQ", out);
  ASSERT_FALSE(uid.empty());
  EXPECT_EQ(WaitForFinalStatus(uid, std::chrono::seconds(60)), 256);
  Send("--timeout 10 aevt quit", out);
  int status = 0;
  EXPECT_TRUE(second.WaitForExit(std::chrono::seconds(30), status));

  const std::string file = FiledBinFolder() + "/cut.bin";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(values::Sha1Hex(testsupport::ReadFile(file)), values::Sha1Hex(body));
  EXPECT_FALSE(fs::exists(DownloadsFolder() + "/cut.bin.partial")) << "the package was not reused";
  // The second run asked only for what was missing.
  const std::string access = testsupport::ReadFile(nginx.WwwDir() + "/../access.log");
  EXPECT_NE(access.find("\" 206 "), std::string::npos) << access;
}

// A metalink handed over by URL: the program downloads it, reads it (headless: every file
// chosen) and downloads its file from the mirrors - one of them refusing connections -
// verifying the checksum at the end.
TEST(MainRoad, DownloadedMetalinkAddsItsFileWithAllMirrorsAndVerifiesIt) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::string body = testsupport::RandomBytes(2 * 1024 * 1024 + 13, 1234);
  fs::create_directories(nginx.WwwDir() + "/m1");
  fs::create_directories(nginx.WwwDir() + "/m2");
  testsupport::WriteFile(nginx.WwwDir() + "/m1/payload.bin", body);
  testsupport::WriteFile(nginx.WwwDir() + "/m2/payload.bin", body);
  // A mirror that refuses connections.
  const testservers::RefusingPort refusing;
  ASSERT_NE(refusing.port(), 0);
  const int deadPort = refusing.port();
  const std::string host = "http://127.0.0.1:" + std::to_string(nginx.HttpPort());
  const std::string sha1 = values::Sha1Hex(body);
  testsupport::WriteFile(nginx.WwwDir() + "/files.metalink",
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<metalink version=\"3.0\" xmlns=\"http://www.metalinker.org/\">\n"
                         "  <files>\n    <file name=\"payload.bin\">\n"
                         "      <size>" +
                             std::to_string(body.size()) +
                             "</size>\n"
                             "      <verification><hash type=\"sha1\">" +
                             sha1 +
                             "</hash></verification>\n"
                             "      <resources>\n"
                             "        <url type=\"http\">" +
                             host +
                             "/m1/payload.bin</url>\n"
                             "        <url type=\"http\">http://127.0.0.1:" +
                             std::to_string(deadPort) +
                             "/payload.bin</url>\n"
                             "        <url type=\"http\">" +
                             host +
                             "/m2/payload.bin</url>\n"
                             "      </resources>\n    </file>\n  </files>\n</metalink>\n");

  Program program;
  ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
  const std::string metalinkUid = AddAndStartChecked(host + "/files.metalink");
  ASSERT_FALSE(metalinkUid.empty());
  EXPECT_EQ(WaitForFinalStatus(metalinkUid, std::chrono::seconds(60)), 256);

  // The metalink's file joins the queue as a download of its own.
  std::string added, out;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (added.empty() && Clock::now() < deadline) {
    Send("--timeout 5 TrES GetQ", out);
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line != metalinkUid && std::isdigit(static_cast<unsigned char>(line[0])))
        added = line;
    }
    if (added.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_FALSE(added.empty()) << out;
  const long final = WaitForFinalStatus(added, std::chrono::seconds(90));
  Send("--timeout 5 TrES Info ----:magn=" + added, out);
  EXPECT_EQ(final, 256) << out << "\n" << testsupport::ReadFile(LogFile());
  Send("--timeout 10 aevt quit", out);
  int status = 0;
  ASSERT_TRUE(program.WaitForExit(std::chrono::seconds(30), status));

  const std::string file = FiledBinFolder() + "/payload.bin";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(values::Sha1Hex(testsupport::ReadFile(file)), sha1);
  auto queue = values::ReadPropertyListFile(QueueFile());
  ASSERT_TRUE(queue.ok());
  const values::Array* elements = nullptr;
  ASSERT_EQ(queue->GetArray("Elements", elements), values::Lookup::kOk);
  bool found = false;
  for (const auto& e : *elements) {
    std::int64_t id = 0;
    if (e.GetInt64("UID", id) != values::Lookup::kOk || std::to_string(id) != added) continue;
    found = true;
    std::string checksum;
    e.GetString("checksum", checksum);
    EXPECT_EQ(checksum, "sha1;" + sha1);
    const values::Array* urls = nullptr;
    ASSERT_EQ(e.GetArray("url data", urls), values::Lookup::kOk);
    EXPECT_EQ(urls->size(), 3u);
    bool failed = false;
    e.GetBool("verificationFailed", failed);
    EXPECT_FALSE(failed);
  }
  EXPECT_TRUE(found);
}

// The session ending (SIGTERM) or Ctrl-C (SIGINT) quits as the quit event does: the
// shut-down runs, logs its line and saves the queue.
// Start-up reads the queue file before anything else answers: a FIFO in its place must
// be set aside, not waited on for ever.
TEST(MainRoad, AFifoInTheQueueFilesPlaceNeitherHangsStartUpNorStaysThere) {
  fs::create_directories(fs::path(QueueFile()).parent_path());
  fs::remove(QueueFile());
  fs::remove(QueueFile() + ".unreadable");
  ASSERT_EQ(::mkfifo(QueueFile().c_str(), 0600), 0);
  Program program;
  const bool answered = program.WaitUntilAnswering(std::chrono::seconds(30));
  if (!answered) {
    // Release a start-up stuck on the FIFO so that the program can be stopped.
    const int fd = ::open(QueueFile().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) ::close(fd);
  }
  ASSERT_TRUE(answered);
  EXPECT_TRUE(fs::is_fifo(QueueFile() + ".unreadable"));
  std::string out;
  EXPECT_EQ(Send("--timeout 10 aevt quit", out), 0);
  int status = 0;
  ASSERT_TRUE(program.WaitForExit(std::chrono::seconds(30), status));
  EXPECT_FALSE(fs::is_fifo(QueueFile()));
  fs::remove(QueueFile() + ".unreadable");
}

// Start-up reads the stored credentials too: a FIFO in the place of the keychain file or
// of its key must be refused, not waited on, and the program must still quit.
TEST(MainRoad, AFifoInTheKeychainsPlaceNeitherHangsStartUpNorQuit) {
  const std::string store = testsupport::TempHome() + "/.local/share/Truvane/Truvane Keychain";
  const std::string key = testsupport::TempHome() + "/.config/Truvane/Truvane Keychain Key";
  for (const std::string& fifo : {store, key}) {
    fs::create_directories(fs::path(fifo).parent_path());
    fs::remove(store + ".aside");
    fs::remove(key + ".aside");
    if (fs::exists(store)) fs::rename(store, store + ".aside");
    if (fs::exists(key)) fs::rename(key, key + ".aside");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << fifo;
    // No session bus, so the file store is the one start-up reads.
    Program program(std::vector<std::pair<std::string, std::string>>{
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"}});
    const bool answered = program.WaitUntilAnswering(std::chrono::seconds(30));
    if (!answered) {
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) ::close(fd);
    }
    EXPECT_TRUE(answered) << fifo;
    EXPECT_TRUE(program.Quit(std::chrono::seconds(30))) << fifo;
    EXPECT_TRUE(fs::is_fifo(fifo)) << fifo;
    fs::remove(fifo);
  }
}

TEST(MainRoad, TerminationSignalsQuitCleanly) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    const std::string logBefore = fs::exists(LogFile()) ? testsupport::ReadFile(LogFile()) : std::string();
    Program program;
    ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
    program.Signal(signal_number);
    int status = 0;
    ASSERT_TRUE(program.WaitForExit(std::chrono::seconds(30), status)) << signal_number;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << signal_number;
    const std::string log = testsupport::ReadFile(LogFile()).substr(logBefore.size());
    EXPECT_NE(log.find("Application Quitting\n"), std::string::npos) << signal_number;
  }
}

}  // namespace
