#include "platform/files/os_error.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace files;

TEST(OSErrFromErrno, MapsTheCodesCallersTest) {
  const struct {
    int error;
    OSErr expected;
  } cases[] = {
      {0, noErr},
      {ENOENT, fnfErr},
      {ENOTDIR, dirNFErr},
      {EEXIST, dupFNErr},
      {ENOTEMPTY, fBsyErr},
      {EBUSY, fBsyErr},
      {EACCES, afpAccessDenied},
      {EPERM, afpAccessDenied},
      {EROFS, afpAccessDenied},
      {ENOSPC, dskFulErr},
      {EDQUOT, dskFulErr},
      {EXDEV, diffVolErr},
      {ENAMETOOLONG, bdNamErr},
      {EISDIR, notAFileErr},
      {EINVAL, paramErr},
      {ENOTSUP, unimpErr},
      {ENOSYS, unimpErr},
      {EIO, ioErr},
      {EHOSTDOWN, ioErr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OSErrFromErrno(c.error), c.expected) << "errno " << c.error;
  }
}

TEST(Status, KeepsTheErrnoForTheLog) {
  const Status s = Status::FromErrno(ENOSPC);
  EXPECT_EQ(s.code(), dskFulErr);
  EXPECT_EQ(s.sys_errno(), ENOSPC);
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.Describe(), "dskFulErr (-34): No space left on device");
  EXPECT_EQ(Status(-1234).Describe(), "OSErr -1234");
}
