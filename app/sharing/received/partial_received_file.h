#pragma once
// The partial package of a file a peer is sending to this copy: the folder
// "<user>/<UUID>.partial" inside the received-files folder, holding "fileInfo" (an XML
// property list: "name", "file size", "rfile size", "downloaded bytes", "seconds" and the
// optional Finder metadata) and the received bytes. The transfer is one stream, the
// resource fork first ("rsrc" in the package) and the data fork after it ("data"); once the
// last byte is in, the data file moves into the user's folder under the sender's name
// (made unique) and the package goes.
//
// Safe against the peer: the user name (the authenticated sharing user) and the UUID are
// checked before they become path components, and the sender's file name is reduced to one
// plain component, so nothing it sends can reach outside the received-files folder.
// "fileInfo" is read with a size bound and checked (non-negative sizes, downloaded bytes
// not past the end).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/values/value.h"

namespace sharing {

inline constexpr std::size_t kMaxFileInfoBytes = 64 * 1024;

struct PartialFileInfo {
  std::string name;
  std::int64_t dataSize = 0;
  std::int64_t rsrcSize = 0;
  std::int64_t downloaded = 0;
  double seconds = 0;
  values::Dictionary dictionary;  // everything "fileInfo" holds

  std::int64_t total() const { return dataSize + rsrcSize; }
};

// Reads "fileInfo" bytes: nothing unless they are a dictionary with "file size" and
// "downloaded bytes", sizes not negative and not beyond kMaxReceivedFileSize together.
std::optional<PartialFileInfo> ParsePartialFileInfo(std::string_view bytes);

inline constexpr std::int64_t kMaxReceivedFileSize = std::int64_t{1} << 50;

// A name usable as one folder entry: not empty, not "." or "..", no "/" or NUL.
bool IsPlainPathComponent(std::string_view name);
// The sender's file name as one plain entry of the user's folder (line ends, NUL and "/"
// taken out; "Untitled" when nothing usable is left).
std::string ReceivedFileNameFrom(std::string_view name);

// The package folder; nothing when the user name cannot be a folder name.
std::optional<std::filesystem::path> PartialFolderPath(const std::filesystem::path& receivedFolder,
                                                       const std::string& user, const std::string& uuid);

// Creates the package with its "fileInfo"; false when it exists already or cannot be made.
bool CreatePartialReceivedFile(const std::filesystem::path& receivedFolder, const std::string& user,
                               const std::string& uuid, const std::string& name, std::int64_t dataSize,
                               std::int64_t rsrcSize, const values::Dictionary& metadata);
std::optional<PartialFileInfo> ReadPartialFileInfo(const std::filesystem::path& receivedFolder,
                                                   const std::string& user, const std::string& uuid);
// Rewrites "downloaded bytes" and "seconds" (through a new file renamed over the old one).
bool UpdatePartialFileInfo(const std::filesystem::path& receivedFolder, const std::string& user,
                           const std::string& uuid, const PartialFileInfo& info);

// The file the stream offset `offset` lands in and the offset inside it.
struct ForkPosition {
  bool dataFork = true;
  std::int64_t offset = 0;
};
ForkPosition ForkPositionOf(const PartialFileInfo& info, std::int64_t offset);

// Writes stream bytes from `offset` into the package's two files; false on a write error.
// Bytes past the end of the stream are never written.
class PartialFileWriter {
 public:
  PartialFileWriter(std::filesystem::path package, const PartialFileInfo& info);
  ~PartialFileWriter();
  PartialFileWriter(const PartialFileWriter&) = delete;
  PartialFileWriter& operator=(const PartialFileWriter&) = delete;

  bool Open(std::int64_t offset);
  // How many it took (at most up to the end of the stream); -1 on an error.
  std::int64_t Write(const char* bytes, std::size_t length);
  std::int64_t position() const { return position_; }

 private:
  std::filesystem::path package_;
  std::int64_t rsrcSize_ = 0;
  std::int64_t total_ = 0;
  std::int64_t position_ = 0;
  int data_ = -1;
  int rsrc_ = -1;
};

// Moves the data out of a complete package into the user's folder under the sender's name
// (made unique), sets the dates and mode "fileInfo" holds, keeps a resource fork as the
// extended attribute "user.com.apple.ResourceFork" and deletes the package. The file's new
// path; nothing when the move failed (the package then stays as it is).
std::optional<std::filesystem::path> CompletePartialReceivedFile(const std::filesystem::path& receivedFolder,
                                                                 const std::string& user,
                                                                 const std::string& uuid,
                                                                 const PartialFileInfo& info);

}  // namespace sharing
