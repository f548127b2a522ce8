// The scheduler of a download's connections: splitting the missing bytes, ending
// connections and what follows each ending, and writing received bytes.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "app/engine/limits/limit_settings.h"
#include "app/engine/task/download_run.h"
#include "app/engine/urls/mirror_lists.h"
#include "app/engine/urls/url_entries.h"
#include "app/engine/urls/url_list.h"
#include "platform/values/format.h"

namespace engine {

namespace {

constexpr std::int64_t kMinimumReserve = 32768;
constexpr std::int64_t kBalancedSplitMinimumGap = 131072;
constexpr std::int64_t kSmallestSplitPiece = 262144;
constexpr std::int64_t kNeighbourWindow = 24576;

void SetEntryFlag(values::Value& entry, const char* key) {
  if (auto* d = entry.AsDictionary()) (*d)[key] = true;
}

bool AllSameByte(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [&](std::uint8_t b) { return b == bytes.front(); });
}

}  // namespace

void DownloadRun::MergeProgress() {
  for (const auto& s : connections_) MergeStreamProgressIntoRanges(s->range, s->bytesDone, done_);
}

std::vector<std::int64_t> DownloadRun::CopyStreamResumeOffsets(std::int64_t add) const {
  std::vector<std::int64_t> offsets;
  offsets.reserve(connections_.size());
  for (const auto& s : connections_) offsets.push_back(s->writeOffset + add);
  return offsets;
}

bool DownloadRun::IsComplete(bool sizeMustBeKnown) const {
  // An empty file holds no range, yet is complete once a clean end of its body has made
  // its size known as 0.
  if (IsCompleteEmptyFile()) return true;
  return DownloadIsComplete(done_, failed_, facts_.sizeKnown ? facts_.totalSize : -1, sizeMustBeKnown);
}

bool DownloadRun::IsCompleteEmptyFile() const {
  return !failed_ && facts_.sizeKnown && facts_.totalSize == 0;
}

std::size_t DownloadRun::PickURLEntry() {
  auto& entries = urlEntries();
  if (entries.size() <= 1) return 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!EntryIsRestartable(entries[i])) continue;
    const bool used = std::any_of(connections_.begin(), connections_.end(),
                                  [&](const auto& s) { return s->IsOpen() && s->entryIndex == i; });
    if (!used) return i;
  }
  std::vector<std::size_t> restartable;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (EntryIsRestartable(entries[i])) restartable.push_back(i);
  }
  // Drawing until one fits would never end without a restartable mirror.
  if (restartable.empty()) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (EntryIsUsable(entries[i])) return i;
    }
    return 0;
  }
  return restartable[static_cast<std::size_t>(std::rand()) % restartable.size()];
}

RangeList DownloadRun::ComputeUnfinishedRanges(std::int64_t reserve) {
  MergeProgress();
  RangeList gaps;
  std::int64_t cursor = 0;
  std::size_t i = 0;
  if (!done_.empty() && done_[0].location == 0) {
    cursor = done_[0].End();
    i = 1;
  }
  for (; i < done_.size(); ++i) {
    if (done_[i].location > cursor) gaps.push_back({cursor, done_[i].location - cursor});
    cursor = std::max(cursor, done_[i].End());
  }
  if (facts_.sizeKnown && facts_.totalSize > cursor) gaps.push_back({cursor, facts_.totalSize - cursor});
  if (connections_.empty()) {
    for (auto& g : gaps) g.location = -g.location;
    return gaps;
  }
  RangeList out;
  for (LongRange g : gaps) {
    const bool owned = std::any_of(connections_.begin(), connections_.end(),
                                   [&](const auto& s) { return s->writeOffset == g.location; });
    if (owned) {
      if (g.length <= 2 * reserve) continue;  // the connection finishes it
      g.location += reserve;
      g.length -= reserve;
    } else {
      g.location = -g.location;  // free; turned back before use
    }
    out.push_back(g);
  }
  return out;
}

void DownloadRun::SetRangeWithRule(DownloadStream& s, LongRange newRange) {
  // A connection from 0 has not asked for a range; its new end is held until its
  // transport has the server's answer, unless the new range is the whole file anyway.
  if (s.range.location != 0 || newRange.length == kOpenEndLength ||
      (facts_.sizeKnown && newRange.length == facts_.totalSize)) {
    s.range = newRange;
    s.pendingRangeSet = false;
  } else {
    s.pendingRange = newRange;
    s.pendingRangeSet = true;
  }
}

void DownloadRun::ApplyPendingRanges() {
  for (const auto& s : connections_) {
    if (!s->pendingRangeSet) continue;
    s->range = s->pendingRange;
    s->pendingRangeSet = false;
  }
}

bool DownloadRun::AddAndOpen(std::unique_ptr<DownloadStream> stream) {
  DownloadStream* raw = stream.get();
  connections_.push_back(std::move(stream));
  if (raw->Open()) return true;
  lastOpenError_ = raw->error;
  lastOpenErrorText_ = raw->errorText;
  if (!raw->errorText.empty()) Log("\r" + raw->errorText + "\r");
  // Never opened, so no transport callback is on the stack: freed at once.
  std::erase_if(connections_, [&](const auto& s) { return s.get() == raw; });
  return false;
}

bool DownloadRun::OpenNewStream(std::size_t entryIndex, LongRange range, bool needsValidation, bool sole) {
  if (ended_) return false;
  auto s = std::make_unique<DownloadStream>(*this, entryIndex, range);
  s->serverSize = facts_.sizeKnown ? facts_.totalSize : -1;
  s->needsValidation = needsValidation;
  s->soleConnection = sole || EntryFlag(urlEntries()[entryIndex], kEntryNoRestarts);
  s->timeout = s->soleConnection ? kSoleConnectionTimeout : kConnectionTimeout;
  return AddAndOpen(std::move(s));
}

void DownloadRun::ArmEmptyCheck() {
  if (!loop_ || ended_) return;
  if (!emptyCheckTimer_) {
    emptyCheckTimer_ =
        runtime::Timer::Create(runtime::kForever, runtime::Nanoseconds(0), [this](runtime::Timer&) {
          if (facts_.openConnections == 0) SpawnMoreStreams();
        });
    loop_->AddTimer(emptyCheckTimer_);
  }
  emptyCheckTimer_->SetNextFireIn(
      std::chrono::duration_cast<runtime::Nanoseconds>(std::chrono::duration<double>(kEmptyCheckDelay)));
}

void DownloadRun::SpawnAfter(double seconds) {
  if (!loop_ || ended_) return;
  // Fired one-shot timers stay on the loop until removed: drop them here.
  std::erase_if(oneShots_, [&](const auto& t) {
    if (t->NextFireDate() != runtime::kForever) return false;
    t->Invalidate();
    return true;
  });
  auto timer = runtime::Timer::Create(
      std::chrono::duration_cast<runtime::Nanoseconds>(std::chrono::duration<double>(seconds)),
      runtime::Nanoseconds(0), [this](runtime::Timer&) { SpawnMoreStreams(); });
  loop_->AddTimer(timer);
  oneShots_.push_back(std::move(timer));
}

std::size_t DownloadRun::FirstUsableEntry() {
  auto& entries = urlEntries();
  std::size_t first = 0;
  while (first + 1 < entries.size() && !EntryIsUsable(entries[first])) ++first;
  return first;
}

std::int64_t DownloadRun::ReserveAhead(std::int32_t open) const {
  if (open <= 0) return 0;
  if (rate_ < 1) return kMinimumReserve;
  return std::max<std::int64_t>(kMinimumReserve, static_cast<std::int64_t>(rate_ * 1024.0 / open * 8.0));
}

void DownloadRun::SpawnWithoutRestarts(std::size_t firstUsable, std::int32_t open) {
  // A mirror that cannot resume is fetched by one connection from 0, and only when none
  // runs.
  if (open > 0) {
    ArmEmptyCheck();
    return;
  }
  done_.clear();
  firstBytes_.reset();
  if (!OpenNewStream(firstUsable, {0, kOpenEndLength}, true)) ArmEmptyCheck();
}

DownloadRun::GapAssignment DownloadRun::MarkWorkedGaps(const RangeList& gaps, std::int64_t reserve) const {
  GapAssignment plan{std::vector<std::int32_t>(gaps.size(), 0), std::vector<bool>(gaps.size(), false)};
  for (std::size_t i = 0; i < gaps.size(); ++i) {
    if (gaps[i].location <= 0) continue;
    const bool running = std::any_of(connections_.begin(), connections_.end(), [&](const auto& s) {
      return gaps[i].location >= s->writeOffset + reserve && gaps[i].location <= s->writeOffset + 2 * reserve;
    });
    if (running) {
      plan.assigned[i] = 1;
      plan.worked[i] = true;
    }
  }
  return plan;
}

void DownloadRun::AssignBalanced(const RangeList& gaps, GapAssignment& plan, std::int32_t toAdd,
                                 std::int32_t open) {
  const std::size_t n = gaps.size();
  for (std::int32_t k = 0; k < toAdd; ++k) {
    std::ptrdiff_t chosen = -1;
    std::int64_t bestPiece = 0;
    // A free gap first: it costs no running connection anything.
    for (std::size_t i = 0; i < n; ++i) {
      if (gaps[i].location <= 0 && plan.assigned[i] == 0) {
        chosen = static_cast<std::ptrdiff_t>(i);
        bestPiece = gaps[i].length;
        break;
      }
    }
    if (chosen < 0) {
      // Otherwise the gap whose split keeps the smallest piece of all the largest.
      std::int64_t bestSmallest = -1;
      for (std::size_t i = 0; i < n; ++i) {
        std::int64_t smallest = std::numeric_limits<std::int64_t>::max();
        for (std::size_t j = 0; j < n; ++j) {
          const std::int32_t a = j == i ? plan.assigned[j] + 1 : plan.assigned[j];
          if (a == 0) continue;
          smallest = std::min(smallest, gaps[j].length / a);
        }
        if (smallest > bestSmallest) {
          bestSmallest = smallest;
          chosen = static_cast<std::ptrdiff_t>(i);
        }
      }
      if (chosen < 0) {
        Log("\rWarning, unexpected empty set in SpawnMoreStreams\r");
        break;
      }
      bestPiece = gaps[chosen].length / (plan.assigned[chosen] + 1);
    }
    // Splitting what a connection is already fetching only pays for large pieces.
    if (plan.worked[chosen] && open > 0 &&
        (bestPiece < kSmallestSplitPiece || (rate_ > 4 && rate_ * 15 > static_cast<float>(bestPiece)))) {
      break;
    }
    ++plan.assigned[chosen];
  }
}

void DownloadRun::AssignToFreeGaps(GapAssignment& plan, std::int32_t toAdd) {
  std::int32_t given = 0;
  for (std::size_t i = 0; i < plan.assigned.size() && given < toAdd; ++i) {
    if (plan.assigned[i] != 0) continue;
    plan.assigned[i] = 1;
    ++given;
  }
}

DownloadStream* DownloadRun::StreamReaching(std::int64_t location, std::int64_t reserve) const {
  for (const auto& s : connections_) {
    if (s->writeOffset + reserve == location) return s.get();
  }
  return nullptr;
}

std::vector<LongRange> DownloadRun::CutPieces(const RangeList& gaps, const GapAssignment& plan,
                                              std::int64_t reserve) {
  std::vector<LongRange> pieces;
  for (std::size_t i = 0; i < gaps.size(); ++i) {
    const std::int32_t count = plan.assigned[i];
    if (count == 0) continue;
    const LongRange g{std::llabs(gaps[i].location), gaps[i].length};
    DownloadStream* runner = plan.worked[i] ? StreamReaching(g.location, reserve) : nullptr;
    if (plan.worked[i] && count == 1) {
      // A connection running into bytes that are already on disk (a resumed download's
      // open-ended first connection) stops at the end of its gap instead of fetching
      // them again.
      if (runner) {
        const std::int64_t length = reserve + runner->bytesDone + g.length;
        if (runner->range.length == kOpenEndLength || runner->range.length > length) {
          SetRangeWithRule(*runner, {runner->range.location, length});
        }
      }
      continue;
    }
    const std::int64_t piece = g.length / count;
    const std::int64_t first = g.length - piece * (count - 1);
    std::int64_t at = g.location;
    if (plan.worked[i]) {
      if (runner) SetRangeWithRule(*runner, {runner->range.location, reserve + runner->bytesDone + first});
    } else {
      pieces.push_back({at, first});
    }
    at += first;
    for (std::int32_t k = 1; k < count; ++k) {
      pieces.push_back({at, piece});
      at += piece;
    }
  }
  return pieces;
}

void DownloadRun::SpawnMoreStreams() {
  if (ended_ || waitingForUser_) return;
  auto& entries = urlEntries();
  if (CountUsableEntries(entries) == 0) return;
  const std::int32_t open = facts_.openConnections;
  const std::int32_t toAdd = facts_.wantedConnections - open;
  if (toAdd <= 0) return;
  const std::size_t firstUsable = FirstUsableEntry();
  const bool restartable = CountRestartableEntries(entries) > 0;

  if (open == 0 && !facts_.sizeKnown) {
    // Nothing can be split before the size is known: one connection from the first gap.
    LongRange r{0, kOpenEndLength};
    if (restartable && !done_.empty() && done_[0].location == 0) r.location = done_[0].length;
    if (!OpenNewStream(firstUsable, r, true)) ArmEmptyCheck();
    return;
  }
  if (!restartable) {
    SpawnWithoutRestarts(firstUsable, open);
    return;
  }

  const std::int64_t reserve = ReserveAhead(open);
  const RangeList gaps = ComputeUnfinishedRanges(reserve);
  if (gaps.empty()) return;
  GapAssignment plan = MarkWorkedGaps(gaps, reserve);
  if (open > 0 && gaps[0].length >= kBalancedSplitMinimumGap) {
    AssignBalanced(gaps, plan, toAdd, open);
  } else {
    AssignToFreeGaps(plan, toAdd);
  }
  for (const LongRange& p : CutPieces(gaps, plan, reserve)) {
    const std::size_t entry = PickURLEntry();
    OpenNewStream(entry, p, !EntryFlag(urlEntries()[entry], kEntryValidated));
  }
  ArmEmptyCheck();
}

void DownloadRun::Remove(DownloadStream& stream) {
  stream.Close();
  auto it = std::find_if(connections_.begin(), connections_.end(),
                         [&](const auto& s) { return s.get() == &stream; });
  if (it == connections_.end()) return;
  graveyard_.push_back(std::move(*it));
  connections_.erase(it);
  if (!graveyardSweepQueued_ && loop_) {
    graveyardSweepQueued_ = true;
    std::weak_ptr<bool> alive = alive_;
    loop_->Perform([this, alive] {
      if (alive.expired()) return;
      graveyardSweepQueued_ = false;
      graveyard_.clear();
    });
  }
}

void DownloadRun::GiveBackHostCount(const DownloadStream& s) {
  const auto host = s.URL().Host();
  if (!host) return;
  auto it = input_->hostCounts.find(*host);
  if (it == input_->hostCounts.end()) return;
  GetHostCounts().Release({{*host, 1}});
  if (--it->second <= 0) input_->hostCounts.erase(it);
}

void DownloadRun::GiveBackAllHostCounts() {
  GetHostCounts().Release(input_->hostCounts);
  input_->hostCounts.clear();
}

void DownloadRun::FailWith(const DownloadStream& s) {
  failed_ = true;
  error_ = s.error;
  failureError_ = s.error;
  errorMessage_ = s.errorText;
  QuitLoop();
}

void DownloadRun::HandRestToNeighbour(DownloadStream& failed) {
  for (const auto& s : connections_) {
    if (s.get() == &failed || s->range.location <= 0 || s->range.length == kOpenEndLength) continue;
    const std::int64_t end = s->range.End();
    if (end > failed.writeOffset || failed.writeOffset - end > kNeighbourWindow) continue;
    const std::int64_t newEnd = failed.range.length == kOpenEndLength ? -1 : failed.range.End();
    SetRangeWithRule(*s, {s->range.location, newEnd < 0 ? kOpenEndLength : newEnd - s->range.location});
    return;
  }
}

void DownloadRun::RestartFromScratch(DownloadStream& stream) {
  auto& entries = urlEntries();
  std::size_t entry = stream.entryIndex;
  if (!EntryIsUsable(entries[entry])) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (EntryIsUsable(entries[i])) {
        entry = i;
        break;
      }
    }
  }
  Remove(stream);
  done_.clear();
  firstBytes_.reset();
  if (!OpenNewStream(entry, {0, kOpenEndLength}, false, true)) SpawnAfter(kRestartRetryDelay);
}

bool DownloadRun::KeepAsWholeFile(DownloadStream& s) {
  SetEntryFlag(s.Entry(), kEntryNoRestarts);
  DownloadStream* lowest = nullptr;
  for (const auto& c : connections_) {
    if (!lowest || c->range.location < lowest->range.location) lowest = c.get();
  }
  const LongRange whole{0, facts_.sizeKnown ? facts_.totalSize : kOpenEndLength};
  if (lowest && lowest != &s && lowest->range.location < s.range.location) {
    // A connection nearer the start takes the whole file over.
    if (lowest->range.location == 0) SetRangeWithRule(*lowest, whole);
    Remove(s);
    return true;
  }
  if (urlEntries().size() == 1) {
    s.writeOffset = 0;
    if (s.range.location != 0) {
      s.bytesDone = 0;
      done_.clear();
    }
    s.range = whole;
    s.pendingRangeSet = false;
    s.headChecked = true;
    s.soleConnection = true;
    s.timeout = kSoleConnectionTimeout;
    return false;
  }
  Remove(s);
  if (facts_.openConnections == 0) SpawnMoreStreams();
  return true;
}

bool DownloadRun::EndedWithoutError(DownloadStream& s, std::uint32_t flags) {
  if ((flags & kStreamDone) && !facts_.sizeKnown && s.range.length == kOpenEndLength) {
    // The end of an open-ended body is the end of the file.
    facts_.sizeKnown = true;
    facts_.totalSize = s.writeOffset;
  }
  Remove(s);
  if (flags & kStreamDone) {
    if (facts_.openConnections == 0 && IsComplete(true)) {
      QuitLoop();
    } else {
      SpawnMoreStreams();
    }
  }
  return true;
}

std::uint32_t DownloadRun::CountPlainFailure(const DownloadStream& s, std::uint32_t flags) {
  constexpr std::uint32_t kNotPlain = kStreamFatal | kStreamWholeFile | kStreamUnknownRoot |
                                      kStreamCertChanged | kStreamNeedsAuth | kStreamRestartAll |
                                      kStreamAbortAll;
  if (flags & kNotPlain) return flags;
  // A plain failure: bounded per mirror, counted until the mirror writes again.
  if (++retries_[s.entryIndex] > kMaxRetriesWithoutProgress) {
    Log(values::Format("\rGiving up on this server after %d failed attempts\r",
                       {static_cast<std::int64_t>(kMaxRetriesWithoutProgress)}));
    flags |= kStreamFatal;
  }
  return flags;
}

bool DownloadRun::EndedFatally(DownloadStream& s) {
  auto& entries = urlEntries();
  SetEntryFlag(s.Entry(), kEntryFatalError);
  GiveBackHostCount(s);
  if (CountEntriesWithoutFatalError(entries) == 0) {
    // The last mirror: the download fails once nothing else runs.
    if (facts_.openConnections == 0) FailWith(s);
    HandRestToNeighbour(s);
    Remove(s);
  } else if (CountRestartableEntries(entries) > 0) {
    Remove(s);
    SpawnMoreStreams();
  } else if (facts_.openConnections > 0) {
    HandRestToNeighbour(s);
    Remove(s);
  } else {
    RestartFromScratch(s);
  }
  return true;
}

std::uint32_t DownloadRun::QuestionFor(std::uint32_t flags) {
  if (flags & kStreamUnknownRoot) return kDownloadEventUnknownRoot;
  if (flags & kStreamCertChanged) return kDownloadEventCertificateQuestion;
  if (flags & kStreamNeedsAuth) return kDownloadEventAuthRequired;
  return 0;
}

bool DownloadRun::AskUser(DownloadStream& s, std::uint32_t question) {
  PostQuestion(question, s);
  waitingForUser_ = true;
  pendingQuestionKind_ = question;
  pendingQuestionError_ = s.error;
  pendingQuestionURL_ = s.URL();
  pauseStart_ = Now();
  // The connection is gone while the question is out, so its silence limit no longer
  // applies: the question has one of its own, and an unanswered one ends the download.
  if (loop_ && !ended_) {
    if (questionTimer_) questionTimer_->Invalidate();
    questionTimer_ =
        runtime::Timer::Create(std::chrono::duration_cast<runtime::Nanoseconds>(
                                   std::chrono::duration<double>(options_.questionTimeout)),
                               runtime::Nanoseconds(0), [this](runtime::Timer&) { QuestionTimedOut(); });
    loop_->AddTimer(questionTimer_);
  }
  Remove(s);
  return true;
}

bool DownloadRun::EndAllConnections(DownloadStream& s, std::uint32_t flags) {
  std::vector<DownloadStream*> others;
  for (const auto& c : connections_) {
    if (c.get() != &s) others.push_back(c.get());
  }
  for (DownloadStream* c : others) StreamEnded(*c, kStreamStopped);
  Remove(s);
  if (flags & kStreamRestartAll) {
    done_.clear();
    firstBytes_.reset();
    SpawnMoreStreams();
    return true;
  }
  failed_ = true;
  error_ = s.error;
  failureError_ = s.error;
  if (error_.domain == net::ErrorDomain::kHttp && error_.code != 401) {
    error_ = {static_cast<net::ErrorDomain>(kAbortedDownloadDomain), 1};
  }
  errorMessage_ = s.errorText;
  QuitLoop();
  return true;
}

double DownloadRun::RetryDelayFor(std::uint32_t flags) {
  if (flags & kStreamRetryLate) return kRetryLateDelay;
  if (flags & kStreamRetrySoon) return kRetrySoonDelay;
  return kRetryDelay;
}

bool DownloadRun::RetryLater(DownloadStream& s, std::uint32_t flags) {
  if (CountEntriesWithoutFatalError(urlEntries()) > 0) {
    const double delay = RetryDelayFor(flags);
    // In the download's own log, so whoever watches the download (its window, a script)
    // learns that it waits, for how long and why.
    const std::string reason = s.errorText.empty() ? net::DescribeError(s.error) : s.errorText;
    Log(values::Format("\r%@, retrying in %d s\r", {reason, static_cast<std::int64_t>(delay)}));
    SpawnAfter(delay);
  } else {
    FailWith(s);
  }
  Remove(s);
  return true;
}

bool DownloadRun::ServerIgnoresRanges(DownloadStream& s) {
  SetEntryFlag(s.Entry(), kEntryNoRestarts);
  if (CountRestartableEntries(urlEntries()) > 0) {
    Remove(s);
    SpawnMoreStreams();
  } else if (facts_.openConnections > 0) {
    // The connection from 0 fetches the rest of the file.
    for (const auto& c : connections_) {
      if (c.get() != &s && c->range.location == 0) {
        SetRangeWithRule(*c, {0, kOpenEndLength});
        break;
      }
    }
    Remove(s);
  } else {
    RestartFromScratch(s);
  }
  return true;
}

bool DownloadRun::StreamEnded(DownloadStream& s, std::uint32_t flags) {
  MergeProgress();
  if ((flags & kStreamWholeFile) && (flags & kStreamKeepAsWhole)) return KeepAsWholeFile(s);
  if ((flags & kStreamWholeFile) && s.range.location == 0) {
    // "Sends the whole file" only means something for a connection that asked for an
    // offset. One from 0 is what a restart for the whole file opens: starting it again at
    // once would ask the same server the same thing in a tight loop. It is retried later
    // like any failure, and counted.
    flags &= ~kStreamWholeFile;
  }
  s.Close();
  if (!(flags & kStreamError)) return EndedWithoutError(s, flags);
  flags = CountPlainFailure(s, flags);
  if (flags & kStreamFatal) return EndedFatally(s);
  if (flags & kStreamWholeFile) return ServerIgnoresRanges(s);
  if (const std::uint32_t question = QuestionFor(flags)) return AskUser(s, question);
  if (flags & (kStreamRestartAll | kStreamAbortAll)) return EndAllConnections(s, flags);
  return RetryLater(s, flags);
}

bool DownloadRun::WriteCore(DownloadStream& s, std::span<const std::uint8_t> bytes) {
  return WriteCore(s, bytes.size(), [this, bytes](std::uint64_t offset, std::size_t count) {
    return dataFork_.WriteAt(offset, bytes.first(count));
  });
}

bool DownloadRun::WriteCore(DownloadStream& s, std::size_t available, const RangeWriter& write) {
  if (s.pendingRangeSet) {
    s.range = s.pendingRange;
    s.pendingRangeSet = false;
  }
  bool finish = false;
  std::size_t n = available;
  if (s.range.length > 0) {
    const std::int64_t left = s.range.length - s.bytesDone;
    if (left <= 0) {
      StreamEnded(s, kStreamDone);
      return false;
    }
    if (static_cast<std::int64_t>(n) >= left) {
      n = static_cast<std::size_t>(left);
      finish = true;
    }
  }
  if (n > 0) {
    const files::Status st = write(static_cast<std::uint64_t>(s.writeOffset), n);
    if (!st.ok()) {
      // A full disk or a failing one does not get better by asking the server again.
      const std::string text = st.code() == files::dskFulErr
                                   ? std::string("The disk is full: the download file could not be written.")
                                   : values::Format("The download file could not be written. Error %d.",
                                                    {static_cast<std::int64_t>(st.code())});
      s.SetError({net::ErrorDomain::kMacOsStatus, st.code()}, text);
      StreamEnded(s, kStreamError | kStreamAbortAll);
      return false;
    }
    s.writeOffset += static_cast<std::int64_t>(n);
    s.bytesDone += static_cast<std::int64_t>(n);
    s.wroteData = true;
    retries_.erase(s.entryIndex);
  }
  if (finish) {
    StreamEnded(s, kStreamDone);
    return false;
  }
  return true;
}

std::optional<DownloadConnection::PipeTarget> DownloadRun::SplicePipeFor(DownloadStream& s) {
  if (!s.IsOpen() || ended_ || spliceRefused_ || s.pipeUnavailable) return std::nullopt;
  // The resume check compares the first bytes, which it must hold in memory.
  if (!s.headChecked && s.transportWantsResumeCheck()) return std::nullopt;
  // Under a limit every read waits for its grant: that path stays the one that reads.
  if (IsBandwidthLimitOn(TransferDirection::kDownload) && LimiterQueue(TransferDirection::kDownload) != 0)
    return std::nullopt;
  if (s.pendingRangeSet) {
    s.range = s.pendingRange;
    s.pendingRangeSet = false;
  }
  if (!s.pipe) {
    s.pipe = files::SplicePipe::Create();
    if (!s.pipe) {
      s.pipeUnavailable = true;
      return std::nullopt;
    }
  }
  std::size_t size = s.pipe->Capacity();
  if (s.range.length > 0) {
    // Never a byte past the range: what follows it is another connection's.
    const std::int64_t left = s.range.length - s.bytesDone;
    if (left <= 0) return std::nullopt;
    size = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(size)));
  }
  return DownloadConnection::PipeTarget{s.pipe->WriteDescriptor(), size};
}

files::Status DownloadRun::WriteFromPipe(DownloadStream& s, std::uint64_t offset, std::size_t count) {
  files::SplicePipe& pipe = *s.pipe;
  const std::size_t before = pipe.Held();
  files::Status st = pipe.MoveToFile(dataFork_, offset, count);
  if (!st.ok() && st.sys_errno() == EINVAL) {
    // This file system takes no spliced bytes: the rest goes through memory, and every
    // later read of this download reads the ordinary way.
    spliceRefused_ = true;
    std::size_t moved = before - pipe.Held();
    st = files::Status();
    while (moved < count && st.ok()) {
      const std::span<std::uint8_t> buffer = s.ReadBuffer();
      const auto got = pipe.ReadOut(buffer.first(std::min(buffer.size(), count - moved)));
      if (!got.ok()) {
        st = got.status();
      } else if (*got == 0) {
        st = files::Status(files::ioErr, EIO);
      } else {
        st = dataFork_.WriteAt(offset + moved, buffer.first(*got));
        moved += *got;
      }
    }
  }
  // Bytes past the range's end (or left by a failure) belong to no write.
  if (pipe.Held() > 0) pipe.Discard();
  return st;
}

bool DownloadRun::WriteSplicedData(DownloadStream& s, std::size_t count) {
  if (!s.pipe) return false;
  s.pipe->NoteFilled(count);
  if (!s.IsOpen() || ended_) {
    s.pipe->Discard();
    return false;
  }
  s.lastActivity = Now();
  const bool goOn = WriteCore(
      s, count, [this, &s](std::uint64_t offset, std::size_t n) { return WriteFromPipe(s, offset, n); });
  // An ended stream stays alive until its callback returns; its pipe must not carry bytes
  // into anything.
  if (s.pipe && s.pipe->Held() > 0) s.pipe->Discard();
  return goOn;
}

bool DownloadRun::ResumeCheck(DownloadStream& s, std::span<const std::uint8_t>& bytes, bool& goOn) {
  goOn = true;
  const std::size_t take = std::min(kFirstBytesLength - s.headCount, bytes.size());
  std::copy_n(bytes.begin(), take, s.headBuffer.begin() + static_cast<std::ptrdiff_t>(s.headCount));
  s.headCount += take;
  if (s.headCount < kFirstBytesLength) return false;
  s.headChecked = true;
  const std::span<const std::uint8_t> head(s.headBuffer.data(), kFirstBytesLength);
  if (s.range.location == 0) {
    if (!firstBytes_) firstBytes_.emplace(head.begin(), head.end());
    return false;
  }
  if (firstBytes_ && firstBytes_->size() >= kFirstBytesLength &&
      std::equal(head.begin(), head.end(), firstBytes_->begin()) && !AllSameByte(head)) {
    Log("\rServer resume error detected, switching to compatibility mode\r");
    const std::int64_t before = s.bytesDone;
    // Nothing this connection wrote is what it claimed; keep the merge from adding it back.
    s.bytesDone = 0;
    s.writeOffset = s.range.location;
    LongRangeListSubtract(done_, {s.range.location, before});
    if (StreamEnded(s, kStreamWholeFile | kStreamKeepAsWhole)) {
      goOn = false;
      return false;
    }
    // It fetches the whole file now, and what it received so far is the file's start.
    bytes = bytes.subspan(take);
    return true;
  }
  ApplyPendingRanges();
  return false;
}

bool DownloadRun::WriteStreamData(DownloadStream& s, std::span<const std::uint8_t> bytes, bool) {
  if (!s.IsOpen() || ended_) return false;
  s.lastActivity = Now();
  if (!s.headChecked && s.transportWantsResumeCheck()) {
    bool goOn = true;
    const bool rewriteHead = ResumeCheck(s, bytes, goOn);
    if (!goOn) return false;
    if (rewriteHead) {
      if (!WriteCore(s, std::span<const std::uint8_t>(s.headBuffer.data(), kFirstBytesLength))) return false;
    }
  }
  if (bytes.empty()) return true;
  return WriteCore(s, bytes);
}

}  // namespace engine
