#pragma once
// The owner of one download record. Lists, folders, the undo manager and drags all hold a
// download by its wrapper (shared), so a record lives as long as anyone still shows or
// may restore it.
//
// The setters of the attributes that smart folders search (name, URLs, size, status,
// dates) skip a value equal to the current one and otherwise report the change, so that a
// smart folder re-checks only the downloads that changed. Other fields are written through
// element() directly.
//
// The queue file keeps each record's saved text so that a save writes again only the
// records that changed since. Every way to write a record (element() on a wrapper that is
// not const, the setters) marks it changed; readers that only look take the const
// element(), which leaves the saved text in use.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/queue/record/download_queue_element.h"
#include "app/queue/record/record_change_log.h"

namespace queue {

class DownloadQueueWrapper;
using WrapperRef = std::shared_ptr<DownloadQueueWrapper>;

class DownloadQueueWrapper : public std::enable_shared_from_this<DownloadQueueWrapper> {
 public:
  // A wrapper with a new record of its own.
  static WrapperRef Create();
  // Takes the record.
  static WrapperRef Create(std::unique_ptr<DownloadQueueElement> element);
  // Wraps a copy of the record.
  static WrapperRef CreateWithCopy(const DownloadQueueElement& element);

  ~DownloadQueueWrapper();
  DownloadQueueWrapper(const DownloadQueueWrapper&) = delete;
  DownloadQueueWrapper& operator=(const DownloadQueueWrapper&) = delete;

  DownloadQueueElement& element() {
    MarkChanged();
    return *element_;
  }
  const DownloadQueueElement& element() const { return *element_; }

  // Whether the record may have changed since the queue file last made its text; the
  // first change after that notes the record (record_change_log.h), so that a save finds
  // the changed records without looking at the others.
  bool TakeChanged() { return changed_.exchange(false, std::memory_order_relaxed); }
  bool changed() const { return changed_.load(std::memory_order_relaxed); }
  void MarkChanged() {
    if (!changed_.load(std::memory_order_relaxed) && !changed_.exchange(true, std::memory_order_relaxed))
      NoteRecordChanged(*this);
  }
  // Where the queue file keeps the record's text: under which key of gQueueItems, and at
  // which index of the kept texts when last looked (a hint). Main thread only.
  bool hasSavedText() const { return hasSavedText_; }
  DownloadUID savedTextKey() const { return savedTextKey_; }
  std::uint32_t savedTextIndex() const { return savedTextIndex_; }
  void setSavedTextPlace(DownloadUID key, std::uint32_t index) {
    hasSavedText_ = true;
    savedTextKey_ = key;
    savedTextIndex_ = index;
  }
  void clearSavedTextPlace() { hasSavedText_ = false; }

  DownloadUID uid() const { return element_->uid; }
  std::uint32_t hostUID() const { return element_->hostID; }
  DownloadStatus status() const { return element_->status; }
  std::int64_t fileSize() const { return element_->fileSize; }
  double startDate() const { return element_->startDate; }
  double endDate() const { return element_->endDate; }
  const std::string& filename() const { return element_->filename; }
  const values::Array& URLData() const { return element_->urlData; }
  const std::set<ViewID>& foldersContainedIn() const { return element_->foldersContainedIn; }
  const BoxedOptional<values::Url>& complete() const { return element_->completeURL; }
  const std::optional<std::string>& relativeLocation() const { return element_->relativeLocation; }
  // The first entry's URL text; nothing when the list is empty or the entry has none.
  std::optional<std::string> url() const;

  void setFilename(std::string name);
  void setURLData(values::Array list);  // always reported: lists are not compared
  void setFileSize(std::int64_t size);
  void setStatus(DownloadStatus status);
  void setStartDate(double date);
  void setEndDate(double date);
  // Renumbering moves every Queued download at each start; the queue file fills the
  // position in at each save, so this alone leaves the saved text in use.
  void setQueuePosition(std::int32_t position) {
    if (auto note = MoveQueuePosition(position)) NoteQueuePosition(*note);
  }
  // The same, for renumbering many: what the queue file must be told, to tell it at once.
  std::optional<RecordChanges::Position> MoveQueuePosition(std::int32_t position) {
    if (position == element_->queuePosition) return std::nullopt;
    element_->queuePosition = position;
    if (!hasSavedText_) return std::nullopt;
    return RecordChanges::Position{savedTextKey_, this, position, savedTextIndex_};
  }
  void setRelativeLocation(std::optional<std::string> location) {
    MarkChanged();
    element_->relativeLocation = std::move(location);
  }

  // Rows of a remote listing shown as wrappers use these; downloads leave them empty.
  std::uint32_t mode() const { return mode_; }
  void setMode(std::uint32_t mode) { mode_ = mode; }
  const std::optional<std::string>& group() const { return remote_ ? remote_->group : NoText(); }
  void setGroup(std::optional<std::string> v) { RemoteRow().group = std::move(v); }
  const std::optional<std::string>& owner() const { return remote_ ? remote_->owner : NoText(); }
  void setOwner(std::optional<std::string> v) { RemoteRow().owner = std::move(v); }
  const std::optional<std::string>& kind() const { return remote_ ? remote_->kind : NoText(); }
  void setKind(std::optional<std::string> v) { RemoteRow().kind = std::move(v); }

  // "DownloadQueueWrapper <%x> retain count:% ud, element:%x"
  std::string description() const;

 private:
  explicit DownloadQueueWrapper(std::unique_ptr<DownloadQueueElement> element)
      : element_(std::move(element)) {}
  void NoteChanged(std::uint32_t bits);

  std::unique_ptr<DownloadQueueElement> element_;
  std::atomic<bool> changed_{true};
  bool hasSavedText_ = false;
  DownloadUID savedTextKey_ = 0;
  std::uint32_t savedTextIndex_ = 0;
  std::uint32_t mode_ = 0;
  // What only rows of a remote listing carry, made when first set: downloads, nearly all
  // wrappers, go without.
  struct RemoteRowTexts {
    std::optional<std::string> group, owner, kind;
  };
  std::unique_ptr<RemoteRowTexts> remote_;
  RemoteRowTexts& RemoteRow() {
    if (!remote_) remote_ = std::make_unique<RemoteRowTexts>();
    return *remote_;
  }
  static const std::optional<std::string>& NoText() {
    static const std::optional<std::string> none;
    return none;
  }
};

}  // namespace queue
