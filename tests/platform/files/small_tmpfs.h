#pragma once
// A small tmpfs mounted for one test: a second file system (for moves across devices) that
// also fills up quickly (for disk-full paths). Mounting needs root or CAP_SYS_ADMIN; where
// it is not permitted, `mounted()` is false and the test skips.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "tests/support/temp_home.h"

namespace testsupport {

class SmallTmpfs {
 public:
  explicit SmallTmpfs(const std::string& size = "64k") {
    path_ = MakeTempDir("tmpfs");
    const std::string options = "size=" + size + ",mode=0777";
    if (::mount("truvane-test", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0) {
      mounted_ = true;
    } else {
      why_ = std::strerror(errno);
    }
  }
  ~SmallTmpfs() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& path() const { return path_; }
  const std::string& why() const { return why_; }

 private:
  std::string path_;
  std::string why_;
  bool mounted_ = false;
};

}  // namespace testsupport

// Skips the current test when the tmpfs could not be mounted.
#define TRUVANE_REQUIRE_TMPFS(fs) \
  if (!(fs).mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << (fs).why()
