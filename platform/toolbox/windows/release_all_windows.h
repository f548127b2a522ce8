#pragma once
// The end of the windows at quit. A window still held when the process exits would be
// destroyed by static teardown, after the toolkit's own statics that its widgets need:
// the quit releases them all while the toolkit still runs.

namespace toolbox {

// Releases every window left, newest first (each hears its dispose event and saves its
// frame), and destroys their widgets at once rather than on a next loop pass that will
// not come.
void ReleaseAllWindows();

}  // namespace toolbox
