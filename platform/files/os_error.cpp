#include "platform/files/os_error.h"

#include <cerrno>
#include <cstring>

namespace files {

OSErr OSErrFromErrno(int e) {
  switch (e) {
    case 0:
      return noErr;
    case ENOENT:
    case ELOOP:
    case ENODATA:
      return fnfErr;
    case ENOTDIR:
      return dirNFErr;
    case EEXIST:
      return dupFNErr;
    case ENOTEMPTY:
    case EBUSY:
    case ETXTBSY:
    case EAGAIN:
      return fBsyErr;
    case EACCES:
    case EPERM:
    case EROFS:
      return afpAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return dskFulErr;
    case EXDEV:
      return diffVolErr;
    case ENAMETOOLONG:
      return bdNamErr;
    case EISDIR:
      return notAFileErr;
    case EMFILE:
    case ENFILE:
      return tmfoErr;
    case ENOMEM:
      return memFullErr;
    case ENODEV:
    case ENXIO:
    case ESTALE:
      return nsvErr;
    case EBADF:
      return rfNumErr;
    case EINVAL:
      return paramErr;
    case ENOTSUP:
#if EOPNOTSUPP != ENOTSUP
    case EOPNOTSUPP:
#endif
    case ENOSYS:
      return unimpErr;
    default:
      return ioErr;
  }
}

std::string OSErrName(OSErr code) {
  const char* name = nullptr;
  switch (code) {
    case noErr:
      name = "noErr";
      break;
    case unimpErr:
      name = "unimpErr";
      break;
    case dskFulErr:
      name = "dskFulErr";
      break;
    case nsvErr:
      name = "nsvErr";
      break;
    case ioErr:
      name = "ioErr";
      break;
    case bdNamErr:
      name = "bdNamErr";
      break;
    case eofErr:
      name = "eofErr";
      break;
    case tmfoErr:
      name = "tmfoErr";
      break;
    case fnfErr:
      name = "fnfErr";
      break;
    case fBsyErr:
      name = "fBsyErr";
      break;
    case dupFNErr:
      name = "dupFNErr";
      break;
    case paramErr:
      name = "paramErr";
      break;
    case rfNumErr:
      name = "rfNumErr";
      break;
    case memFullErr:
      name = "memFullErr";
      break;
    case dirNFErr:
      name = "dirNFErr";
      break;
    case notAFileErr:
      name = "notAFileErr";
      break;
    case diffVolErr:
      name = "diffVolErr";
      break;
    case errFSNoMoreItems:
      name = "errFSNoMoreItems";
      break;
    case afpAccessDenied:
      name = "afpAccessDenied";
      break;
    default:
      return "OSErr " + std::to_string(code);
  }
  return std::string(name) + " (" + std::to_string(code) + ")";
}

std::string Status::Describe() const {
  std::string text = OSErrName(code_);
  if (sys_ != 0) {
    text += ": ";
    text += std::strerror(sys_);
  }
  return text;
}

}  // namespace files
