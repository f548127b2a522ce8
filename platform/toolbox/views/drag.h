#pragma once
// Drags as the windows see them: a drag carries items, each offering its data in one or
// more flavours named by four-character codes, with the modifiers held and the mouse
// position. Data from other programs arrives as 'furl' (a file or web URL, UTF-8) and
// 'utxt' (text, UTF-8); objects dragged inside the program travel as handles.
//
// Between programs a drag travels as a payload of MIME types (drag_payload.h): items
// with 'furl' become a text/uri-list, 'utxt' and 'TEXT' plain text, and the whole drag -
// every flavour, and the objects - stays in this program under a private type that
// carries only a session token, so a payload forged by another program can never name
// one of our objects. Tests build Drag values, or payloads, and hand them to a view's
// drag entry points (View::HandleDrag*).

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/object_handle.h"
#include "platform/toolbox/drawing/geometry.h"
#include "platform/values/fourcc.h"

namespace toolbox {

inline constexpr values::FourCharCode kFlavorFileURL = values::FourCC("furl");
inline constexpr values::FourCharCode kFlavorText = values::FourCC("utxt");
inline constexpr values::FourCharCode kFlavorPlainText = values::FourCC("TEXT");  // UTF-8 too

struct DragItem {
  std::map<values::FourCharCode, std::string> flavors;  // bytes by flavour
  runtime::ObjectHandle object;                         // an object of this program, when one is dragged
  bool HasFlavor(values::FourCharCode f) const { return flavors.count(f) != 0; }
  std::optional<std::string> Flavor(values::FourCharCode f) const {
    auto it = flavors.find(f);
    return it == flavors.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
};

enum DragAction : unsigned {
  kDragActionNone = 0,
  kDragActionCopy = 1u << 0,
  kDragActionMove = 1u << 1,
  kDragActionLink = 1u << 2,
};

struct Drag {
  std::vector<DragItem> items;
  unsigned modifiers = 0;  // KeyModifier bits
  Point mouse;             // in the view
  unsigned allowed_actions = kDragActionCopy | kDragActionMove;
  bool from_this_program = false;
};

}  // namespace toolbox
