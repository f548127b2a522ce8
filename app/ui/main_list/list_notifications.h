#pragma once
// What the main list does when its rows are double-clicked, opened or closed, selected,
// or its columns changed; the selected downloads handed to the list commands; and the
// selected downloads' URLs copied to the clipboard.
//
// Main thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/toolbox/lists/list_view.h"

namespace ui {

class MainList;

// The list's item-notification callback.
void ListItemNotificationCallback(MainList& list, toolbox::ListItemID item,
                                  toolbox::ListNotification message);

// The selected downloads whose status has a bit in `statusMask`, in row order.
std::vector<queue::WrapperRef> CopySelectedQueueElements(std::int32_t statusMask);

// The clipboard text of these entries: each followed by a carriage return, the last one
// dropped; characters that are not valid UTF-8 become "?".
std::string ClipboardTextOfEntries(const std::vector<std::string>& entries);
// The URLs of the downloads on the clipboard (only when there is more than one byte).
void CopyElementURLsToClipboard(const std::vector<queue::WrapperRef>& downloads);
// Command 'CuRl': the URLs of every selected download, of any status.
void CopyDownloadURLsToClipboard();

}  // namespace ui
