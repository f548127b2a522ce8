// The download's watch on its mirrors' hosts: an unreachable host's entry is marked
// "Unreachable" (the scheduler passes it over) and its return starts connections again.
// The reachability layer reports on whatever thread announces a change; the report is
// carried to the download's own loop and dropped when the download has ended by then.

#include "app/engine/task/download_run.h"
#include "app/engine/urls/url_entries.h"

namespace engine {

void DownloadRun::WatchReachability(DownloadStream& stream) {
  if (ended_ || !loop_ || reachability_.contains(stream.entryIndex)) return;
  const auto host = stream.URL().Absolute().Host();
  if (!host || host->empty()) return;
  const std::size_t index = stream.entryIndex;
  std::weak_ptr<runtime::RunLoop> loop = loop_;
  std::weak_ptr<bool> alive = alive_;
  reachability_[index] = net::ReachabilityTarget::Create(*host, [this, loop, alive, index](unsigned flags) {
    auto target = loop.lock();
    if (!target) return;
    // The run is destroyed on its own loop's thread, so a live token there means a live run.
    target->Perform([this, alive, index, flags] {
      if (alive.lock()) ReachabilityChanged(index, flags);
    });
  });
}

void DownloadRun::ReachabilityChanged(std::size_t entryIndex, unsigned flags) {
  if (ended_ || entryIndex >= urlEntries().size()) return;
  values::Value& entry = urlEntries()[entryIndex];
  auto* d = entry.AsDictionary();
  if (d == nullptr) return;
  const bool reachable = (flags & (net::kReachabilityReachable | net::kReachabilityConnectionAutomatic)) != 0;
  if (!reachable) {
    Log("\rHost has become unreachable\r");
    (*d)[kEntryUnreachable] = values::Value(true);
    return;
  }
  const bool wasUnreachable = EntryFlag(entry, kEntryUnreachable);
  (*d)[kEntryUnreachable] = values::Value(false);
  if (wasUnreachable) {
    Log("\rHost has become reachable, spawning connections\r");
    SpawnMoreStreams();
  }
}

}  // namespace engine
