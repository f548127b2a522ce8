#pragma once
// The application target's handler: the last stop of every command chain and the place
// where worker tasks' events are applied on the main thread.
//   'cmds' 1 / 2   the commands no window took (application_commands.h) and their state;
//                  the tray menu's peer and favourite items (dock_menu.h)
//   'appl' 20      the tray menu, built afresh, in the 'menu' parameter
//   'serv' 4       the two services (application_services.h)
//   'Truv' 1025    a line for the transfer log (the text is never a format)
//   'Truv' 1030    reveal a newly added download in My Downloads ('QUid')
//   'TRP&' 1       the accepted certificates changed: both tables into the preferences
//   'TR__' 1       a sending-rate sample for the server activity window ('----')
//   'S_se' 1, 2    the file server started (name, user, address, id) or ended a transfer
//   'SEX_' 1, 2    a scan of "add files from URL" ended, or found files (link_scan_events.h)
// Everything else is not handled.

#include <cstdint>

#include "platform/runtime/event.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/status.h"

namespace shell {

inline constexpr std::uint32_t kEventAppRevealDownload = 1030;
inline constexpr std::uint32_t kEventAppGetDockMenu = 20;
inline constexpr values::FourCharCode kEventClassAppl = values::FourCC("appl");
inline constexpr values::FourCharCode kEventClassActivityRate = values::FourCC("TR__");
inline constexpr values::FourCharCode kEventClassFileServer = values::FourCC("S_se");
inline constexpr std::uint32_t kFileServerTransferStarted = 1;
inline constexpr std::uint32_t kFileServerTransferEnded = 2;
inline constexpr values::FourCharCode kParamDockMenu = values::FourCC("menu");

// Set by the poster of 'Truv' 1030, cleared by its handler: one reveal at a time.
bool IsRevealPending();
void SetRevealPending(bool pending);

runtime::Status ApplicationEventHandler(runtime::HandlerCall& call, runtime::Event& event);

// Installs the handler on `target` (the application target) for the kinds above.
runtime::HandlerRef InstallApplicationEventHandler(runtime::EventTarget& target);

}  // namespace shell
