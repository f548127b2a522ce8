// Download tasks driven end to end over the fake transport: bytes on disk, ranges,
// connections, failures, stopping and resuming, checksums and the events posted.

#include <sys/mount.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <random>

#include <gtest/gtest.h>

#include "app/engine/log/transfer_log.h"
#include "app/engine/task/download_task.h"
#include "app/engine/task/resume_file.h"
#include "app/engine/urls/url_entries.h"
#include "app/engine/urls/url_list.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/task.h"
#include "platform/values/digest.h"
#include "platform/values/fourcc.h"
#include "tests/fakes/fake_transport.h"
#include "tests/support/event_log.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

using engine::DownloadRun;
using engine::DownloadThreadState;
using engine::LongRange;
using values::FourCC;
using namespace std::chrono_literals;

// Waits in real time: a task's own WaitFor follows the clock in force, which a test may
// have frozen.
bool Ended(const std::shared_ptr<runtime::Task>& task, std::chrono::milliseconds limit = 20s) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (task->IsRunning()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using testsupport::EventLog;

// A transfer-log line the download posted contains `text`.
bool Logged(EventLog& events, std::string_view text) {
  for (const auto& line : events.Texts(engine::kDownloadEventMessage, FourCC("Mess"))) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

class DownloadTaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = testsupport::MakeTempDir("dl");
    table.Register("http", transport);
    engine::GetHostCounts().Clear();
  }

  std::unique_ptr<DownloadThreadState> MakeState(std::int32_t connections, std::int64_t knownSize = 0,
                                                 std::vector<std::string> urls = {
                                                     "http://example.test/file.bin"}) {
    auto s = std::make_unique<DownloadThreadState>();
    s->uid = 4242;
    for (const auto& u : urls) {
      s->urlEntries.push_back(values::Value(values::Dictionary{{"url", u}}));
    }
    s->dataFile = dir + "/file.bin";
    s->rangesFile = dir + "/downloadInfo";
    if (!std::ifstream(s->dataFile)) std::ofstream(s->dataFile, std::ios::binary);
    if (!std::ifstream(s->rangesFile)) std::ofstream(s->rangesFile);
    s->totalSize = knownSize;
    s->sizeKnown = knownSize > 0;
    s->wantedConnections = connections;
    s->stopSource = std::make_shared<engine::DownloadStopSource>();
    for (const auto& u : urls) {
      engine::GetHostCounts().IncrementForURL(*values::Url::Create(u), &s->hostCounts);
    }
    stop = s->stopSource;
    return s;
  }

  engine::DownloadRunOptions Options() {
    engine::DownloadRunOptions o;
    o.post = [this](runtime::EventRef e, runtime::EventPriority) { events.Add(std::move(e)); };
    o.transports = &table;
    o.fitConnectionsToSize = false;
    return o;
  }

  // Runs the task on its own thread; returns it so that the test can wait for it.
  std::shared_ptr<runtime::Task> Start(std::unique_ptr<DownloadThreadState> state,
                                       std::optional<engine::DownloadRunOptions> options = std::nullopt) {
    auto shared = std::make_shared<std::unique_ptr<DownloadThreadState>>(std::move(state));
    auto o = options ? *options : Options();
    return runtime::Task::Start({"test download"}, [shared, o]() {
      DownloadRun run(std::move(*shared), o);
      run.Run();
      return runtime::kNoErr;
    });
  }

  // Runs to the end (bounded) and returns the finished event.
  runtime::EventRef RunToEnd(std::unique_ptr<DownloadThreadState> state,
                             std::optional<engine::DownloadRunOptions> options = std::nullopt) {
    const std::size_t before = events.Of(engine::kDownloadEventFinished).size();
    auto task = Start(std::move(state), options);
    EXPECT_TRUE(Ended(task, 30s)) << "the download did not end";
    auto finished = events.Of(engine::kDownloadEventFinished);
    EXPECT_EQ(finished.size(), before + 1);
    return finished.empty() ? nullptr : finished.back();
  }

  static std::int32_t Reason(const runtime::EventRef& e) {
    return e ? e->Get<std::int32_t>(FourCC("Reas")).value_or(-1) : -1;
  }

  engine::RangeList RangesOnDisk(std::int64_t size) {
    engine::RangeList list;
    (void)engine::ReadRangesFile(files::FileRef(dir + "/downloadInfo"), size, list);
    return list;
  }

  std::string dir;
  std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
  engine::DownloadTransportTable table;
  EventLog events;
  std::shared_ptr<engine::DownloadStopSource> stop;
};

// ---- Byte-exact downloads

struct ConnectionCase {
  const char* name;
  std::int32_t connections;
  std::size_t size;
};

class ByteExactTest : public DownloadTaskTest, public ::testing::WithParamInterface<ConnectionCase> {};

TEST_P(ByteExactTest, FileMatchesTheServersBytes) {
  const auto& c = GetParam();
  transport->content = testsupport::RandomByteVector(c.size, 7);
  transport->chunk = 4096;
  auto finished = RunToEnd(MakeState(c.connections));
  ASSERT_TRUE(finished);
  EXPECT_EQ(Reason(finished), engine::kFinishComplete);
  EXPECT_FALSE(finished->Get<bool>(FourCC("Veri")).value_or(true));
  EXPECT_EQ(testsupport::Sha1Of(ReadBytes(dir + "/file.bin")), testsupport::Sha1Of(transport->content));
  EXPECT_EQ(RangesOnDisk(-1), (engine::RangeList{{0, static_cast<std::int64_t>(c.size)}}));
  EXPECT_LE(transport->MaxSimultaneous(), c.connections);
  if (c.connections > 1) {
    EXPECT_GT(transport->MaxSimultaneous(), 1) << "the file was never split";
  }
  // The host counts taken at the start are given back.
  EXPECT_EQ(engine::GetHostCounts().Count("example.test"), 0);
}

INSTANTIATE_TEST_SUITE_P(Connections, ByteExactTest,
                         ::testing::Values(ConnectionCase{"one", 1, 300000},
                                           ConnectionCase{"three", 3, 1500000},
                                           ConnectionCase{"ten", 10, 3000000},
                                           ConnectionCase{"ten_on_an_odd_size", 10, 2999999}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DownloadTaskTest, SizeLimitsTheConnectionCount) {
  transport->content = testsupport::RandomByteVector(400000, 7);  // below 500 KiB: one connection
  auto options = Options();
  options.fitConnectionsToSize = true;
  auto finished = RunToEnd(MakeState(10), options);
  EXPECT_EQ(Reason(finished), engine::kFinishComplete);
  EXPECT_EQ(transport->OpenCount(), 1);
  EXPECT_EQ(testsupport::Sha1Of(ReadBytes(dir + "/file.bin")), testsupport::Sha1Of(transport->content));
}

TEST_F(DownloadTaskTest, BodyWithoutSizeCompletesAtItsEnd) {
  transport->content = testsupport::RandomByteVector(100000, 7);
  transport->omitSize = true;
  auto finished = RunToEnd(MakeState(4));
  EXPECT_EQ(Reason(finished), engine::kFinishComplete);
  EXPECT_EQ(transport->OpenCount(), 1);
  EXPECT_EQ(testsupport::Sha1Of(ReadBytes(dir + "/file.bin")), testsupport::Sha1Of(transport->content));
}

// ---- Failures

TEST_F(DownloadTaskTest, ConnectionFailingMidWayHasItsRestTakenOver) {
  transport->content = testsupport::RandomByteVector(2000000, 7);
  transport->chunk = 4096;
  // The second connection dies after 100000 bytes of its piece.
  transport->failures[1] = {100000, engine::kStreamError | engine::kStreamRetrySoon, {}};
  auto finished = RunToEnd(MakeState(3));
  EXPECT_EQ(Reason(finished), engine::kFinishComplete);
  EXPECT_EQ(testsupport::Sha1Of(ReadBytes(dir + "/file.bin")), testsupport::Sha1Of(transport->content));
  EXPECT_GE(transport->OpenCount(), 4) << "nobody took over the failed connection's rest";
}

TEST_F(DownloadTaskTest, FatalErrorOnOneMirrorGoesOnWithTheOther) {
  transport->content = testsupport::RandomByteVector(50000, 7);
  transport->failures[0] = {0, engine::kStreamError | engine::kStreamFatal, {}};
  auto state = MakeState(1, 0, {"http://a.test/f", "http://b.test/f"});
  auto finished = RunToEnd(std::move(state));
  EXPECT_EQ(Reason(finished), engine::kFinishComplete);
  const auto entries = finished->Get<values::Value>(FourCC("UrlD"));
  ASSERT_TRUE(entries && entries->IsArray());
  EXPECT_TRUE(engine::EntryFlag((*entries)[0], "fatalError"));
  EXPECT_EQ(engine::GetHostCounts().Count("a.test"), 0);
  EXPECT_EQ(engine::GetHostCounts().Count("b.test"), 0);
}

TEST_F(DownloadTaskTest, FatalErrorOnEveryMirrorFailsWithTheLastError) {
  transport->content = testsupport::RandomByteVector(50000, 7);
  transport->failures[0] = {0, engine::kStreamError | engine::kStreamFatal, {net::ErrorDomain::kHttp, 404}};
  auto finished = RunToEnd(MakeState(1));
  EXPECT_EQ(Reason(finished), engine::kFinishFailed);
  const auto* code = finished->Find<values::Data>(FourCC("ErrC"));
  ASSERT_TRUE(code);
  EXPECT_EQ(engine::StreamErrorFromBytes(code->bytes), (net::StreamError{net::ErrorDomain::kHttp, 404}));
  EXPECT_EQ(engine::GetHostCounts().Count("example.test"), 0);
}

TEST_F(DownloadTaskTest, PlainFailuresAreRetriedAFewTimesNotForEver) {
  runtime::ScopedFakeClock clock;
  transport->content = testsupport::RandomByteVector(50000, 7);
  transport->failEveryConnection = true;
  auto task = Start(MakeState(1));
  // Every retry waits its 60 s; move the clock until the task gives up.
  for (int i = 0; i < 200 && !Ended(task, 5ms); ++i) clock.Advance(61s);
  ASSERT_TRUE(Ended(task));
  auto finished = events.Of(engine::kDownloadEventFinished);
  ASSERT_EQ(finished.size(), 1u);
  EXPECT_EQ(Reason(finished[0]), engine::kFinishFailed);
  EXPECT_EQ(transport->OpenCount(), engine::kMaxRetriesWithoutProgress + 1);
  EXPECT_TRUE(Logged(events, "Giving up"));
}

// A connection from 0 asked for no offset, so a whole-file answer to it says nothing about
// resuming: starting it again at once would ask the same server the same thing for ever.
// It is a plain failure instead: a bounded burst, then the retry delay, then giving up.
struct WholeFileFromZeroCase {
  const char* name;
  std::int32_t connections;
  int burstAtMost;  // opens before any retry timer: the first ones and one restart from 0
};

class WholeFileFromZeroTest : public DownloadTaskTest,
                              public ::testing::WithParamInterface<WholeFileFromZeroCase> {};

TEST_P(WholeFileFromZeroTest, WaitsForTheRetryInsteadOfReconnectingAtOnce) {
  const WholeFileFromZeroCase& c = GetParam();
  runtime::ScopedFakeClock clock;
  transport->content = testsupport::RandomByteVector(1000000, 7);
  // Every connection, wherever it starts, ends before its first byte saying the server
  // sends the whole file. Past these a connection would succeed, so a loop ends too.
  for (int i = 0; i < 2000; ++i) {
    transport->failures[i] = {
        0, engine::kStreamError | engine::kStreamWholeFile, {net::ErrorDomain::kHttp, 200}};
  }
  auto task = Start(MakeState(c.connections));
  ASSERT_TRUE(events.WaitFor(engine::kDownloadEventStarted));
  // The clock stands still: whatever opens now opens without waiting for a timer.
  int opens = -1;
  for (int i = 0; i < 100 && transport->OpenCount() != opens; ++i) {
    opens = transport->OpenCount();
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_GE(opens, 1);
  EXPECT_LE(opens, c.burstAtMost);
  for (int i = 0; i < 100 && !Ended(task, 5ms); ++i) clock.Advance(61s);
  ASSERT_TRUE(Ended(task));
  auto finished = events.Of(engine::kDownloadEventFinished);
  ASSERT_EQ(finished.size(), 1u);
  EXPECT_EQ(Reason(finished[0]), engine::kFinishFailed);
  EXPECT_TRUE(Logged(events, "Giving up"));
  EXPECT_LE(transport->OpenCount(), c.burstAtMost + engine::kMaxRetriesWithoutProgress + 1);
}

INSTANTIATE_TEST_SUITE_P(Connections, WholeFileFromZeroTest,
                         ::testing::Values(WholeFileFromZeroCase{"one", 1, 1},
                                           WholeFileFromZeroCase{"four", 4, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DownloadTaskTest, ServerIgnoringRangesLeavesOneWholeFileConnection) {
  transport->content = testsupport::RandomByteVector(1000000, 7);
  transport->reportsWholeFile = true;
  auto finished = RunToEnd(MakeState(4));
  EXPECT_EQ(Reason(finished), engine::kFinishComplete);
  EXPECT_EQ(testsupport::Sha1Of(ReadBytes(dir + "/file.bin")), testsupport::Sha1Of(transport->content));
}

TEST_F(DownloadTaskTest, ServerSendingTheStartForARangeIsCaughtByTheResumeCheck) {
  transport->content = testsupport::RandomByteVector(1000000, 7);
  transport->sendsStartForRanges = true;
  auto finished = RunToEnd(MakeState(4));
  EXPECT_EQ(Reason(finished), engine::kFinishComplete);
  EXPECT_TRUE(Logged(events, "Server resume error detected, switching to compatibility mode"));
  EXPECT_EQ(testsupport::Sha1Of(ReadBytes(dir + "/file.bin")), testsupport::Sha1Of(transport->content));
}

TEST_F(DownloadTaskTest, AllZeroStartIsNoResumeError) {
  // A file of zeros looks the same from any offset: that is no proof of a bad server.
  transport->content.assign(1000000, 0);
  auto finished = RunToEnd(MakeState(4));
  EXPECT_EQ(Reason(finished), engine::kFinishComplete);
  EXPECT_FALSE(Logged(events, "Server resume error"));
  EXPECT_GT(transport->MaxSimultaneous(), 1);
}

TEST_F(DownloadTaskTest, UnopenableDataFileFailsAtOnceAndGivesBackHostCounts) {
  auto state = MakeState(2);
  state->dataFile = dir + "/missing/file.bin";
  auto finished = RunToEnd(std::move(state));
  EXPECT_EQ(Reason(finished), engine::kFinishFailed);
  EXPECT_EQ(finished->Get<std::string>(FourCC("ErrM")).value_or(""),
            "The download file could not be opened.");
  EXPECT_EQ(engine::GetHostCounts().Count("example.test"), 0);
}

TEST_F(DownloadTaskTest, NoConnectionOpensFailsWithTheTransportsError) {
  transport->content = testsupport::RandomByteVector(1000, 7);
  transport->refuseOpens = 100;
  auto finished = RunToEnd(MakeState(2));
  EXPECT_EQ(Reason(finished), engine::kFinishFailed);
  const auto* code = finished->Find<values::Data>(FourCC("ErrC"));
  ASSERT_TRUE(code);
  EXPECT_EQ(engine::StreamErrorFromBytes(code->bytes),
            (net::StreamError{net::ErrorDomain::kPosix, net::posix_code::kConnectionRefused}));
}

TEST_F(DownloadTaskTest, DiskFullEndsTheDownloadWithAClearError) {
  const std::string mountPoint = dir + "/small";
  ASSERT_EQ(::mkdir(mountPoint.c_str(), 0755), 0);
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{mountPoint};
  dir = mountPoint;
  transport->content = testsupport::RandomByteVector(1000000, 7);
  auto finished = RunToEnd(MakeState(1));
  EXPECT_EQ(Reason(finished), engine::kFinishFailed);
  EXPECT_NE(finished->Get<std::string>(FourCC("ErrM")).value_or("").find("disk is full"), std::string::npos);
  EXPECT_EQ(transport->OpenCount(), 1) << "a full disk must not be retried";
}

// ---- Stopping and resuming

TEST_F(DownloadTaskTest, StopThenResumeFromTheRangesFile) {
  const auto content = testsupport::RandomByteVector(1200000, 7);
  transport->content = content;
  transport->stallAfter = 150000;
  auto task = Start(MakeState(3));
  ASSERT_TRUE(events.WaitFor(engine::kDownloadEventStarted));
  // Wait until the connections went silent with their bytes on disk, then stop.
  for (int i = 0; i < 2000; ++i) {
    if (transport->OpenCount() >= 3 && !events.Of(engine::kDownloadEventProgress).empty()) break;
    std::this_thread::sleep_for(1ms);
  }
  stop->Signal();
  ASSERT_TRUE(Ended(task));
  auto first = events.Of(engine::kDownloadEventFinished);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(Reason(first[0]), engine::kFinishStopped);
  const auto saved = RangesOnDisk(-1);
  ASSERT_FALSE(saved.empty());
  EXPECT_LT(engine::SumRangeLengths(saved), 1200000);
  EXPECT_EQ(engine::GetHostCounts().Count("example.test"), 0);

  // The second run asks only for what is missing.
  auto fresh = std::make_shared<FakeTransport>();
  fresh->content = content;
  table.Register("http", fresh);
  auto second = RunToEnd(MakeState(3, 1200000));
  EXPECT_EQ(Reason(events.Of(engine::kDownloadEventFinished).back()), engine::kFinishComplete);
  EXPECT_EQ(testsupport::Sha1Of(ReadBytes(dir + "/file.bin")), testsupport::Sha1Of(content));
  ASSERT_FALSE(fresh->RangesAsked().empty());
  EXPECT_EQ(fresh->RangesAsked().front().location, saved.front().location == 0 ? saved.front().length : 0);
}

TEST_F(DownloadTaskTest, StoppingAlreadyCompleteDownloadStillSaysStopped) {
  transport->content = testsupport::RandomByteVector(1000, 7);
  transport->stall = true;
  auto task = Start(MakeState(1));
  ASSERT_TRUE(events.WaitFor(engine::kDownloadEventStarted));
  stop->Signal();
  ASSERT_TRUE(Ended(task));
  EXPECT_EQ(Reason(events.Of(engine::kDownloadEventFinished).back()), engine::kFinishStopped);
}

TEST_F(DownloadTaskTest, ResumeWithEverythingOnDiskFinishesWithoutConnecting) {
  const auto content = testsupport::RandomByteVector(5000, 7);
  std::ofstream(dir + "/file.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(content.data()), 5000);
  std::ofstream(dir + "/downloadInfo") << "0,5000\n";
  auto finished = RunToEnd(MakeState(2, 5000));
  EXPECT_EQ(Reason(finished), engine::kFinishComplete);
  EXPECT_EQ(transport->OpenCount(), 0);
}

// A ranges file whose text stops being ranges half way: what came before counts, the rest
// is fetched again, and the download's log says which file and what was left out; a
// sound file says nothing.
TEST_F(DownloadTaskTest, DamagedRangesFileIsToldAndOnlyItsGoodLinesCount) {
  struct Case {
    const char* name;
    const char* ranges;
    bool damaged;
    int opens;  // connections the rest of the file needs
  };
  const Case cases[] = {
      {"sound", "0,5000\n", false, 0},
      {"garbage after a good line", "0,2000\n\x01\xff garbage\n2000,3000\n", true, 1},
  };
  for (const Case& c : cases) {
    SetUp();
    transport = std::make_shared<FakeTransport>();
    table.Register("http", transport);
    transport->content = testsupport::RandomByteVector(5000, 7);
    std::ofstream(dir + "/file.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(transport->content.data()), 5000);
    std::ofstream(dir + "/downloadInfo") << c.ranges;
    auto finished = RunToEnd(MakeState(1, 5000));
    EXPECT_EQ(Reason(finished), engine::kFinishComplete) << c.name;
    EXPECT_EQ(transport->OpenCount(), c.opens) << c.name;
    EXPECT_EQ(Logged(events, "The ranges file \"" + dir +
                                 "/downloadInfo\" is damaged: line 2 is not a received range"),
              c.damaged)
        << c.name;
    EXPECT_EQ(testsupport::Sha1Of(ReadBytes(dir + "/file.bin")), testsupport::Sha1Of(transport->content))
        << c.name;
  }
}

// ---- Checksums

struct ChecksumCase {
  const char* name;
  std::string checksum;  // "%s" is replaced by the content's digest
  bool verifyFailed;
};

class ChecksumTest : public DownloadTaskTest, public ::testing::WithParamInterface<ChecksumCase> {};

TEST_P(ChecksumTest, FinishedEventSaysWhetherTheChecksumHeld) {
  transport->content = testsupport::RandomByteVector(70000, 7);
  const auto& c = GetParam();
  std::string checksum = c.checksum;
  const std::string md5 =
      values::HexLower(values::ComputeDigest(values::DigestAlgorithm::kMd5, transport->content));
  const std::string sha = testsupport::Sha1Of(transport->content);
  if (auto at = checksum.find("%md5"); at != std::string::npos) checksum.replace(at, 4, md5);
  if (auto at = checksum.find("%MD5"); at != std::string::npos) {
    std::string upper = md5;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(ch));
    checksum.replace(at, 4, upper);
  }
  if (auto at = checksum.find("%sha"); at != std::string::npos) checksum.replace(at, 4, sha);
  auto state = MakeState(1);
  state->checksum = checksum;
  auto finished = RunToEnd(std::move(state));
  EXPECT_EQ(Reason(finished), engine::kFinishComplete);
  EXPECT_EQ(finished->Get<bool>(FourCC("Veri")).value_or(!c.verifyFailed), c.verifyFailed);
  EXPECT_EQ(events.Of(engine::kDownloadEventVerifying).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Checksums, ChecksumTest,
                         ::testing::Values(ChecksumCase{"md5_lower", "md5;%md5", false},
                                           ChecksumCase{"md5_upper", "md5;%MD5", false},
                                           ChecksumCase{"prefix_in_capitals", "MD5;%md5", false},
                                           ChecksumCase{"sha1", "sha;%sha", false},
                                           ChecksumCase{"sha1_as_metalinks_give_it", "sha1;%sha", false},
                                           ChecksumCase{"sha1_mismatch", "sha1;%md5", true},
                                           ChecksumCase{"md5_mismatch",
                                                        "md5;00000000000000000000000000000000", true},
                                           ChecksumCase{"sha1_given_as_md5", "md5;%sha", true},
                                           ChecksumCase{"unknown_algorithm", "crc;12345678", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Progress events

TEST_F(DownloadTaskTest, ProgressComesEveryTickWithTheElapsedTime) {
  runtime::ScopedFakeClock clock;
  transport->content = testsupport::RandomByteVector(100000, 7);
  transport->stallAfter = 30000;
  auto task = Start(MakeState(1));
  ASSERT_TRUE(events.WaitFor(engine::kDownloadEventStarted));
  // Let the connection write its bytes and go silent.
  const auto written = std::chrono::steady_clock::now() + 20s;
  while (transport->BytesHandedOver() < 30000 && std::chrono::steady_clock::now() < written)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(transport->BytesHandedOver(), 30000);
  EXPECT_TRUE(events.Of(engine::kDownloadEventProgress).empty()) << "progress before the first tick";
  clock.Advance(300ms);
  ASSERT_TRUE(events.WaitFor(engine::kDownloadEventProgress, 1, 5s));
  for (int tick = 2; tick <= 5; ++tick) {
    clock.Advance(800ms);
    ASSERT_TRUE(events.WaitFor(engine::kDownloadEventProgress, static_cast<std::size_t>(tick), 5s));
  }
  std::this_thread::sleep_for(20ms);
  auto progress = events.Of(engine::kDownloadEventProgress);
  ASSERT_EQ(progress.size(), 5u) << "one progress event per tick, no more";
  for (std::size_t i = 0; i < progress.size(); ++i) {
    EXPECT_NEAR(progress[i]->Get<double>(FourCC("Time")).value_or(-1), 0.3 + 0.8 * static_cast<double>(i),
                1e-6);
    EXPECT_EQ(progress[i]->Get<std::int64_t>(FourCC("Tot_")).value_or(-1), 30000);
    EXPECT_EQ(progress[i]->Get<std::int32_t>(FourCC("Port")).value_or(-1), 1);
  }
  // Nothing moves: the rate stays 0.
  EXPECT_EQ(progress.back()->Get<float>(FourCC("C___")).value_or(-1), 0.0f);
  stop->Signal();
  ASSERT_TRUE(Ended(task));
}

TEST_F(DownloadTaskTest, SilentConnectionIsTimedOutAndRetried) {
  runtime::ScopedFakeClock clock;
  transport->content = testsupport::RandomByteVector(100000, 7);
  transport->stall = true;
  auto task = Start(MakeState(1));
  ASSERT_TRUE(events.WaitFor(engine::kDownloadEventStarted));
  for (int i = 0; i < 20000 && transport->OpenCount() == 0; ++i) std::this_thread::sleep_for(1ms);
  // The silence limit passes a second at a time until the time-out is logged.
  for (int i = 0; i < 5000 && !Logged(events, "Timing out connection"); ++i) {
    if (i < 40) clock.Advance(1s);
    std::this_thread::sleep_for(2ms);
  }
  EXPECT_TRUE(Logged(events, "Timing out connection"));
  // The retry comes 60 s later.
  clock.Advance(61s);
  for (int i = 0; i < 5000 && transport->OpenCount() < 2; ++i) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(transport->OpenCount(), 2);
  stop->Signal();
  ASSERT_TRUE(Ended(task));
}

}  // namespace
