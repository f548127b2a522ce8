#pragma once
// The add-URL window: an address handed in from outside (a browser, a script) with the
// modifier held is offered either as a new download or as another source (mirror) of a
// download already in the list. The pop-up {'Truv', 2} lists "New Download" first, then
// every download that is not running, starting or verifying (status mask 0x5F1), each
// item carrying its download's UID as the item property ('Truv', 'Key ').
//
// Add ('ok  ') with the first item adds a new download with the defaults and the
// session's batch id; with another item the URL entries join that download's mirrors (a
// download removed meanwhile is skipped). Either way, and on Cancel ('not!'), the window
// goes. The URL entries live in the window ('Truv', 'url '); without them Add only closes.
//
// Main thread only.

#include <cstdint>

#include "platform/toolbox/windows/window.h"
#include "platform/values/value.h"

namespace ui {

inline constexpr std::int32_t kAddURLTextID = 1;
inline constexpr std::int32_t kAddURLPopUpID = 2;
inline constexpr values::FourCharCode kAddURLProperty = values::FourCC("url ");
inline constexpr values::FourCharCode kAddURLItemKey = values::FourCC("Key ");
// Downloads that may take another source: every status but downloading, starting and
// verifying.
inline constexpr std::uint32_t kAddURLTargetMask = 0x5F1;

// Opens a new window for the URL entries (each a dictionary with "url"); the window.
toolbox::Window* ShowAddURLWindow(const values::Array& urlEntries);

// The window's command and close handler.
runtime::Status AddURLWindowEventHandler(runtime::HandlerCall& call, runtime::Event& event,
                                         toolbox::Window& window);

}  // namespace ui
