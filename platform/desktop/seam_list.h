#pragma once
// The desktop seams: every service slot and hook struct this subsystem defines, each with
// who installs it (platform/runtime/seam_list.h).

namespace desktop {

// Adds them to runtime::Seams(); the services report calls it once.
void ListSeams();

}  // namespace desktop
