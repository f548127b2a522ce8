#pragma once
// A drag as the window system carries it: data by MIME type. EncodeDrag keeps the
// whole Drag (flavours and objects) in this program's drag sessions, for as long as
// the drag lasts, and names it in the payload by a token under kPrivateDragMimeType;
// DecodeDrag gives that Drag back when the token is one of ours and alive, and
// otherwise reads what other programs understand (a URI list, plain text).

#include <map>
#include <string>

#include "platform/toolbox/views/drag.h"

namespace toolbox {

inline constexpr char kPrivateDragMimeType[] = "application/x-truvane-drag-session";
inline constexpr char kUriListMimeType[] = "text/uri-list";
inline constexpr char kPlainTextMimeType[] = "text/plain;charset=utf-8";

struct DragPayload {
  std::map<std::string, std::string> data;  // bytes by MIME type
  bool Has(const std::string& type) const { return data.count(type) != 0; }
};

// Opens a session for `drag` (the objects are kept until EndDragSession) and returns
// the payload to offer. URLs are joined with CR LF as the URI list wants.
DragPayload EncodeDrag(const Drag& drag);
// The drag in `payload`: this program's session when its token is alive (with
// from_this_program set), else one item per URI (as 'furl') or one text item ('utxt').
Drag DecodeDrag(const DragPayload& payload);
// Ends the session named in `payload`, letting its objects go.
void EndDragSession(const DragPayload& payload);
// Sessions alive now (tests check that drags let their objects go).
int CountDragSessions();

}  // namespace toolbox
