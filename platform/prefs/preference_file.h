#pragma once
// The file side of a preference domain: one property-list file, replaced whole.
//
// Writers never modify a domain file in place: they write a temporary file in the same
// folder, flush it to disk, rename it over the old one and flush the folder, so a reader
// (in this process or another) sees either the old file or the new one, never a mix,
// even after a crash. Processes that share a domain (the application and its plug-ins)
// take an exclusive lock on a hidden lock file beside it for each read-merge-write, so
// two synchronisations never lose each other's changes.
//
// A file is known by its identity (device, inode, size, modification time): every
// replacement is a new inode, so a changed identity means someone else wrote the domain.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "platform/values/value.h"

namespace prefs {

struct FileIdentity {
  bool exists = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const std::string& path);

// What reading a domain file found.
struct DomainFile {
  enum class State : std::uint8_t {
    kMissing,     // no file: an empty domain
    kRead,        // `values` holds the file's dictionary
    kUnreadable,  // malformed content (or not a dictionary); moved aside to `movedTo`
    kFailed,      // the file exists but could not be read (permissions, I/O), or was
                  // malformed and could not be moved aside: it must not be replaced
  };
  State state = State::kMissing;
  values::Dictionary values;
  FileIdentity identity;  // of the file that was read (none once moved aside)
  std::string error;      // why it was unreadable or failed
  std::string movedTo;    // where an unreadable file now is
};

// Reads `path`. A malformed file is renamed to "<path>.unreadable-<UTC time>" (with a
// counter when that exists) so that it is never overwritten; call with the domain's lock
// held.
DomainFile ReadDomainFile(const std::string& path);

// Replaces `path` with `bytes` as described above; the new file has mode 0600 (domains
// may hold keys and passwords). Creates missing folders with mode 0700. Returns an
// error message, empty on success.
std::string WriteFileAtomically(const std::string& path, std::string_view bytes);

// Creates `path` and its missing parents with mode 0700. Returns an error message.
std::string MakeFolders(const std::string& path);

// An exclusive advisory lock on a lock file, held for the object's lifetime.
class FileLock {
 public:
  explicit FileLock(const std::string& lockPath);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool locked() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string error_;
};

}  // namespace prefs
