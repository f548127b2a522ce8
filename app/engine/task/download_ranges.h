#pragma once
// Byte ranges of a download and the sorted list of ranges already written.
//
// A download's data file is filled by several connections in any order. Each finished
// piece of work is a `LongRange` {location, length} in bytes; the "done list" holds all
// of them and is what tells the scheduler which gaps are left, the main thread how far
// the download is, and the ranges file (resume_file.h) where to resume.
//
// Invariant of a done list, kept by `MergeRangeIntoList`: sorted by location, every
// length above 0, no two ranges overlap or touch (touching ranges are joined). Every
// function here that takes a done list keeps it; callers that build one by hand must
// build it through the merge.
//
// A length of -1 (`kOpenEndLength`) means "to the end of the file, whatever its size";
// it appears in requests and gaps, never in a done list.

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

inline constexpr std::int64_t kOpenEndLength = -1;

struct LongRange {
  std::int64_t location = 0;
  std::int64_t length = 0;

  // One past the last byte. Only meaningful for a closed range (length >= 0).
  std::int64_t End() const { return location + length; }
  bool operator==(const LongRange&) const = default;
};

using RangeList = std::vector<LongRange>;

inline LongRange LongRangeMake(std::int64_t location, std::int64_t length) {
  return {location, length};
}

// The common part of two closed ranges: {start, end - start} with start the larger
// location and end the smaller end; length 0 when they only touch, {0, 0} when they do
// not meet at all.
LongRange LongRangeIntersection(std::int64_t location1, std::int64_t length1, std::int64_t location2,
                                std::int64_t length2);

// "LongRange location=%lld length=%lld", for logs and test failures.
std::string DescribeLongRange(const LongRange& range);

// The bytes a done list covers (the bytes received).
std::int64_t SumRangeLengths(const RangeList& list);

// Adds the written range `range` to the done list, joining it with every range it
// overlaps or touches. Ranges of length 0 or less, or with a negative location, are not
// written bytes and leave the list unchanged.
void MergeRangeIntoList(RangeList& list, LongRange range);

// Makes any list of ranges a done list at once: ranges that are not written bytes (as
// for the merge) dropped, the rest sorted and every overlapping or touching run joined.
// The same list as merging the ranges one by one, in O(n log n) rather than O(n^2), for
// lists read from outside (the ranges file) that may be long and in any order.
void NormalizeRangeList(RangeList& list);

// What one connection has written so far: the piece of its range from its start,
// `bytesWritten` long, merged into the done list. Every reader of the done list merges
// the running connections' progress first, so the list is never behind the file.
void MergeStreamProgressIntoRanges(const LongRange& streamRange, std::int64_t bytesWritten, RangeList& done);

// Removes the bytes of `range` from every range of the list: ranges wholly inside are
// dropped, ranges overlapping one end are shortened, a range containing it is split in
// two. Used when a server turns out to have sent wrong bytes, so they count as missing
// again. An open-ended `range` removes everything from its location on.
void LongRangeListSubtract(RangeList& list, LongRange range);

// The download holds every byte: exactly one range, starting at 0, longer than 0, no
// error; and either the size is known (>= 0) and the range is at least that long, or the
// size is unknown (< 0) and the caller does not insist on knowing it.
bool DownloadIsComplete(const RangeList& done, bool failed, std::int64_t totalSize, bool sizeMustBeKnown);

// The gaps of a done list within [0, totalSize): the ranges not yet received, sorted.
// With an unknown size (< 0) the last gap is open-ended ({end of the last range, -1}).
// A size of 0 has no gaps.
RangeList ComputeMissingRanges(const RangeList& done, std::int64_t totalSize);

}  // namespace engine
