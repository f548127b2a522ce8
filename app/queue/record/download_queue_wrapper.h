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

namespace queue {

class DownloadQueueWrapper;
using WrapperRef = std::shared_ptr<DownloadQueueWrapper>;

// A record's text as the queue file last stored it, in two parts around the digits of its
// "queue position", which every save fills in from the record (see setQueuePosition).
struct SavedRecordText {
  std::string beforePosition;
  std::string afterPosition;
};

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

  // The record as the queue file last stored it (the text of its "Elements" entry), and
  // whether the record may have changed since. The queue file's snapshot, on the main
  // thread, is their only user.
  bool TakeChanged() { return changed_.exchange(false, std::memory_order_relaxed); }
  void MarkChanged() { changed_.store(true, std::memory_order_relaxed); }
  // The position is the record's queue position, kept here too so that a save need not
  // look into the record.
  const std::shared_ptr<const SavedRecordText>& savedText() const { return savedText_; }
  std::int32_t savedTextPosition() const { return savedTextPosition_; }
  void setSavedText(std::shared_ptr<const SavedRecordText> text) {
    savedText_ = std::move(text);
    savedTextPosition_ = element_->queuePosition;
  }

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
  // Renumbering moves every Queued download at each start; the queue file reads the
  // position afresh at each save, so this alone leaves the saved text in use.
  void setQueuePosition(std::int32_t position) {
    element_->queuePosition = position;
    savedTextPosition_ = position;
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
  std::int32_t savedTextPosition_ = 0;
  std::shared_ptr<const SavedRecordText> savedText_;
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
