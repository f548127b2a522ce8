#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "platform/appleevents/event_client.h"
#include "platform/appleevents/event_folder.h"
#include "platform/appleevents/event_server.h"
#include "platform/appleevents/event_wire.h"
#include "platform/appleevents/initial_event.h"
#include "platform/appleevents/send_arguments.h"
#include "platform/runtime/unique_fd.h"
#include "tests/support/temp_home.h"

namespace appleevents {
namespace {

using namespace std::chrono_literals;
using values::FourCC;

std::shared_ptr<HandlerTable> TestHandlers() {
  auto table = std::make_shared<HandlerTable>();
  table->Install(FourCC("TrES"), FourCC("GAct"), [](const AppleEvent&, AppleEvent& reply) {
    reply.PutParam(keys::kDirectObject,
                   Descriptor::List({Descriptor::UInt32(7), Descriptor::UInt32(4000000000u)}));
    return kNoErr;
  });
  table->Install(FourCC("TrES"), FourCC("Echo"), [](const AppleEvent& event, AppleEvent& reply) {
    Descriptor d;
    if (Status s = event.GetParam(keys::kDirectObject, types::kWildCard, d); s != kNoErr) return s;
    reply.PutParam(keys::kDirectObject, d);
    return kNoErr;
  });
  table->Install(FourCC("TrES"), FourCC("StaQ"), [](const AppleEvent&, AppleEvent&) { return kNoErr; });
  return table;
}

// A server on a run loop of its own thread, as the main thread runs it in the application.
class ServerThread {
 public:
  explicit ServerThread(std::string folder, EventServerLimits limits = {}) : folder_(std::move(folder)) {
    std::promise<Status> started;
    auto result = started.get_future();
    thread_ = std::thread([this, &started, limits] {
      loop_ = runtime::RunLoop::Current();
      std::unique_ptr<EventServer> server;
      const Status status = EventServer::Start(loop_, TestHandlers(), server, folder_, limits);
      server_ = server.get();
      started.set_value(status);
      if (server) loop_->RunFor(std::chrono::seconds(30));
      server_ = nullptr;
      server.reset();
    });
    status_ = result.get();
  }
  // Alive while the loop runs; its counters may be read from any thread.
  const EventServer& server() const { return *server_; }
  ~ServerThread() {
    if (loop_) loop_->Stop();
    thread_.join();
  }
  Status status() const { return status_; }

 private:
  std::string folder_;
  std::shared_ptr<runtime::RunLoop> loop_;
  std::atomic<EventServer*> server_{nullptr};
  std::thread thread_;
  Status status_ = kNoErr;
};

// A raw connection to the event socket, for senders that misbehave.
runtime::UniqueFd ConnectRaw(const std::string& folder, bool nonblocking = false) {
  runtime::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (nonblocking ? SOCK_NONBLOCK : 0), 0));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string path = EventSocketPath(folder);
  std::memcpy(addr.sun_path, path.c_str(), path.size());
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) fd.Reset();
  return fd;
}

// Waits, within `limit`, until `done` holds.
bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// True once the peer has closed the connection (a read gives 0 or fails).
bool ClosedByPeer(int fd) {
  char buf[256];
  const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN);
}

std::string FrameHeader(std::uint32_t length) {
  return {static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
          static_cast<char>(length)};
}

SendOptions Options(const std::string& folder) {
  SendOptions o;
  o.folder = folder;
  o.timeout = 5s;
  return o;
}

TEST(EventTransport, ClientGetsTheReplyAndUnknownEventsAreRefused) {
  const std::string folder = testsupport::MakeTempDir("ae") + "/truvane";
  ServerThread server(folder);
  ASSERT_EQ(server.status(), kNoErr);
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  AppleEvent reply;
  ASSERT_EQ(SendEvent(AppleEvent(FourCC("TrES"), FourCC("GAct")), reply, Options(folder)), kNoErr);
  EXPECT_EQ(reply.ErrorNumber(), kNoErr);
  EXPECT_EQ(*reply.Parameters().Find(keys::kDirectObject),
            Descriptor::List({Descriptor::UInt32(7), Descriptor::UInt32(4000000000u)}));

  // A large parameter crosses in several reads and writes.
  AppleEvent echo(FourCC("TrES"), FourCC("Echo"));
  echo.PutParam(keys::kDirectObject, Descriptor::Text(std::string(3 * 1024 * 1024, 'x')));
  ASSERT_EQ(SendEvent(echo, reply, Options(folder)), kNoErr);
  EXPECT_EQ(*reply.Parameters().Find(keys::kDirectObject), *echo.Parameters().Find(keys::kDirectObject));

  ASSERT_EQ(SendEvent(AppleEvent(FourCC("TrES"), FourCC("Echo")), reply, Options(folder)), kNoErr);
  EXPECT_EQ(reply.ErrorNumber(), kDescNotFound);
  ASSERT_EQ(SendEvent(AppleEvent(FourCC("TrES"), FourCC("Nope")), reply, Options(folder)), kNoErr);
  EXPECT_EQ(reply.ErrorNumber(), kEventNotHandled);

  SendOptions no_reply = Options(folder);
  no_reply.wants_reply = false;
  EXPECT_EQ(SendEvent(AppleEvent(FourCC("TrES"), FourCC("StaQ")), reply, no_reply), kNoErr);

  // A second server on the same folder finds the first one answering.
  ServerThread second(folder);
  EXPECT_EQ(second.status(), kAlreadyRunning);
}

TEST(EventTransport, BadMessagesGetAnErrorReplyAndTheServerGoesOn) {
  const std::string folder = testsupport::MakeTempDir("ae") + "/truvane";
  ServerThread server(folder);
  ASSERT_EQ(server.status(), kNoErr);
  const std::array<std::pair<std::string, Status>, 2> cases = {{
      {std::string("\xFF\xFF\xFF\xFF", 4), kMessageTooLarge},
      {FrameMessage("TRAE garbage"), kCorruptData},
  }};
  for (const auto& [bytes, expected] : cases) {
    runtime::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = EventSocketPath(folder);
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    ASSERT_EQ(::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    timeval tv{5, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ASSERT_EQ(::send(fd.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    std::string got;
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd.get(), buf, sizeof buf, 0)) > 0) got.append(buf, static_cast<std::size_t>(n));
    ASSERT_GT(got.size(), 4u);
    WireEvent reply;
    ASSERT_EQ(DecodeEvent(std::string_view(got).substr(4), reply), kNoErr);
    EXPECT_EQ(reply.event.ErrorNumber(), expected);
  }
  AppleEvent reply;
  EXPECT_EQ(SendEvent(AppleEvent(FourCC("TrES"), FourCC("GAct")), reply, Options(folder)), kNoErr);
}

// A listener that never accepts (a hung program) fills its backlog; the sender's time-out
// covers connecting too.
TEST(EventTransport, AListenerThatNeverAcceptsIsATimeOutNotAHang) {
  std::string folder = testsupport::MakeTempDir("ae") + "/truvane";
  ASSERT_EQ(PrepareEventFolder(folder), kNoErr);
  runtime::UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string path = EventSocketPath(folder);
  std::memcpy(addr.sun_path, path.c_str(), path.size());
  ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listener.get(), 0), 0);
  std::vector<runtime::UniqueFd> queued;
  for (int i = 0; i < 64; ++i) {
    runtime::UniqueFd fd = ConnectRaw(folder, true);
    if (!fd.valid()) break;
    queued.push_back(std::move(fd));
  }
  ASSERT_FALSE(ConnectRaw(folder, true).valid()) << "the backlog never filled";

  SendOptions o = Options(folder);
  o.timeout = 300ms;
  auto sent = std::async(std::launch::async, [&] {
    AppleEvent reply;
    return SendEvent(AppleEvent(FourCC("TrES"), FourCC("GAct")), reply, o);
  });
  const bool returned = sent.wait_for(10s) == std::future_status::ready;
  if (!returned) listener.Reset();  // wakes a connect() that waits for room
  EXPECT_TRUE(returned) << "connect() waited past the time-out";
  EXPECT_EQ(sent.get(), kTimeout);
}

// Idle senders are closed after the time-out, so they cannot keep every slot taken.
TEST(EventTransport, IdleConnectionsTimeOutAndFreeTheirPlaces) {
  const std::string folder = testsupport::MakeTempDir("ae") + "/truvane";
  EventServerLimits limits;
  limits.max_connections = 4;
  limits.timeout = 300ms;
  ServerThread server(folder, limits);
  ASSERT_EQ(server.status(), kNoErr);
  std::vector<runtime::UniqueFd> idle;
  for (int i = 0; i < 6; ++i) idle.push_back(ConnectRaw(folder));
  EXPECT_TRUE(Eventually([&] { return server.server().ConnectionCount() == 4; }));
  EXPECT_TRUE(Eventually([&] { return server.server().ConnectionCount() == 0; })) << "idle ones stay";
  for (const auto& fd : idle) EXPECT_TRUE(ClosedByPeer(fd.get()));
  AppleEvent reply;
  EXPECT_EQ(SendEvent(AppleEvent(FourCC("TrES"), FourCC("GAct")), reply, Options(folder)), kNoErr);
  EXPECT_EQ(reply.ErrorNumber(), kNoErr);
}

// A sender that trickles a message slower than the time-out allows is closed, though it
// never stops sending.
TEST(EventTransport, ASlowSenderIsClosed) {
  const std::string folder = testsupport::MakeTempDir("ae") + "/truvane";
  EventServerLimits limits;
  limits.timeout = 300ms;
  ServerThread server(folder, limits);
  ASSERT_EQ(server.status(), kNoErr);
  runtime::UniqueFd fd = ConnectRaw(folder);
  ASSERT_TRUE(fd.valid());
  const std::string header = FrameHeader(1000);
  ASSERT_EQ(::send(fd.get(), header.data(), header.size(), MSG_NOSIGNAL), 4);
  bool closed = false;
  for (int i = 0; i < 200 && !closed; ++i) {
    std::this_thread::sleep_for(25ms);
    closed = ::send(fd.get(), "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT) < 0 || ClosedByPeer(fd.get());
  }
  EXPECT_TRUE(closed) << "a trickling sender kept its connection for 5 s";
}

// Partial messages of several senders together never hold more than the budget, and
// the server answers again once they are gone.
TEST(EventTransport, PartialMessagesHoldAtMostTheBudget) {
  const std::string folder = testsupport::MakeTempDir("ae") + "/truvane";
  EventServerLimits limits;
  limits.timeout = 60s;           // the senders are stopped by the test, not by the time-out
  limits.max_buffered_bytes = 0;  // the least there is: one message of the largest size
  ServerThread server(folder, limits);
  ASSERT_EQ(server.status(), kNoErr);
  const std::size_t budget = 4 + kMaxMessageBytes;
  std::atomic<bool> stop{false};
  std::vector<runtime::UniqueFd> fds;
  for (int i = 0; i < 3; ++i) fds.push_back(ConnectRaw(folder));
  std::vector<std::thread> senders;
  for (const auto& fd : fds) {
    ASSERT_TRUE(fd.valid());
    senders.emplace_back([&stop, raw = fd.get()] {
      timeval tv{0, 100000};
      ::setsockopt(raw, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
      // A whole message's header, and all of its body but the last byte.
      const std::string bytes = FrameHeader(kMaxMessageBytes) + std::string(kMaxMessageBytes - 1, 'x');
      std::string_view left = bytes;
      while (!left.empty() && !stop) {
        const ssize_t n = ::send(raw, left.data(), left.size(), MSG_NOSIGNAL);
        if (n > 0) left.remove_prefix(static_cast<std::size_t>(n));
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
      }
    });
  }
  // The server reads until the budget is full, then holds the senders back.
  EXPECT_TRUE(Eventually([&] { return server.server().BufferedBytes() + 65536 >= budget; }, 20s))
      << server.server().BufferedBytes() << " bytes after 20 s";
  std::size_t most = 0;
  for (int i = 0; i < 100; ++i) {
    most = std::max(most, server.server().BufferedBytes());
    std::this_thread::sleep_for(3ms);
  }
  EXPECT_LE(most, budget);
  stop = true;
  for (const auto& fd : fds) ::shutdown(fd.get(), SHUT_RDWR);
  for (auto& t : senders) t.join();
  // Paused or not, each connection hears its sender leave and frees what it held.
  EXPECT_TRUE(Eventually([&] { return server.server().ConnectionCount() == 0; }));
  EXPECT_EQ(server.server().BufferedBytes(), 0u);
  AppleEvent reply;
  EXPECT_EQ(SendEvent(AppleEvent(FourCC("TrES"), FourCC("GAct")), reply, Options(folder)), kNoErr);
  EXPECT_EQ(reply.ErrorNumber(), kNoErr);
}

TEST(EventTransport, NoServerIsToldAndAStaleSocketIsReplaced) {
  const std::string folder = testsupport::MakeTempDir("ae") + "/truvane";
  AppleEvent reply;
  EXPECT_EQ(SendEvent(AppleEvent(FourCC("TrES"), FourCC("GAct")), reply, Options(folder)), kProcNotFound);
  {
    // A socket file left by an instance that died.
    runtime::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = EventSocketPath(folder);
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    ASSERT_EQ(::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  }
  EXPECT_EQ(SendEvent(AppleEvent(FourCC("TrES"), FourCC("GAct")), reply, Options(folder)), kProcNotFound);
  ServerThread server(folder);
  ASSERT_EQ(server.status(), kNoErr);
  EXPECT_EQ(SendEvent(AppleEvent(FourCC("TrES"), FourCC("GAct")), reply, Options(folder)), kNoErr);
}

TEST(EventTransport, AFolderOfSomeoneElseOrALinkIsRefused) {
  const std::string base = testsupport::MakeTempDir("ae");
  std::string link = base + "/link";
  ASSERT_EQ(::symlink(base.c_str(), link.c_str()), 0);
  EXPECT_EQ(PrepareEventFolder(link), kUnsafeFolderErr);
  std::string loose = base + "/loose";
  ASSERT_EQ(::mkdir(loose.c_str(), 0777), 0);
  ASSERT_EQ(PrepareEventFolder(loose), kNoErr);  // ours: tightened
  struct stat st {};
  ASSERT_EQ(::stat(loose.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(InitialEvent, LaunchedProgramGetsTheEventAndItsReplyComesBack) {
  const std::string folder = testsupport::MakeTempDir("ae") + "/truvane";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  // A stand-in application that answers with the event itself. It renames its reply into
  // place as the real one does: the sender may look while a plain copy is half-written.
  const std::string program = testsupport::MakeTempDir("app") + "/truvane";
  testsupport::WriteFile(program,
                         "#!/bin/sh\ncp \"$TRUVANE_INITIAL_EVENT\" \"$TRUVANE_INITIAL_EVENT.reply.tmp\" &&\n"
                         "mv \"$TRUVANE_INITIAL_EVENT.reply.tmp\" \"$TRUVANE_INITIAL_EVENT.reply\"\n");
  ASSERT_EQ(::chmod(program.c_str(), 0700), 0);
  AppleEvent event(FourCC("TrES"), FourCC("AUrl"));
  event.PutParam(keys::kDirectObject, Descriptor::List({Descriptor::Text("http://127.0.0.1/a")}));
  SendOptions o = Options(folder);
  o.launch_program = program;
  AppleEvent reply;
  ASSERT_EQ(SendEvent(event, reply, o), kNoErr);
  EXPECT_EQ(reply, event);

  o.launch_program = folder + "/no-such-program";
  EXPECT_EQ(SendEvent(event, reply, o), kLaunchFailed);
}

TEST(InitialEvent, TheApplicationTakesDispatchesAndAnswersIt) {
  const std::string folder = testsupport::MakeTempDir("ae");
  const std::string path = folder + "/initial.event";
  AppleEvent event(FourCC("TrES"), FourCC("GAct"));
  testsupport::WriteFile(path, EncodeEvent(event, true));
  ::setenv(kInitialEventVariable, path.c_str(), 1);
  EXPECT_EQ(HandleInitialEvent(*TestHandlers()), kNoErr);
  EXPECT_EQ(std::getenv(kInitialEventVariable), nullptr);
  EXPECT_NE(::access(path.c_str(), F_OK), 0);
  WireEvent reply;
  ASSERT_EQ(DecodeEvent(testsupport::ReadFile(path + ".reply"), reply), kNoErr);
  EXPECT_EQ(reply.event.Parameters().Find(keys::kDirectObject)->Count(), 2u);
  EXPECT_EQ(HandleInitialEvent(*TestHandlers()), kDescNotFound);
}

struct ArgumentCase {
  std::vector<std::string> args;
  bool ok;
  AppleEvent expected;
};

AppleEvent With(AppleEvent e, AEKeyword key, Descriptor d) {
  e.PutParam(key, std::move(d));
  return e;
}

TEST(SendArguments, Table) {
  const AppleEvent q(FourCC("TrES"), FourCC("AEq "));
  const ArgumentCase cases[] = {
      {{"TrES", "GSta"}, true, AppleEvent(FourCC("TrES"), FourCC("GSta"))},
      {{"TrES", "AEq ", "----:magn=12"}, true, With(q, keys::kDirectObject, Descriptor::UInt32(12))},
      {{"TrES", "AEq ", "----:TEXT=a=b:c"}, true, With(q, keys::kDirectObject, Descriptor::Text("a=b:c"))},
      {{"TrES", "AEq ", "LRQ :shor=-3"}, true, With(q, FourCC("LRQ "), Descriptor::SInt16(-3))},
      {{"TrES", "AEq ", "Stqu:bool=false"}, true, With(q, FourCC("Stqu"), Descriptor::Boolean(false))},
      {{"TrES", "AEq ", "Loca:fsrf=/tmp/x"}, true, With(q, FourCC("Loca"), Descriptor::FileRef("/tmp/x"))},
      {{"TrES", "AEq ", "comp:comp=-9000000000"},
       true,
       With(q, FourCC("comp"), Descriptor::SInt64(-9000000000LL))},
      {{"TrES", "AEq ", "----:utf8=x", "----:utf8=y"},
       true,
       With(q, keys::kDirectObject, Descriptor::List({Descriptor::Utf8("x"), Descriptor::Utf8("y")}))},
      {{"--launch", "--timeout", "2.5", "TrES", "AEq "}, true, q},
      {{"TrES"}, false, {}},
      {{"TrES", "AEq"}, false, {}},
      {{"TrES", "AEq ", "----:magn=-1"}, false, {}},
      {{"TrES", "AEq ", "----:shor=40000"}, false, {}},
      {{"TrES", "AEq ", "----:long=abc"}, false, {}},
      {{"TrES", "AEq ", "----:bool=maybe"}, false, {}},
      {{"TrES", "AEq ", "----:fsrf=relative"}, false, {}},
      {{"TrES", "AEq ", "----:doub=1"}, false, {}},
      {{"TrES", "AEq ", "----=1"}, false, {}},
      {{"--timeout", "0", "TrES", "AEq "}, false, {}},
      {{"--timeout", "TrES", "AEq "}, false, {}},
  };
  for (const auto& c : cases) {
    std::string error;
    SendCommand cmd = ParseSendArguments(c.args, error);
    std::string joined;
    for (const auto& a : c.args) joined += "[" + a + "]";
    EXPECT_EQ(error.empty(), c.ok) << joined << ": " << error;
    if (c.ok) {
      EXPECT_EQ(cmd.event, c.expected) << joined << ": " << DescribeEvent(cmd.event);
    }
  }
  std::string error;
  SendCommand cmd = ParseSendArguments({"--launch", "--timeout", "2.5", "TrES", "AEq "}, error);
  EXPECT_TRUE(cmd.launch);
  EXPECT_EQ(cmd.timeout, 2500ms);
}

TEST(SendArguments, ReplyPrinting) {
  EXPECT_EQ(FormatReplyValue(Descriptor()), "");
  EXPECT_EQ(FormatReplyValue(Descriptor::UInt32(4000000000u)), "4000000000\n");
  EXPECT_EQ(FormatReplyValue(Descriptor::SInt16(-2)), "-2\n");
  EXPECT_EQ(FormatReplyValue(Descriptor::Text("Host: 1\t2\n")), "Host: 1\t2\n\n");
  EXPECT_EQ(FormatReplyValue(Descriptor::Boolean(true)), "true\n");
  EXPECT_EQ(FormatReplyValue(Descriptor::List({Descriptor::UInt32(1), Descriptor::Text("22")})), "1\n22\n");
}

std::pair<int, std::string> RunSender(const std::string& runtime_dir, const std::string& args) {
  const std::string command =
      "XDG_RUNTIME_DIR='" + runtime_dir + "' timeout 20 '" TRUVANE_SEND_PATH "' " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(SendProgram, SendsPrintsAndFails) {
  const std::string runtime_dir = testsupport::MakeTempDir("run");
  auto [absent_code, absent_out] = RunSender(runtime_dir, "--timeout 5 TrES GAct");
  EXPECT_NE(absent_code, 0);
  EXPECT_NE(absent_out.find("not running"), std::string::npos) << absent_out;

  ServerThread server(runtime_dir + "/truvane");
  ASSERT_EQ(server.status(), kNoErr);
  auto [code, out] = RunSender(runtime_dir, "--timeout 5 TrES GAct");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out, "7\n4000000000\n");
  auto [echo_code, echo_out] = RunSender(runtime_dir, "TrES Echo ----:TEXT=a ----:TEXT=b");
  EXPECT_EQ(echo_code, 0);
  EXPECT_EQ(echo_out, "a\nb\n");
  auto [fail_code, fail_out] = RunSender(runtime_dir, "TrES Nope");
  EXPECT_NE(fail_code, 0);
  EXPECT_NE(fail_out.find("-1708"), std::string::npos) << fail_out;
}

}  // namespace
}  // namespace appleevents
