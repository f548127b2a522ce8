// TCP and TLS streams and the listening socket, on loopback, driven by the test
// thread's run loop.
#include <gtest/gtest.h>
#include <netdb.h>

#include <fstream>
#include <sstream>

#include "platform/net/listening_socket.h"
#include "platform/net/tcp_stream.h"
#include "platform/net/tls_stream.h"
#include "tests/platform/net/net_test_support.h"
#include "tests/servers/test_certificates.h"

namespace net {
namespace {

using net::testing::PatternBytes;
using net::testing::RunUntil;

// Reads whatever a stream offers in grants of `grant` bytes, as a rate-limited download
// does, and remembers how it ended.
struct Reader {
  explicit Reader(ByteStream& s, std::size_t grant = 300) : stream(s), grant(grant) {
    stream.SetClient(kEventAll, [this](StreamEvent e) { On(e); });
  }
  void On(StreamEvent e) {
    if (e == kEventOpenCompleted) opened = true;
    if (e == kEventHasBytes) {
      ++has_bytes_events;
      std::string buf(grant, '\0');
      const std::ptrdiff_t n =
          stream.Read(buf.data(), grant);  // one grant per event: the rest must come back
      if (n > 0) received.append(buf, 0, static_cast<std::size_t>(n));
    }
    if (e == kEventEnd) ended = true;
    if (e == kEventError) error = stream.Error();
  }
  ByteStream& stream;
  std::size_t grant;
  bool opened = false, ended = false;
  int has_bytes_events = 0;
  StreamError error;
  std::string received;
};

// Writes `data` whenever the stream can take bytes, then optionally half-closes.
struct Writer {
  Writer(ByteStream& s, std::string data) : stream(s), data(std::move(data)) {}
  void Pump() {
    while (sent < data.size()) {
      const std::ptrdiff_t n = stream.Write(data.data() + sent, data.size() - sent);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }
  bool done() const { return sent == data.size(); }
  ByteStream& stream;
  std::string data;
  std::size_t sent = 0;
};

class ListeningSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    listener_ = ListeningSocket::Listen(
        "127.0.0.1", 0, [this](std::unique_ptr<TcpStream> c) { accepted_.push_back(std::move(c)); });
    ASSERT_TRUE(listener_);
    ASSERT_GT(listener_->Port(), 0);
  }
  std::unique_ptr<ListeningSocket> listener_;
  std::vector<std::unique_ptr<TcpStream>> accepted_;
};

TEST_F(ListeningSocketTest, AcceptedConnectionCarriesBytesBothWaysInSmallGrants) {
  // "localhost" may resolve to ::1 first, where nothing listens: the next address must be tried.
  auto client = TcpStream::Connect("localhost", listener_->Port());
  Reader client_reader(*client);
  ASSERT_TRUE(client->Open());
  EXPECT_EQ(client->Status(), StreamStatus::kOpening);
  ASSERT_TRUE(RunUntil([&] { return client_reader.opened && !accepted_.empty(); }));
  EXPECT_EQ(client->Status(), StreamStatus::kOpen);
  EXPECT_GE(client->Descriptor(), 0);

  TcpStream& server = *accepted_.front();
  Reader server_reader(server, 1000);
  ASSERT_TRUE(server.Open());
  EXPECT_EQ(client->LocalAddress()->ToString(), server.PeerAddress()->ToString());
  EXPECT_EQ(server.LocalAddress()->Port(), listener_->Port());

  const std::string request = PatternBytes(5000);
  Writer up(*client, request);
  up.Pump();
  ASSERT_TRUE(RunUntil([&] { return server_reader.received.size() == request.size(); }));
  EXPECT_EQ(server_reader.received, request);

  // A megabyte down, written as the socket takes it, read 300 bytes per event.
  const std::string reply = PatternBytes(1 << 20);
  Writer down(server, reply);
  server.SetClient(kEventCanAcceptBytes, [&](StreamEvent) {
    down.Pump();
    if (down.done()) server.ShutdownWriting();
  });
  down.Pump();
  ASSERT_TRUE(RunUntil([&] { return client_reader.ended || client_reader.error; }, std::chrono::seconds(20)));
  EXPECT_FALSE(client_reader.error) << DescribeError(client_reader.error);
  EXPECT_EQ(client_reader.received.size(), reply.size());
  EXPECT_TRUE(client_reader.received == reply);
  EXPECT_EQ(client->Status(), StreamStatus::kAtEnd);
  EXPECT_GT(client_reader.has_bytes_events, static_cast<int>(reply.size() / 300) - 1);
}

TEST_F(ListeningSocketTest, ListensOnIpv6LoopbackToo) {
  StreamError why;
  auto v6 = ListeningSocket::Listen(
      "::1", 0, [this](std::unique_ptr<TcpStream> c) { accepted_.push_back(std::move(c)); }, nullptr, &why);
  if (!v6) GTEST_SKIP() << "no IPv6 loopback here: " << DescribeError(why);
  auto client = TcpStream::Connect("::1", v6->Port());
  Reader reader(*client);
  client->Open();
  ASSERT_TRUE(RunUntil([&] { return reader.opened && !accepted_.empty(); }));
  EXPECT_EQ(client->PeerAddress()->ToString(), "[::1]:" + std::to_string(v6->Port()));
}

TEST(TcpStreamErrors, FailuresArriveAsErrorEventsInTheirDomains) {
  int closed_port;
  {
    auto probe = ListeningSocket::Listen("127.0.0.1", 0, nullptr);
    ASSERT_TRUE(probe);
    closed_port = probe->Port();
  }
  TcpStream::Resolver no_such_name = [](const std::string&, int, std::vector<SocketAddress>&) {
    return EAI_NONAME;
  };
  struct Case {
    const char* what;
    std::unique_ptr<TcpStream> stream;
    StreamError expected;
  };
  std::vector<Case> cases;
  cases.push_back({"refused",
                   TcpStream::Connect("127.0.0.1", closed_port),
                   {ErrorDomain::kPosix, posix_code::kConnectionRefused}});
  cases.push_back({"no such name",
                   TcpStream::Connect("nonexistent.invalid", 80, no_such_name),
                   {ErrorDomain::kNetDb, netdb_code::kNoName}});
  for (Case& c : cases) {
    Reader reader(*c.stream);
    ASSERT_TRUE(c.stream->Open()) << c.what;  // failures come as events, not from Open
    ASSERT_TRUE(RunUntil([&] { return bool(reader.error); })) << c.what;
    EXPECT_EQ(reader.error, c.expected) << c.what << ": " << DescribeError(reader.error);
    EXPECT_EQ(c.stream->Status(), StreamStatus::kError) << c.what;
    EXPECT_FALSE(reader.opened) << c.what;
  }
}

// The system resolver, only where a lookup cannot leave the machine (no name server
// beyond loopback is configured).
TEST(TcpStreamErrors, UnknownHostThroughTheSystemResolverIsANameLookupError) {
  std::ifstream conf("/etc/resolv.conf");
  std::string line;
  while (std::getline(conf, line)) {
    std::istringstream words(line);
    std::string key, server;
    words >> key >> server;
    if (key == "nameserver" && server.rfind("127.", 0) != 0 && server != "::1")
      GTEST_SKIP() << "a lookup would go to " << server;
  }
  auto stream = TcpStream::Connect("nonexistent.invalid", 80);
  Reader reader(*stream);
  stream->Open();
  ASSERT_TRUE(RunUntil([&] { return bool(reader.error); }));
  EXPECT_EQ(reader.error.domain, ErrorDomain::kNetDb);
}

// ---- TLS over the streams

class TlsStreamTest : public ListeningSocketTest {
 protected:
  // Serves every accepted connection with `identity`, echoing what it reads.
  void Serve(const testservers::TestIdentity& identity) {
    context_ = TlsContext::Server(identity.chain_pem, identity.key_pem);
    ASSERT_TRUE(context_);
  }
  void StartServers() {
    while (!accepted_.empty()) {
      auto tls = TlsStream::CreateServer(std::move(accepted_.back()), context_);
      accepted_.pop_back();
      TlsStream* raw = tls.get();
      raw->SetClient(kEventHasBytes, [raw](StreamEvent) {
        char buf[4096];
        const std::ptrdiff_t n = raw->Read(buf, sizeof buf);
        if (n > 0) raw->Write(buf, static_cast<std::size_t>(n));
      });
      raw->Open();
      servers_.push_back(std::move(tls));
    }
  }
  TlsTrust CaTrust() const {
    TlsTrust t;
    t.use_system_roots = false;
    t.trusted_roots = {*Certificate::FromPem(testservers::TestCa().certificate_pem)};
    return t;
  }
  std::unique_ptr<TlsStream> Connect(TlsTrust trust) {
    return TlsStream::CreateClient(TcpStream::Connect("127.0.0.1", listener_->Port()), "localhost",
                                   std::move(trust));
  }
  bool Echo(TlsStream& client, Reader& reader, const std::string& text) {
    Writer w(client, text);
    client.SetClient(kEventAll, [&](StreamEvent e) {
      reader.On(e);
      if (e == kEventCanAcceptBytes) w.Pump();
    });
    w.Pump();
    return RunUntil([&] {
      StartServers();
      return reader.received.size() >= text.size() || reader.error;
    });
  }

  std::shared_ptr<TlsContext> context_;
  std::vector<std::unique_ptr<TlsStream>> servers_;
};

TEST_F(TlsStreamTest, HandshakeThenBytesBothWaysAndSessionReuse) {
  Serve(testservers::MakeSigned({}, testservers::TestCa()));
  auto first = Connect(CaTrust());
  Reader reader(*first, 300);
  ASSERT_TRUE(first->Open());
  ASSERT_TRUE(RunUntil([&] {
    StartServers();
    return reader.opened || reader.error;
  }));
  ASSERT_FALSE(reader.error) << DescribeError(reader.error);
  EXPECT_EQ(first->Status(), StreamStatus::kOpen);
  ASSERT_FALSE(first->PeerCertificates().empty());
  EXPECT_EQ(first->PeerCertificates().front().CommonName(), "localhost");

  const std::string text = PatternBytes(100000);
  ASSERT_TRUE(Echo(*first, reader, text));
  EXPECT_TRUE(reader.received == text);

  // A second connection offering the first one's session resumes it.
  auto second = Connect(CaTrust());
  second->ResumeSessionOf(*first);
  Reader second_reader(*second);
  second->Open();
  ASSERT_TRUE(RunUntil([&] {
    StartServers();
    return second_reader.opened || second_reader.error;
  }));
  ASSERT_FALSE(second_reader.error) << DescribeError(second_reader.error);
  EXPECT_TRUE(second->IsSessionReused());
  EXPECT_FALSE(first->IsSessionReused());
}

TEST_F(TlsStreamTest, UntrustedServerFailsWithItsChainReadable) {
  Serve(testservers::MakeSelfSigned({}));
  auto client = Connect(CaTrust());
  Reader reader(*client);
  client->Open();
  ASSERT_TRUE(RunUntil([&] {
    StartServers();
    return reader.opened || reader.error;
  }));
  EXPECT_FALSE(reader.opened);
  EXPECT_EQ(reader.error, (StreamError{ErrorDomain::kSsl, tls_code::kUnknownRoot}));
  EXPECT_EQ(client->PeerCertificates().size(), 1u);

  // With validation off the same server is accepted.
  TlsTrust off = CaTrust();
  off.validate_chain = false;
  auto lax = Connect(off);
  Reader lax_reader(*lax);
  lax->Open();
  ASSERT_TRUE(Echo(*lax, lax_reader, "ping"));
  EXPECT_EQ(lax_reader.received, "ping");
}

// The client decrypts straight into each read's buffer, pulling from the socket as it
// goes: reads of every size, around the size of a TLS record and far past it, get every
// byte in order and then the end, whatever the server's writes were cut into.
TEST_F(TlsStreamTest, ReadsOfEverySizeGetEveryByteThenTheEnd) {
  Serve(testservers::MakeSigned({}, testservers::TestCa()));
  const struct {
    std::size_t grant, size;
  } cases[] = {{1, 40000},       {700, 300000},    {16383, 1000000},  {16384, 1000000},
               {16385, 1000000}, {65536, 3000000}, {1 << 20, 3000001}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "reads of " << c.grant);
    const std::string payload = PatternBytes(c.size);
    auto client = Connect(CaTrust());
    Reader reader(*client, c.grant);
    ASSERT_TRUE(client->Open());
    std::unique_ptr<TlsStream> server;
    std::unique_ptr<Writer> writer;
    ASSERT_TRUE(RunUntil([&] {
      if (!server && !accepted_.empty()) {
        server = TlsStream::CreateServer(std::move(accepted_.back()), context_);
        accepted_.pop_back();
        writer = std::make_unique<Writer>(*server, payload);
        server->SetClient(kEventOpenCompleted | kEventCanAcceptBytes, [&](StreamEvent) {
          writer->Pump();
          if (writer->done()) server->ShutdownWriting();
        });
        server->Open();
      }
      return reader.ended || reader.error;
    }));
    ASSERT_FALSE(reader.error) << DescribeError(reader.error);
    EXPECT_EQ(reader.received.size(), payload.size());
    EXPECT_TRUE(reader.received == payload);
    EXPECT_EQ(client->Read(nullptr, 0), kStreamAtEnd);
  }
}

}  // namespace
}  // namespace net
