#include "app/queue/record/record_text_store.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <unordered_map>

#include "app/queue/record/download_queue_wrapper.h"

namespace queue {
namespace {

// Large enough that a queue of a hundred thousand records takes a few dozen blocks, small
// enough that a mostly dead one is cheap to move out of.
constexpr std::size_t kBlockSize = 4 << 20;

// The keys of a record and of its URL entries: their lines are kept short.
constexpr std::string_view kKeyNames[] = {
    "CFHTTPAuthentication",
    "CFHTTPProxyAuthentication",
    "Completion",
    "Connections",
    "ETag",
    "EauthPassword",
    "EauthUser",
    "Filename",
    "NetworkReachability",
    "NoDate",
    "UID",
    "Unreachable",
    "authPassword",
    "authUser",
    "batchID",
    "checksum",
    "complete file",
    "completeURL",
    "completion type",
    "cookie",
    "dateString",
    "destination",
    "domains",
    "download count",
    "duration",
    "end date",
    "fatalError",
    "file alias",
    "file size",
    "finished",
    "flags",
    "formdata",
    "history position",
    "hostID",
    "java script priority",
    "password",
    "priority",
    "progress",
    "queue position",
    "referer",
    "relativeLocation",
    "scheduleTime",
    "start date",
    "status",
    "url",
    "url data",
    "useAuth",
    "useIfRange",
    "user",
    "validated",
    "verificationFailed",
};
constexpr std::size_t kKeyCount = std::size(kKeyNames);
constexpr std::size_t kMaxKeyTabs = 16;

// Every line a key line can stand for, made once.
struct KeyLines {
  KeyLines() {
    for (std::size_t tabs = 0; tabs < kMaxKeyTabs; ++tabs) {
      for (std::size_t n = 0; n < kKeyCount; ++n) {
        lines[tabs][n] = std::string(tabs, '\t') + "<key>" + std::string(kKeyNames[n]) + "</key>\n";
      }
    }
    for (std::size_t n = 0; n < kKeyCount; ++n) numbers.emplace(kKeyNames[n], static_cast<std::uint8_t>(n));
  }
  std::string lines[kMaxKeyTabs][kKeyCount];
  std::unordered_map<std::string_view, std::uint8_t> numbers;
};

// Never torn down: a save still being written at exit reads them.
const KeyLines& TheKeyLines() {
  static const KeyLines* const lines = new KeyLines();
  return *lines;
}

// Appends `text` to `out`, each line of a known key as three bytes.
void AppendShortened(std::string_view text, std::string& out) {
  constexpr std::string_view kOpen = "<key>", kClose = "</key>\n";
  const KeyLines& keys = TheKeyLines();
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    const std::size_t size = newline == std::string_view::npos ? text.size() : newline + 1;
    const std::string_view line = text.substr(0, size);
    std::size_t tabs = 0;
    while (tabs < line.size() && line[tabs] == '\t') ++tabs;
    bool shortened = false;
    if (tabs < kMaxKeyTabs && line.size() > tabs + kOpen.size() + kClose.size() &&
        line.substr(tabs, kOpen.size()) == kOpen && line.ends_with(kClose)) {
      const std::string_view name =
          line.substr(tabs + kOpen.size(), line.size() - tabs - kOpen.size() - kClose.size());
      if (auto it = keys.numbers.find(name); it != keys.numbers.end()) {
        out += RecordTextStore::kKeyLine;
        out += static_cast<char>(tabs);
        out += static_cast<char>(it->second);
        shortened = true;
      }
    }
    if (!shortened) out += line;
    text.remove_prefix(size);
  }
}

}  // namespace

std::string_view RecordTextStore::KeyLine(std::uint8_t tabs, std::uint8_t name) {
  if (tabs >= kMaxKeyTabs || name >= kKeyCount) return {};
  return TheKeyLines().lines[tabs][name];
}

// Blocks are mapped from the system rather than taken from the heap: a block let go returns
// its memory at once instead of leaving a hole among the records' small allocations, and
// the unwritten tail of the newest block costs nothing.
struct RecordTextStore::Block {
  explicit Block(std::size_t size) : capacity(size) {
    void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    data = static_cast<char*>(mapped);
  }
  ~Block() { ::munmap(data, capacity); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  char* data = nullptr;
  std::size_t capacity;
  std::size_t used = 0;
  std::size_t live = 0;
};

RecordTextStore& SavedRecordTexts() {
  static RecordTextStore store;
  return store;
}

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
  char* at = block->data + block->used;
  // An empty view may hold no pointer at all, and memcpy from null is undefined even for
  // no bytes.
  if (!first.empty()) std::memcpy(at, first.data(), first.size());
  if (!second.empty()) std::memcpy(at + first.size(), second.data(), second.size());
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
  scratch_.clear();
  if (positionAt == kNoPosition) {
    AppendShortened(text, scratch_);
  } else {
    AppendShortened(text.substr(0, positionAt), scratch_);
    fresh.positionAt = static_cast<std::uint32_t>(scratch_.size());
    AppendShortened(text.substr(positionEnd), scratch_);
  }
  fresh.text = Append(scratch_, {}, fresh.block);
  fresh.length = static_cast<std::uint32_t>(scratch_.size());
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
