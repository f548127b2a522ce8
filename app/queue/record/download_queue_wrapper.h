#pragma once
// The owner of one download record. Lists, folders, the undo manager and drags all hold a
// download by its wrapper (shared), so a record lives as long as anyone still shows or
// may restore it.
//
// The setters of the attributes that smart folders search (name, URLs, size, status,
// dates) skip a value equal to the current one and otherwise report the change, so that a
// smart folder re-checks only the downloads that changed. Other fields are written through
// element() directly.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/queue/record/download_queue_element.h"

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

  DownloadQueueElement& element() { return *element_; }
  const DownloadQueueElement& element() const { return *element_; }

  DownloadUID uid() const { return element_->uid; }
  std::uint32_t hostUID() const { return element_->hostID; }
  DownloadStatus status() const { return element_->status; }
  std::int64_t fileSize() const { return element_->fileSize; }
  double startDate() const { return element_->startDate; }
  double endDate() const { return element_->endDate; }
  const std::string& filename() const { return element_->filename; }
  const values::Array& URLData() const { return element_->urlData; }
  const std::set<ViewID>& foldersContainedIn() const { return element_->foldersContainedIn; }
  const std::optional<values::Url>& complete() const { return element_->completeURL; }
  const std::optional<std::string>& relativeLocation() const { return element_->relativeLocation; }
  // The first entry's URL text; nothing when the list is empty or the entry has none.
  std::optional<std::string> url() const;

  void setFilename(std::string name);
  void setURLData(values::Array list);  // always reported: lists are not compared
  void setFileSize(std::int64_t size);
  void setStatus(DownloadStatus status);
  void setStartDate(double date);
  void setEndDate(double date);
  void setRelativeLocation(std::optional<std::string> location) {
    element_->relativeLocation = std::move(location);
  }

  // Rows of a remote listing shown as wrappers use these; downloads leave them empty.
  std::uint32_t mode() const { return mode_; }
  void setMode(std::uint32_t mode) { mode_ = mode; }
  const std::optional<std::string>& group() const { return group_; }
  void setGroup(std::optional<std::string> v) { group_ = std::move(v); }
  const std::optional<std::string>& owner() const { return owner_; }
  void setOwner(std::optional<std::string> v) { owner_ = std::move(v); }
  const std::optional<std::string>& kind() const { return kind_; }
  void setKind(std::optional<std::string> v) { kind_ = std::move(v); }

  // "DownloadQueueWrapper <%x> retain count:% ud, element:%x"
  std::string description() const;

 private:
  explicit DownloadQueueWrapper(std::unique_ptr<DownloadQueueElement> element)
      : element_(std::move(element)) {}
  void NoteChanged(std::uint32_t bits);

  std::unique_ptr<DownloadQueueElement> element_;
  std::uint32_t mode_ = 0;
  std::optional<std::string> group_, owner_, kind_;
};

}  // namespace queue
