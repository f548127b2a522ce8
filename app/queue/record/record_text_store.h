#pragma once
// The text of every download's entry in the queue file ("Elements", two tabs deep) as it was
// last made, kept so that a save makes anew only the records that changed, and a start
// costs the main thread only what changed.
//
// Texts are appended to large blocks rather than kept one allocation each: a hundred
// thousand allocations of a kilobyte or two, made between the many small ones of making a
// record's text, cost more time in the allocator than the text itself and leave the heap in
// pieces. A text replaced or removed leaves dead bytes in its block; once a block is more
// dead than alive, its live texts move to the newest block and it is let go.
//
// A text is kept without the digits of its record's own "queue position": those are filled
// in at each save from the entry's position, since renumbering moves every Queued download
// at each start while the rest of its record stays as it was.
//
// Over half of a record's text is the lines of its keys, the same in every record: a line
// "<tabs><key>name</key>" of a name the queue file uses is kept as three bytes (kKeyLine,
// the number of tabs, the name's number) and written out whole again. The file's text
// never holds the byte kKeyLine (XML cannot carry it), so it marks nothing else.
//
// A save takes a snapshot: a copy of the entries (a few dozen bytes each, no text) and the
// blocks they point into, shared, so the worker writes from it while the main thread goes
// on. The store itself is used on the main thread only.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "app/queue/record/download_queue_element.h"

namespace queue {

class DownloadQueueWrapper;

class RecordTextStore {
 public:
  struct Block;
  static constexpr std::uint32_t kNoPosition = 0xFFFFFFFF;
  static constexpr char kKeyLine = '\x01';
  // The line a kept key line stands for; empty for a pair of bytes that names none.
  static std::string_view KeyLine(std::uint8_t tabs, std::uint8_t name);

  struct Entry {
    DownloadUID key = 0;  // the record's key in gQueueItems: entries are in its order
    std::int32_t position = 0;
    std::uint32_t length = 0;
    std::uint32_t positionAt = kNoPosition;  // where the position's digits go, if anywhere
    const char* text = nullptr;
    Block* block = nullptr;
    const DownloadQueueWrapper* owner = nullptr;  // for identity only
  };

  struct Snapshot {
    std::vector<Entry> entries;
    std::vector<std::shared_ptr<const Block>> blocks;
    // Calls fn with each piece of text in order (the position's digits included); stops at
    // the first false and returns it.
    template <class Fn>
    bool ForEachPiece(const Fn& fn) const;
  };

  RecordTextStore();
  ~RecordTextStore();
  RecordTextStore(const RecordTextStore&) = delete;
  RecordTextStore& operator=(const RecordTextStore&) = delete;

  void Clear();
  std::size_t size() const { return entries_.size(); }
  // The entry under the key, looking at `hint` first; null when there is none.
  Entry* Find(DownloadUID key, std::uint32_t hint);
  // Keeps `text` as the owner's, under `key`, without its characters [positionAt,
  // positionEnd), the digits of its queue position (positionAt kNoPosition: none). An
  // entry new to the store is put in its place at the next Settle.
  void Put(DownloadUID key, DownloadQueueWrapper& owner, std::string_view text, std::uint32_t positionAt,
           std::uint32_t positionEnd, std::int32_t position);
  // Takes the entry out at the next Settle.
  void Remove(DownloadUID key);
  // Puts in the entries new since the last Settle, takes out those removed, and moves the
  // live texts out of blocks that are mostly dead.
  void Settle();
  // Every entry, for walking alongside gQueueItems (both are in key order).
  std::vector<Entry>& entries() { return entries_; }

  // Fills `into` (its memory reused) with what a save writes now.
  void TakeSnapshot(Snapshot& into) const;

 private:
  const char* Append(std::string_view first, std::string_view second, Block*& block);
  std::string scratch_;  // a text with its key lines shortened, before it is kept
  void Release(const Entry& entry);
  void Compact();

  std::vector<Entry> entries_;
  std::vector<Entry> added_;  // not yet in entries_
  bool removed_ = false;      // some entries of entries_ have no owner: take them out
  std::vector<std::shared_ptr<Block>> blocks_;
  std::size_t deadBytes_ = 0;
  std::size_t liveBytes_ = 0;
};

namespace record_text {
// Calls fn with the pieces of a kept text, its key lines written out whole.
template <class Fn>
bool ForEachPiece(std::string_view text, const Fn& fn) {
  while (!text.empty()) {
    const std::size_t mark = text.find(RecordTextStore::kKeyLine);
    if (mark == std::string_view::npos || mark + 2 >= text.size()) return fn(text);
    if (mark > 0 && !fn(text.substr(0, mark))) return false;
    if (!fn(RecordTextStore::KeyLine(static_cast<std::uint8_t>(text[mark + 1]),
                                     static_cast<std::uint8_t>(text[mark + 2])))) {
      return false;
    }
    text.remove_prefix(mark + 3);
  }
  return true;
}
}  // namespace record_text

// The texts of the queue file's records (main thread only).
RecordTextStore& SavedRecordTexts();

template <class Fn>
bool RecordTextStore::Snapshot::ForEachPiece(const Fn& fn) const {
  for (const Entry& e : entries) {
    if (e.positionAt == kNoPosition) {
      if (!record_text::ForEachPiece(std::string_view(e.text, e.length), fn)) return false;
      continue;
    }
    char digits[16];
    char* end = digits + sizeof digits;
    char* at = end;
    // std::to_chars's result, by hand, so that this header stays light.
    std::uint32_t magnitude =
        e.position < 0 ? 0u - static_cast<std::uint32_t>(e.position) : static_cast<std::uint32_t>(e.position);
    do {
      *--at = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (e.position < 0) *--at = '-';
    if (!record_text::ForEachPiece(std::string_view(e.text, e.positionAt), fn) ||
        !fn(std::string_view(at, static_cast<std::size_t>(end - at))) ||
        !record_text::ForEachPiece(std::string_view(e.text + e.positionAt, e.length - e.positionAt), fn)) {
      return false;
    }
  }
  return true;
}

}  // namespace queue
