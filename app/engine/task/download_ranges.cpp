#include "app/engine/task/download_ranges.h"

#include <algorithm>
#include <limits>

#include "platform/values/format.h"

namespace engine {

LongRange LongRangeIntersection(std::int64_t location1, std::int64_t length1, std::int64_t location2,
                                std::int64_t length2) {
  const std::int64_t start = std::max(location1, location2);
  const std::int64_t end = std::min(location1 + length1, location2 + length2);
  if (start <= end) return {start, end - start};
  return {0, 0};
}

std::string DescribeLongRange(const LongRange& range) {
  return values::Format("LongRange location=%lld length=%lld", {range.location, range.length});
}

std::int64_t SumRangeLengths(const RangeList& list) {
  std::int64_t total = 0;
  for (const LongRange& r : list) total += r.length;
  return total;
}

void MergeRangeIntoList(RangeList& list, LongRange r) {
  if (r.length <= 0 || r.location < 0) return;
  if (r.length > std::numeric_limits<std::int64_t>::max() - r.location) return;  // end would overflow
  std::size_t i = 0;
  while (i < list.size()) {
    const LongRange e = list[i];
    if (r.location < e.location) {
      if (e.location > r.End()) {
        list.insert(list.begin() + static_cast<std::ptrdiff_t>(i), r);
        return;
      }
      // e overlaps or touches r from behind: absorb it and look at the next one.
      r.length = std::max(r.End(), e.End()) - r.location;
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (r.location > e.End()) {
      ++i;
      continue;
    }
    if (e.End() >= r.End()) return;  // already covered
    // r starts inside e (or right at its end) and reaches further: e grows into r.
    r = {e.location, r.End() - e.location};
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
  }
  list.push_back(r);
}

void NormalizeRangeList(RangeList& list) {
  std::erase_if(list, [](const LongRange& r) {
    return r.length <= 0 || r.location < 0 ||
           r.length > std::numeric_limits<std::int64_t>::max() - r.location;
  });
  std::sort(list.begin(), list.end(),
            [](const LongRange& a, const LongRange& b) { return a.location < b.location; });
  std::size_t kept = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (kept > 0 && list[i].location <= list[kept - 1].End()) {
      LongRange& last = list[kept - 1];
      last.length = std::max(last.End(), list[i].End()) - last.location;
    } else {
      list[kept++] = list[i];
    }
  }
  list.resize(kept);
}

void MergeStreamProgressIntoRanges(const LongRange& streamRange, std::int64_t bytesWritten, RangeList& done) {
  MergeRangeIntoList(done, {streamRange.location, bytesWritten});
}

void LongRangeListSubtract(RangeList& list, LongRange range) {
  if (range.length == 0) return;
  const std::int64_t cutStart = range.location;
  const std::int64_t cutEnd =
      range.length < 0 ? std::numeric_limits<std::int64_t>::max() : range.location + range.length;
  RangeList out;
  out.reserve(list.size() + 1);
  for (const LongRange& e : list) {
    if (e.End() <= cutStart || e.location >= cutEnd) {
      out.push_back(e);
      continue;
    }
    if (e.location < cutStart) out.push_back({e.location, cutStart - e.location});
    if (e.End() > cutEnd) out.push_back({cutEnd, e.End() - cutEnd});
  }
  list = std::move(out);
}

bool DownloadIsComplete(const RangeList& done, bool failed, std::int64_t totalSize, bool sizeMustBeKnown) {
  if (done.size() != 1 || failed) return false;
  const LongRange& r = done.front();
  if (r.location != 0 || r.length <= 0) return false;
  if (totalSize >= 0) return r.length >= totalSize;
  return !sizeMustBeKnown;
}

RangeList ComputeMissingRanges(const RangeList& done, std::int64_t totalSize) {
  RangeList gaps;
  if (totalSize == 0) return gaps;
  const bool known = totalSize > 0;
  std::int64_t next = 0;
  for (const LongRange& r : done) {
    if (known && r.location >= totalSize) break;
    if (r.location > next) gaps.push_back({next, r.location - next});
    next = std::max(next, r.End());
  }
  if (!known) {
    gaps.push_back({next, kOpenEndLength});
  } else if (next < totalSize) {
    gaps.push_back({next, totalSize - next});
  }
  return gaps;
}

}  // namespace engine
