#pragma once
// Whether the user may administer the machine: the program offers system-wide installs
// only to such users.

namespace util {

// True when the process runs as root or belongs to group 0 or to one of the groups that
// Linux distributions give administrators ("sudo", "wheel", "admin").
bool IsUserAdmin();

}  // namespace util
