#pragma once
// What an edit-download window keeps besides its controls: the downloads it edits, the
// destination folder shown, and the file name (with whether the person picked it in the
// save dialog, which fixes the name). It lives from the window's opening to its disposal.
//
// Main thread only.

#include <string>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

struct EditDownloadContext {
  std::vector<queue::WrapperRef> items;
  std::string folder;
  std::string name;
  bool nameChosen = false;
};

// The window's context; nullptr for a window that edits no downloads.
EditDownloadContext* EditContextOfWindow(const toolbox::Window& window);
EditDownloadContext& MakeEditContext(const toolbox::Window& window);
void ForgetEditContext(const toolbox::Window& window);

// A name picked in the save dialog: kept in the context, marked chosen, shown in the title
// and in the path line.
void ChooseEditedFileName(toolbox::Window& window, const std::string& name);

}  // namespace ui
