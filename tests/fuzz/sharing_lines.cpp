// The sharing line protocol as both ends read it: the server's connection after a login
// (commands, split and joined any way), and the client's session fed a server's replies.
// The first byte picks the end; the rest arrives in pieces of every size in kPieceSizes.

#include <cstdlib>
#include <string>

#include "app/sharing/client/sharing_client_session.h"
#include "app/sharing/server/sharing_session.h"
#include "app/util/settings/sharing_users.h"
#include "platform/runtime/event_queue.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

// Whatever the server does with its key stays in a folder of its own, never the user's.
bool PrivateHome() {
  char templ[] = "/tmp/truvane-fuzz-XXXXXX";
  const char* home = ::mkdtemp(templ);
  if (!home) std::abort();
  ::setenv("HOME", home, 1);
  for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
    ::setenv(var, home, 1);
  }
  runtime::RegionGuard inside(util::SharingUsersRegion());
  util::SharingUserRecord guest;
  guest.viewUIDs = {22, 0x100000};
  util::SharingUsers()["Guest"] = guest;
  return true;
}

const bool kHome = PrivateHome();

template <class Feed>
void InPieces(std::string_view input, std::size_t piece, Feed feed) {
  if (piece == fuzz::kWholeInput) piece = input.size() + 1;
  for (std::size_t at = 0; at < input.size(); at += piece) {
    const auto part = input.substr(at, piece);
    if (!feed(std::span(reinterpret_cast<const std::uint8_t*>(part.data()), part.size()))) return;
  }
}

void Server(std::string_view input, std::size_t piece) {
  sharing::SharingSession s("fuzz");
  const std::string greeting = s.Greeting();
  std::string out;
  const std::string login = sharing::LoginLine("Guest", greeting.substr(7, sharing::kChallengeLength), "");
  TRUVANE_FUZZ_CHECK(
      s.Receive(std::span(reinterpret_cast<const std::uint8_t*>(login.data()), login.size()), out));
  TRUVANE_FUZZ_CHECK(s.loginState() == sharing::LoginState::kLoggedIn);
  InPieces(input, piece, [&](std::span<const std::uint8_t> bytes) { return s.Receive(bytes, out); });
}

void Client(std::string_view input, std::size_t piece) {
  sharing::SharingClientRequest r;
  r.address = "peer.test:2550";
  r.user = "bob";
  sharing::SharingClientPolicy policy;
  policy.checkKey = [](const std::string&, const std::string&) { return true; };
  policy.allowUnsecured = [](const std::string&, bool& asked) {
    asked = false;
    return true;
  };
  sharing::SharingClientSession session(r, policy);
  std::string out;
  InPieces(input, piece, [&](std::span<const std::uint8_t> bytes) {
    const auto result = session.Receive(bytes, out);
    if (result) TRUVANE_FUZZ_CHECK(*result < 0 || *result > 0);
    return !result.has_value();
  });
  if (session.record()) sharing::RemovePeerHost(session.record()->hostID);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || !kHome) return 0;
  const std::string_view input = fuzz::AsText(data + 1, size - 1);
  for (std::size_t piece : fuzz::kPieceSizes) {
    if (data[0] & 1) {
      Client(input, piece);
    } else {
      Server(input, piece);
    }
  }
  // The log lines of the logins: nobody reads them here.
  runtime::EventQueue::Main()->Flush();
  return 0;
}
