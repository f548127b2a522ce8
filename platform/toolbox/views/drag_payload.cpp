#include "platform/toolbox/views/drag_payload.h"

#include <unistd.h>

#include <random>
#include <sstream>

namespace toolbox {
namespace {

std::map<std::string, Drag>& Sessions() {
  static std::map<std::string, Drag> sessions;
  return sessions;
}

// Unguessable and tied to this process, so that a token copied from an earlier run or
// another instance names nothing.
std::string NewToken() {
  static std::mt19937_64 random{std::random_device{}()};
  std::ostringstream out;
  out << getpid() << '-' << std::hex << random() << random();
  return out.str();
}

std::vector<std::string> SplitUriList(const std::string& list) {
  std::vector<std::string> uris;
  std::istringstream in(list);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;  // comments are allowed in the list
    uris.push_back(line);
  }
  return uris;
}

}  // namespace

DragPayload EncodeDrag(const Drag& drag) {
  DragPayload payload;
  std::string uris;
  std::string text;
  for (const DragItem& item : drag.items) {
    if (auto url = item.Flavor(kFlavorFileURL)) uris += *url + "\r\n";
    auto t = item.Flavor(kFlavorText);
    if (!t) t = item.Flavor(kFlavorPlainText);
    if (t) text += (text.empty() ? "" : "\n") + *t;
  }
  if (!uris.empty()) payload.data[kUriListMimeType] = uris;
  if (!text.empty())
    payload.data[kPlainTextMimeType] = text;
  else if (!uris.empty())
    payload.data[kPlainTextMimeType] = uris;  // URLs as text for text fields
  const std::string token = NewToken();
  Sessions()[token] = drag;
  payload.data[kPrivateDragMimeType] = token;
  return payload;
}

Drag DecodeDrag(const DragPayload& payload) {
  if (auto it = payload.data.find(kPrivateDragMimeType); it != payload.data.end()) {
    if (auto s = Sessions().find(it->second); s != Sessions().end()) {
      Drag drag = s->second;
      drag.from_this_program = true;
      return drag;
    }
  }
  Drag drag;
  if (auto it = payload.data.find(kUriListMimeType); it != payload.data.end()) {
    for (const std::string& uri : SplitUriList(it->second)) {
      DragItem item;
      item.flavors[kFlavorFileURL] = uri;
      drag.items.push_back(std::move(item));
    }
  } else if (auto t = payload.data.find(kPlainTextMimeType); t != payload.data.end()) {
    DragItem item;
    item.flavors[kFlavorText] = t->second;
    drag.items.push_back(std::move(item));
  }
  return drag;
}

void EndDragSession(const DragPayload& payload) {
  if (auto it = payload.data.find(kPrivateDragMimeType); it != payload.data.end())
    Sessions().erase(it->second);
}

int CountDragSessions() {
  return static_cast<int>(Sessions().size());
}

}  // namespace toolbox
