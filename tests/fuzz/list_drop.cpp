// What another program drops on the main list: a payload of MIME types (a URI list, plain
// text, a session token that may be forged) read back as a drag, and the dropped text
// split into the lines that become downloads.
//
// Input: the first byte picks the MIME type the rest arrives under (0 URI list, 1 plain
// text, 2 session token beside text, anything else plain text read straight as lines).

#include <string>

#include "app/ui/main_list/list_drag.h"
#include "platform/toolbox/views/drag_payload.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string rest(fuzz::AsText(data + 1, size - 1));
  toolbox::DragPayload payload;
  switch (data[0] % 4) {
    case 0:
      payload.data[toolbox::kUriListMimeType] = rest;
      break;
    case 1:
      payload.data[toolbox::kPlainTextMimeType] = rest;
      break;
    case 2:
      payload.data[toolbox::kPrivateDragMimeType] = rest;
      payload.data[toolbox::kPlainTextMimeType] = rest;
      break;
    default: {
      const auto lines = ui::DroppedTextLines(rest);
      TRUVANE_FUZZ_CHECK(lines.size() <= ui::kMaxDroppedLines);
      for (const auto& line : lines)
        TRUVANE_FUZZ_CHECK(line.size() > 1 && line.size() <= ui::kMaxDroppedTextBytes);
      return 0;
    }
  }
  const toolbox::Drag drag = toolbox::DecodeDrag(payload);
  // A drop from outside never names one of our objects.
  TRUVANE_FUZZ_CHECK(!drag.from_this_program);
  for (const auto& item : drag.items) {
    TRUVANE_FUZZ_CHECK(!item.object);
    (void)ui::CopyDragFileURL(item);
    if (auto text = item.Flavor(toolbox::kFlavorText)) {
      const auto lines = ui::DroppedTextLines(*text);
      TRUVANE_FUZZ_CHECK(lines.size() <= ui::kMaxDroppedLines);
    }
  }
  (void)ui::DragHasDownloadBundle(drag);
  (void)ui::DragHasText(drag);
  return 0;
}
