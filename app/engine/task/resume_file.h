#pragma once
// The ranges file "downloadInfo" of a download's partial package: the done list
// (download_ranges.h) on disk, so that a download stopped or killed at any point resumes
// where it was.
//
// Format: one line per done range, in list order, location and length in signed decimal
// joined by a comma: "%lld,%lld\n". No header, nothing after the last line feed; an empty
// list is an empty file. A browser bundle imported into the queue writes the one line
// "0,<bytes received>" in the same format.
//
// Writing replaces the whole content from offset 0 and then cuts the file to the written
// length, so an older, longer content never survives behind the new lines.
//
// Reading is the trust boundary: the file may be cut off by a crash, edited by hand, or
// written by a copy of the program that did not keep the list's invariant. Each line must
// be exactly two decimal numbers and a comma (blanks and a carriage return around them are
// tolerated); reading stops at the first line that is not, keeping what came before (the
// lost ranges are only downloaded again). Lines that parse but cannot be done ranges
// (negative location, length 0 or less, an end past 2^63) are skipped; ranges reaching
// past a known file size are cut to it, and those starting at or past it dropped; every
// range then goes through the merge, so overlapping, touching or unsorted lines still give
// a valid done list. A damaged file can thus cost bytes, never mark missing bytes as done
// beyond what its lines claim within the file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/engine/task/download_ranges.h"
#include "platform/files/file_handle.h"
#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"

namespace engine {

inline constexpr const char kRangesFileName[] = "downloadInfo";

// A line never exceeds this: two 64-bit numbers with signs, a comma and a line feed.
inline constexpr std::size_t kMaxRangesLineLength = 42;

// The file's text for a done list.
std::string FormatRangesFile(const RangeList& done);

// Merges the ranges of a ranges file's text into `list` (see the model above). `totalSize`
// is the download's size when known, negative when not. Returns the number of lines taken.
std::size_t ParseRangesFile(std::string_view text, std::int64_t totalSize, RangeList& list);

// Writes the done list to the open ranges file from offset 0 and cuts it to that length.
files::Status WriteRangesFile(const files::FileHandle& file, const RangeList& done);

// Reads the ranges file into `list`. A missing or unreadable file leaves the list as it
// is (the download starts from byte 0) and says why. When the text stops being a list of
// ranges, `damage` (if given) says where and what was left out.
files::Status ReadRangesFile(const files::FileRef& file, std::int64_t totalSize, RangeList& list,
                             std::string* damage = nullptr);

}  // namespace engine
