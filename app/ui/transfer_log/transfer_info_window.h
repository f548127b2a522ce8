#pragma once
// The "Transfer information for %@" window of one download: its transfer log
// (engine/log/transfer_log.h) in a read-only, selectable text view under a strip with the
// "Copy to email" button. Each opening makes a new window; the download remembers the
// newest, and only that one follows its log. The window remembers its download by UID
// (window property 'Truv'/'Quid'), so it outlives the download harmlessly.
//
// Following the log: an append asks the window to redraw with event 'Truv' kind 2, sent
// synchronously to the window's target; the window then takes the part of the log it does
// not show (engine::TakeUnshownTransferLog), replacing its text when it showed nothing of
// the log (the placeholder, or a log started afresh) and appending it otherwise.
//
// "Copy to email" (command 'Emal') starts a message to the support mailbox in the user's
// mail program, the log as its body (desktop::Workspace::ComposeMail). The body keeps the
// last kMailedLogLimit bytes of the log, cut at a line start: a mailto URL travels as one
// argument to the mail program, and the system refuses arguments of 128 KiB and more.
//
// When the window goes, the download forgets it, so later lines are not sent to it.
//
// Main thread only.

#include <cstdint>
#include <string>
#include <string_view>

#include "app/engine/services/transfer_log_window_service.h"
#include "app/queue/record/download_queue_element.h"
#include "platform/toolbox/windows/window.h"
#include "platform/values/fourcc.h"

namespace ui {

inline constexpr values::FourCharCode kTransferInfoCreator = values::FourCC("Truv");
inline constexpr values::FourCharCode kTransferInfoUIDProperty = values::FourCC("Quid");
inline constexpr std::int32_t kTransferInfoPlacardID = values::FourCC("Plac");
inline constexpr std::int32_t kTransferInfoButtonID = values::FourCC("Butt");
inline constexpr std::int32_t kTransferInfoTextID = values::FourCC("HItx");
inline constexpr values::FourCharCode kCommandEmailTransferLog = values::FourCC("Emal");
inline constexpr values::FourCharCode kEventClassTruvane = values::FourCC("Truv");
inline constexpr std::uint32_t kEventTransferLogChanged = 2;

inline constexpr char kSupportMailAddress[] = "support@truvane.org";
inline constexpr std::size_t kMailedLogLimit = 32 * 1024;

// Opens a new window on the download's log and makes it the download's window.
toolbox::Window* ShowTransferInfoWindow(queue::DownloadQueueElement& element);

// The window with this id (what the download's record keeps), or null once it is gone.
toolbox::Window* FindTransferInfoWindow(engine::TransferInfoWindowId window);
// Sends the window the redraw request ('Truv' kind 2).
void SendTransferLogChanged(engine::TransferInfoWindowId window);

// "mailto:<support>?subject=Transfer%20Log&Body=<log>", the log (its tail, see above)
// percent-escaped in UTF-8 with "?&=+" escaped too; nothing when it cannot be made.
std::optional<std::string> TransferLogMailtoURL(std::string_view log);

}  // namespace ui
