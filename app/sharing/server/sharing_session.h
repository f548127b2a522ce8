#pragma once
// One connection of the sharing line-protocol server, without the socket: bytes in, reply
// bytes out. The connection task (sharing_server.h) feeds it what it reads and writes what
// it answers; tests drive it directly.
//
// States: awaiting the login line, logged in, refused (closing). Nothing but the login is
// served before a login succeeds: any first line is taken as a login and refused when it is
// not one. Lines are kept across reads up to kMaxSharingLineLength; a longer line ends the
// connection, since no command of the protocol comes near it.
//
// What a user sees is fixed at login: copies of the visible and download folder lists.
// Received files are listed only from the received-files folder itself, its "Guest"
// subfolder and the subfolder named like the user, judged on the files' real paths (links
// resolved), so no name and no link leads a peer outside those folders.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/sharing/crypto/session_key.h"
#include "app/sharing/protocol/line_protocol.h"

namespace sharing {

inline constexpr std::size_t kMaxSharingLineLength = 1024;
// Replies waiting to be sent beyond which no further command is handled: a peer that sends
// commands without reading the replies gets no more than this held for it.
inline constexpr std::size_t kMaxPendingReply = 1 << 20;
inline constexpr std::uint32_t kReceivedFilesFolderUID = 22;
inline constexpr std::uint32_t kFirstUserFolderUID = 0x100000;
inline constexpr std::uint32_t kFolderFlagSmart = 8;
inline constexpr std::uint32_t kFolderFlagDownloadable = 4;
inline constexpr std::size_t kMaxListedFolderName = 127;

enum class LoginState { kAwaitingLogin = 0, kLoggedIn = 1, kRefused = 2 };

class SharingSession {
 public:
  // `remoteHost`: the peer's address as the log names it.
  explicit SharingSession(std::string remoteHost);
  ~SharingSession();
  SharingSession(const SharingSession&) = delete;
  SharingSession& operator=(const SharingSession&) = delete;

  // The greeting with a new challenge (sent in the clear).
  std::string Greeting();
  // Takes bytes as read from the peer and handles the complete lines while `out` holds less
  // than kMaxPendingReply; appends the reply bytes (enciphered once a session key is set)
  // to `out`. False when the connection ends once `out` is written.
  bool Receive(std::span<const std::uint8_t> bytes, std::string& out);
  // Only takes the bytes, so that their lines may be handled later (a login held back);
  // false when the connection ends.
  bool Take(std::span<const std::uint8_t> bytes);
  // Handles lines left over while `out` was full.
  bool HandleLines(std::string& out);
  // Complete lines not handled yet: read nothing more until they are.
  bool HasUnhandledLines() const { return lines_.HasLine(); }

  LoginState loginState() const { return state_; }
  bool enciphered() const { return cipher_ != nullptr; }
  const std::string& user() const { return user_; }

 private:
  bool HandleLogin(const std::string& line, std::string& out);
  bool HandleCommand(const std::string& line, std::string& out);
  void Write(std::string text, std::string& out);
  std::string FolderListing() const;
  std::string ItemListing() const;
  std::string ReceivedFileListing() const;
  bool Visible(std::uint32_t uid) const;
  bool Downloadable(std::uint32_t uid) const;

  std::string remoteHost_;
  std::string challenge_;
  LoginState state_ = LoginState::kAwaitingLogin;
  std::string user_;
  std::vector<std::uint32_t> visibleFolders_;
  std::vector<std::uint32_t> downloadFolders_;
  SessionCipherPtr cipher_;
  LineBuffer lines_{kMaxSharingLineLength};
};

// The computer's name as NAME gives it ("Unknown" when the system has none).
std::string SharingComputerName();

// Whether `file` (a real path, links resolved) may be listed to `user` from the received-files
// folder `folder` (real path too): directly in it, or below its "Guest" subfolder or the
// user's own subfolder.
bool ReceivedFileVisibleToUser(const std::string& file, const std::string& folder, const std::string& user);

}  // namespace sharing
