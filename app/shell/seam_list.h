#pragma once
// The shell seams: every service slot and hook struct this subsystem defines, each with
// who installs it (platform/runtime/seam_list.h).

namespace shell {

// Adds them to runtime::Seams(); the services report calls it once.
void ListSeams();

}  // namespace shell
