#include "app/util/desktop/user_privileges.h"

#include <grp.h>
#include <unistd.h>

#include <vector>

namespace util {
namespace {

bool IsAdministratorGroup(gid_t gid) {
  if (gid == 0) return true;
  for (const char* name : {"sudo", "wheel", "admin"}) {
    struct group entry;
    struct group* found = nullptr;
    std::vector<char> buffer(4096);
    if (getgrnam_r(name, &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->gr_gid == gid) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsUserAdmin() {
  if (geteuid() == 0) return true;
  const int count = getgroups(0, nullptr);
  if (count < 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count) + 1);
  const int n = getgroups(count, groups.data());
  groups.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
  groups.push_back(getegid());
  for (gid_t gid : groups) {
    if (IsAdministratorGroup(gid)) return true;
  }
  return false;
}

}  // namespace util
