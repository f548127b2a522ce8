#pragma once
// Connecting to another copy from the windows: the connect window (an address typed, or
// the login of a copy found by Bonjour or refused before), the progress sheet that follows
// a connection step by step, and the main-thread handler of the sharing client's and the
// Bonjour browser's 'S_Cl' events, which keeps the peers' rows of the source list in step.
//
// A connection started here is kept in this module's table under its request id until its
// last event: success, cancel and failure free it; a refused login shows the login window
// again for the same connection ('Cp  ' holds its id), whose OK tries once more with the
// new user and password.
//
// Main thread only.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/runtime/event.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

inline constexpr std::int32_t kConnectFavouritesPopUpID = 1;
inline constexpr std::int32_t kConnectAddressID = 2;
inline constexpr std::int32_t kConnectUserID = 3;
inline constexpr std::int32_t kConnectPasswordID = 4;
inline constexpr std::int32_t kProgressStatusTextID = 1;
inline constexpr std::int32_t kAddFavouriteNameID = 1;
inline constexpr values::FourCharCode kConnectHostProperty = values::FourCC("Host");
inline constexpr values::FourCharCode kConnectNameProperty = values::FourCC("Name");
inline constexpr values::FourCharCode kConnectRetryProperty = values::FourCC("Cp  ");
inline constexpr values::FourCharCode kConnectFavouriteProperty = values::FourCC("Fav!");
inline constexpr values::FourCharCode kChooseFavouriteCommand = values::FourCC("FavM");
inline constexpr values::FourCharCode kSaveFavouriteCommand = values::FourCC("Favo");

// The connect window with an address to type; its pop-up lists the favourites that are
// not copies found by Bonjour.
toolbox::Window* ShowConnectToHostWindow();
// The login of a copy at `host` (the Bonjour key when found by Bonjour); with a retried
// connection, a sheet on that connection's progress window.
toolbox::Window* ShowPeerLoginWindow(const std::optional<std::string>& host,
                                     const std::optional<std::string>& bonjourKey,
                                     std::uint64_t retriedRequest = 0);
toolbox::Window* ShowAddFavouriteSheet(toolbox::Window& parent);

// Starts a connection to the copy at "host:port" with a progress sheet (none when silent);
// "" and "guest" log in as "Guest"; without a favourite name, a favourite with that
// address, user and password is looked up. The request id, 0 when no task could start.
std::uint64_t ConnectToSharingPeer(const std::string& address, const std::string& user,
                                   const std::string& password, std::optional<std::string> favouriteName,
                                   std::optional<std::string> bonjourKey, bool silent = false);
// Resolves the copy found by Bonjour and connects to it with these credentials; false
// when the copy is not (or no longer) found, or already connected.
bool ConnectToBonjourPeer(const std::string& keyOrName, const std::string& user, const std::string& password,
                          std::optional<std::string> favouriteName, bool silent);

// The progress sheet of a running connection (null when none or silent).
toolbox::Window* ConnectionProgressWindow(std::uint64_t requestID);
bool IsConnectionRunning(std::uint64_t requestID);

// 'S_Cl' kinds 1 to 3.
runtime::Status HandleSharingClientEvent(runtime::Event& event);
// Installs that handler on the application's target and the favourites' way to connect
// copies found by Bonjour.
void InstallSharingWindows();

}  // namespace ui
