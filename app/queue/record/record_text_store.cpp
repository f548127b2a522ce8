#include "app/queue/record/record_text_store.h"

#include <algorithm>
#include <cstring>

#include "app/queue/record/download_queue_wrapper.h"

namespace queue {
namespace {

// Large enough that a queue of a hundred thousand records takes a few dozen blocks, small
// enough that a mostly dead one is cheap to move out of.
constexpr std::size_t kBlockSize = 4 << 20;

}  // namespace

struct RecordTextStore::Block {
  explicit Block(std::size_t size) : data(new char[size]), capacity(size) {}
  std::unique_ptr<char[]> data;
  std::size_t capacity;
  std::size_t used = 0;
  std::size_t live = 0;
};

RecordTextStore::RecordTextStore() = default;
RecordTextStore::~RecordTextStore() = default;

void RecordTextStore::Clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  added_.clear();
  removed_ = false;
  blocks_.clear();
  deadBytes_ = 0;
  liveBytes_ = 0;
}

RecordTextStore::Entry* RecordTextStore::Find(DownloadUID key, std::uint32_t hint) {
  if (hint < entries_.size() && entries_[hint].key == key) return &entries_[hint];
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                             [](const Entry& e, DownloadUID k) { return e.key < k; });
  if (it != entries_.end() && it->key == key) return &*it;
  return nullptr;
}

const char* RecordTextStore::Append(std::string_view first, std::string_view second, Block*& block) {
  const std::size_t size = first.size() + second.size();
  if (blocks_.empty() || blocks_.back()->capacity - blocks_.back()->used < size) {
    // The rest of a full block stays unused: counted dead, so that it is moved out of too.
    if (!blocks_.empty()) deadBytes_ += blocks_.back()->capacity - blocks_.back()->used;
    if (!blocks_.empty()) blocks_.back()->used = blocks_.back()->capacity;
    blocks_.push_back(std::make_shared<Block>(std::max(size, kBlockSize)));
  }
  block = blocks_.back().get();
  char* at = block->data.get() + block->used;
  std::memcpy(at, first.data(), first.size());
  std::memcpy(at + first.size(), second.data(), second.size());
  block->used += size;
  block->live += size;
  liveBytes_ += size;
  return at;
}

void RecordTextStore::Release(const Entry& entry) {
  if (entry.block == nullptr) return;
  entry.block->live -= entry.length;
  liveBytes_ -= entry.length;
  deadBytes_ += entry.length;
}

void RecordTextStore::Put(DownloadUID key, DownloadQueueWrapper& owner, std::string_view text,
                          std::uint32_t positionAt, std::uint32_t positionEnd, std::int32_t position) {
  Entry fresh;
  fresh.key = key;
  fresh.owner = &owner;
  fresh.position = position;
  if (positionAt == kNoPosition) {
    fresh.text = Append(text, {}, fresh.block);
  } else {
    fresh.text = Append(text.substr(0, positionAt), text.substr(positionEnd), fresh.block);
    fresh.positionAt = positionAt;
  }
  fresh.length = static_cast<std::uint32_t>(
      positionAt == kNoPosition ? text.size() : text.size() - (positionEnd - positionAt));
  const std::uint32_t hint = owner.hasSavedText() && owner.savedTextKey() == key ? owner.savedTextIndex() : 0;
  if (Entry* kept = Find(key, hint)) {
    Release(*kept);
    *kept = fresh;
    owner.setSavedTextPlace(key, static_cast<std::uint32_t>(kept - entries_.data()));
    return;
  }
  if (added_.empty() && (entries_.empty() || entries_.back().key < key)) {
    // In key order (a whole table made anew): straight to its place.
    entries_.push_back(fresh);
    owner.setSavedTextPlace(key, static_cast<std::uint32_t>(entries_.size() - 1));
    return;
  }
  added_.push_back(fresh);
  owner.setSavedTextPlace(key, 0);
}

void RecordTextStore::Remove(DownloadUID key) {
  if (Entry* kept = Find(key, 0)) {
    Release(*kept);
    kept->block = nullptr;
    kept->owner = nullptr;
    removed_ = true;
  }
}

void RecordTextStore::Settle() {
  if (removed_) {
    std::erase_if(entries_, [](const Entry& e) { return e.owner == nullptr; });
    removed_ = false;
  }
  if (!added_.empty()) {
    std::sort(added_.begin(), added_.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    const std::size_t before = entries_.size();
    entries_.insert(entries_.end(), added_.begin(), added_.end());
    std::inplace_merge(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(before),
                       entries_.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    added_.clear();
    // A key put twice before a Settle keeps its last text (the merge keeps equal keys in
    // the order they came).
    auto last = std::unique(entries_.rbegin(), entries_.rend(), [&](const Entry& a, const Entry& b) {
      if (a.key != b.key) return false;
      Release(b);
      return true;
    });
    entries_.erase(entries_.begin(), last.base());
  }
  Compact();
}

void RecordTextStore::Compact() {
  // Moving costs a copy of the live bytes moved: worth it only once the dead ones are many.
  if (deadBytes_ < kBlockSize || deadBytes_ < liveBytes_ / 2) return;
  std::vector<Block*> moving;
  for (std::size_t i = 0; i + 1 < blocks_.size(); ++i) {
    if (blocks_[i]->live * 2 < blocks_[i]->used) moving.push_back(blocks_[i].get());
  }
  if (moving.empty()) return;
  std::sort(moving.begin(), moving.end());
  for (Entry& e : entries_) {
    if (!std::binary_search(moving.begin(), moving.end(), e.block)) continue;
    const std::string_view text(e.text, e.length);
    Release(e);
    e.text = Append(text, {}, e.block);
  }
  std::erase_if(blocks_, [&](const std::shared_ptr<Block>& b) {
    if (!std::binary_search(moving.begin(), moving.end(), b.get())) return false;
    deadBytes_ -= b->used - b->live;
    return true;
  });
}

void RecordTextStore::TakeSnapshot(Snapshot& into) const {
  into.entries.assign(entries_.begin(), entries_.end());
  into.blocks.assign(blocks_.begin(), blocks_.end());
}

}  // namespace queue
