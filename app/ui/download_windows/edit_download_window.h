#pragma once
// The edit-download window: the options of one download (its URLs, referer and place in
// the queue too), or those common to several, written back by OK or by Start (which then
// starts them). A stopped download whose address expired gets a new URL here and resumes
// from its partial file at its next start, the mirrors' learnt values kept where the URL
// stayed the same.
//
// Only local downloads still in the queue are edited; when none of those given is, no
// window opens. Main thread only.

#include <vector>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

inline constexpr const char kEditDownloadWindowTitle[] = "Edit Download";
inline constexpr const char kEditDownloadsWindowTitle[] = "Edit Downloads";
inline constexpr const char kEditDownloadFrameKey[] = "Edit DL WindowFrame";

// The window, or nullptr when none of the downloads may be edited.
toolbox::Window* ShowEditDownloadWindow(const std::vector<queue::WrapperRef>& downloads);

// Writes the window's values into its downloads; false (with an alert) when the form is
// refused, and nothing is written then.
bool ApplyDownloadEdits(toolbox::Window& window);

}  // namespace ui
