#pragma once
// A non-modal window that shows a formatted message with an OK button, and grows to fit
// a message longer than its text area. It stays until OK is pressed.
//
// Failures that arrive while one is still on the screen gather in that one window, the
// newest first, rather than each opening a window of its own that the window manager may
// stack anywhere: it shows the newest few and says how many more the log holds, and it
// belongs to the main window (kept above it). OK dismisses all of them.

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/runtime/status.h"
#include "platform/toolbox/windows/window.h"
#include "platform/values/format.h"

namespace shell {

// The message text's control {'Truv', 3} and the OK button's {'Truv', 1}.
inline constexpr std::int32_t kMessageTextControlID = 3;
inline constexpr std::int32_t kMessageOKButtonID = 1;
// The gathering window shows this many messages; the count of the others points to the log.
inline constexpr std::size_t kGatheredMessagesShown = 6;

// The window "standard" of the alert windows, empty: built, not shown. With `owner`, the
// window belongs to it.
std::shared_ptr<toolbox::Window> CreateStandardMessageWindow(toolbox::Window* owner = nullptr);

// Shows `format` with `args` (the formatter's conversions, %@ for outside text); the
// parent is not used. Returns at once; kNoErr.
runtime::Status ShowMessageWindow(toolbox::Window* parent, std::string_view format,
                                  std::initializer_list<values::FormatArg> args = {});

// Adds `text` to the gathering window (made, shown and selected when none is open).
void ShowGatheredMessage(const std::string& text);
// The gathering window while it is open, else nullptr.
std::shared_ptr<toolbox::Window> GatheredMessageWindow();
// Closes it and forgets its messages (the quit).
void CloseGatheredMessages();

// The other system's line break (CR) as this one's (LF): the message texts use CR.
std::string WithLineBreaks(std::string text);

}  // namespace shell
