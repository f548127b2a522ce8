#pragma once
// The entries of one folder listing, read as the LIST data arrives.
//
// Bytes come in pieces of any size. The reader keeps only the unparsed rest of the last
// line between pieces, so a line split across two reads is parsed once, when its end has
// arrived; at the end of the data a last line without a line break still counts. A line
// no listing could hold (longer than engine::kFTPListingMaxLine) is dropped up to its line
// break, and so is the rest kept when it grows past that length without one, so a server
// that sends no line breaks cannot grow the buffer without bound.
//
// Only entries a folder tree can hold come out: folders, files and symbolic links with a
// name that is not ".", "..", and has no "/" or line break in it (a server's name must not
// walk out of the folder it is listed in, on the server or in a local download).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/engine/ftp/ftp_resource_listing.h"

namespace browser {

class FTPListingReader {
 public:
  using EntryFunction = std::function<void(engine::FTPResource&&)>;

  explicit FTPListingReader(std::int64_t nowUnix);
  FTPListingReader();

  // Parses every complete line of what has arrived so far.
  void Feed(std::string_view bytes, const EntryFunction& entry);
  // The end of the data: the rest is the last line.
  void Finish(const EntryFunction& entry);
  // Bytes kept for the next piece.
  std::size_t Pending() const { return spare_.size() - offset_; }

  // Whether an entry of this name and type belongs in a folder tree.
  static bool Acceptable(const engine::FTPResource& resource);

 private:
  void Parse(bool atEnd, const EntryFunction& entry);

  std::int64_t now_;
  std::string spare_;
  std::size_t offset_ = 0;  // bytes of spare_ already used
};

}  // namespace browser
