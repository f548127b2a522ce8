// The engine's behaviours in the shipped program: the real `truvane` started headless, the
// downloads handed to it by the real sender, against real servers on loopback. An empty
// file, a certificate nobody can be asked about, certificates accepted in an earlier run,
// and a quit in the middle of a download.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "app/engine/task/download_ranges.h"
#include "app/engine/task/resume_file.h"
#include "platform/net/certificate.h"
#include "platform/values/digest.h"
#include "tests/app/shell/program_process.h"
#include "tests/servers/ftp_test_servers.h"
#include "tests/servers/test_certificates.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"

namespace {

namespace fs = std::filesystem;
using namespace programtest;
using namespace std::chrono_literals;

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

std::string LogText() {
  return fs::exists(LogFile()) ? testsupport::ReadFile(LogFile()) : std::string();
}

values::Dictionary LimitPreferences(std::int64_t bytesPerSecond) {
  return values::Dictionary{
      {"Bandwidth Settings", values::Value(values::Dictionary{{"limit", values::Value(bytesPerSecond)},
                                                              {"status", values::Value(true)}})}};
}

TEST(EngineRoad, EmptyFileCompletesAtOnceAsAnEmptyFile) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  testsupport::WriteFile(nginx.WwwDir() + "/nothing.bin", "");
  Program program;
  ASSERT_TRUE(program.WaitUntilAnswering(30s));
  const std::string uid =
      AddAndStart("http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/nothing.bin");
  ASSERT_FALSE(uid.empty());
  EXPECT_EQ(WaitForFinalStatus(uid, 30s), 256) << Info(uid);
  EXPECT_TRUE(program.Quit(30s));
  const std::string file = FiledBinFolder() + "/nothing.bin";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(fs::file_size(file), 0u);
}

// Headless, nobody can be asked whether to trust a self-signed certificate: the answer is
// "don't trust" at once, and the reason names the host and the problem wherever a user
// looks: the status reply and the log file.
TEST(EngineRoad, CertificateNobodyCanBeAskedAboutFailsAtOnceWithTheReason) {
  const testservers::TestIdentity identity = testservers::MakeSelfSigned({});
  testservers::NginxServer nginx{{{"self", identity}}};
  ASSERT_TRUE(nginx.ok());
  testsupport::WriteFile(nginx.WwwDir() + "/secret.bin", RandomBytes(100000, 3));
  Program program;
  ASSERT_TRUE(program.WaitUntilAnswering(30s));
  const std::string uid =
      AddAndStart("https://localhost:" + std::to_string(nginx.HttpsPort("self")) + "/secret.bin");
  ASSERT_FALSE(uid.empty());
  ASSERT_EQ(WaitForFinalStatus(uid, 30s), 128) << Info(uid);
  const std::string info = Info(uid);
  EXPECT_NE(info.find("The certificate of localhost is not trusted"), std::string::npos) << info;
  EXPECT_NE(info.find("unknown root certificate"), std::string::npos) << info;
  EXPECT_TRUE(program.Quit(30s));
  const std::string log = LogText();
  EXPECT_NE(log.find("The certificate of localhost is not trusted"), std::string::npos) << log;
}

// Certificates accepted for good in an earlier run are in the preferences; the program
// trusts them for their hosts from the start, over HTTPS and over FTPS.
TEST(EngineRoad, CertificatesAcceptedBeforeAreTrustedFromTheStart) {
  const std::string body = RandomBytes(300000, 5);
  const testservers::TestIdentity identity = testservers::MakeSelfSigned({});
  testservers::NginxServer nginx{{{"self", identity}}};
  ASSERT_TRUE(nginx.ok());
  testsupport::WriteFile(nginx.WwwDir() + "/trusted.bin", body);
  testservers::VsftpdServer vsftpd;
  ASSERT_TRUE(vsftpd.ok());
  vsftpd.PutFile("trusted-ftps.bin", body);

  struct Case {
    std::string url;
    std::string host;
    std::string certificatePem;
    std::string fileName;
  };
  const Case cases[] = {
      {"https://localhost:" + std::to_string(nginx.HttpsPort("self")) + "/trusted.bin", "localhost",
       identity.certificate_pem, "trusted.bin"},
      {"ftps://" + vsftpd.User() + ":" + vsftpd.Password() + "@127.0.0.1:" + std::to_string(vsftpd.Port()) +
           "/trusted-ftps.bin",
       "127.0.0.1", vsftpd.Identity().certificate_pem, "trusted-ftps.bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const auto certificate = net::Certificate::FromPem(c.certificatePem);
    ASSERT_TRUE(certificate);
    values::Dictionary prefs;
    prefs.emplace(
        "saved certs",
        values::Value(values::Dictionary{{c.host, values::Value(values::Data{certificate->Der()})}}));
    prefs.emplace("saved cert types", values::Value(values::Dictionary{{c.host, values::Value(3)}}));
    WritePreferences(prefs);
    Program program;
    ASSERT_TRUE(program.WaitUntilAnswering(30s));
    const std::string uid = AddAndStart(c.url);
    ASSERT_FALSE(uid.empty());
    EXPECT_EQ(WaitForFinalStatus(uid, 60s), 256) << Info(uid);
    EXPECT_TRUE(program.Quit(30s));
    const std::string file = FiledBinFolder() + "/" + c.fileName;
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(values::Sha1Hex(testsupport::ReadFile(file)), values::Sha1Hex(body));
  }
}

// Quitting in the middle of a download stops its task and waits for it: the ranges file is
// written and the saved record's progress is exactly what it says, so the next run goes
// on from there and ends byte-exact.
TEST(EngineRoad, QuitInTheMiddleSavesTheProgressAndTheNextRunResumesByteExact) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::string body = RandomBytes(3 * 1024 * 1024 + 11, 7);
  testsupport::WriteFile(nginx.WwwDir() + "/quit.bin", body);
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/quit.bin";
  // The limit keeps the download running long enough to quit in its middle.
  WritePreferences(LimitPreferences(256 * 1024));
  std::string uid;
  {
    Program first;
    ASSERT_TRUE(first.WaitUntilAnswering(30s));
    uid = AddAndStart(url);
    ASSERT_FALSE(uid.empty());
    const auto deadline = Clock::now() + 30s;
    bool midway = false;
    std::string info;
    while (Clock::now() < deadline && !midway) {
      info = Info(uid);
      long long got = 0, total = 0;
      if (std::sscanf(info.c_str(), "Downloading, %lld bytes of %lld", &got, &total) == 2 && got > 128 * 1024)
        midway = got < total;
      std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(midway) << info;
    ASSERT_TRUE(first.Quit(60s));
  }
  const auto record = SavedRecord(uid);
  ASSERT_TRUE(record);
  std::int64_t status = 0, progress = 0;
  ASSERT_EQ(record->GetInt64("status", status), values::Lookup::kOk);
  ASSERT_EQ(record->GetInt64("progress", progress), values::Lookup::kOk);
  EXPECT_NE(status & 12, 0) << "saved as not running: " << status;
  const std::string package = DownloadsFolder() + "/quit.bin.partial";
  ASSERT_TRUE(fs::exists(package + "/downloadInfo"));
  engine::RangeList saved;
  ASSERT_TRUE(engine::ReadRangesFile(files::FileRef(package + "/downloadInfo"), -1, saved).ok());
  EXPECT_GT(progress, 0);
  EXPECT_LT(progress, static_cast<std::int64_t>(body.size()));
  EXPECT_EQ(progress, engine::SumRangeLengths(saved)) << testsupport::ReadFile(package + "/downloadInfo");
  // What the ranges claim is on disk and is the server's.
  const std::string partial = testsupport::ReadFile(package + "/quit.bin");
  for (const auto& r : saved) {
    ASSERT_LE(r.location + r.length, static_cast<std::int64_t>(partial.size()));
    EXPECT_EQ(partial.substr(r.location, r.length), body.substr(r.location, r.length));
  }

  WritePreferences({});
  Program second;
  ASSERT_TRUE(second.WaitUntilAnswering(30s));
  std::string out;
  Send("--timeout 10 TrES StaQ", out);
  EXPECT_EQ(WaitForFinalStatus(uid, 60s), 256) << Info(uid);
  EXPECT_TRUE(second.Quit(30s));
  const std::string file = FiledBinFolder() + "/quit.bin";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(values::Sha1Hex(testsupport::ReadFile(file)), values::Sha1Hex(body));
  const std::string access = testsupport::ReadFile(nginx.WwwDir() + "/../access.log");
  EXPECT_NE(access.find("\" 206 "), std::string::npos) << access;
}

}  // namespace
