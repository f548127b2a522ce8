#pragma once
// The untrusted-certificate window for a download whose server sent no certificate that
// could be shown (nothing for the trust panel to show): it names the host and asks
// whether to connect anyway. It opens behind the front window and asks for the user's
// attention, since a download, not the user, opened it. Connect ('ok  ') answers trust,
// Don't Connect ('not!') or closing answers don't; the window then goes.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/toolbox/windows/window.h"

namespace ui {

inline constexpr std::int32_t kUnknownRootTextID = 1;
inline constexpr values::FourCharCode kUnknownRootUIDProperty = values::FourCC("Quid");

// The text with its first "^0" replaced by the host; unchanged when it has none.
std::string InsertHostName(std::string text, const std::string& host);

toolbox::Window* ShowUnknownRootWindow(std::uint32_t uid, const std::string& host,
                                       std::function<void(bool trust)> answer);

}  // namespace ui
