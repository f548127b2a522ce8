#pragma once
// A non-modal window that shows a formatted message with an OK button, and grows to fit
// a message longer than its text area. It stays until OK is pressed.

#include <initializer_list>
#include <memory>
#include <string_view>

#include "platform/runtime/status.h"
#include "platform/toolbox/windows/window.h"
#include "platform/values/format.h"

namespace shell {

// The message text's control {'Truv', 3} and the OK button's {'Truv', 1}.
inline constexpr std::int32_t kMessageTextControlID = 3;
inline constexpr std::int32_t kMessageOKButtonID = 1;

// The window "standard" of the alert windows, empty: built, not shown.
std::shared_ptr<toolbox::Window> CreateStandardMessageWindow();

// Shows `format` with `args` (the formatter's conversions, %@ for outside text); the
// parent is not used. Returns at once; kNoErr.
runtime::Status ShowMessageWindow(toolbox::Window* parent, std::string_view format,
                                  std::initializer_list<values::FormatArg> args = {});

}  // namespace shell
