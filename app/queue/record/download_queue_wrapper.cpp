#include "app/queue/record/download_queue_wrapper.h"

#include <cstdio>

#include "app/queue/record/queue_hooks.h"
#include "app/ui/services/main_list_services.h"

namespace queue {

WrapperRef DownloadQueueWrapper::Create() {
  return Create(std::make_unique<DownloadQueueElement>());
}

WrapperRef DownloadQueueWrapper::Create(std::unique_ptr<DownloadQueueElement> element) {
  return WrapperRef(new DownloadQueueWrapper(std::move(element)));
}

WrapperRef DownloadQueueWrapper::CreateWithCopy(const DownloadQueueElement& element) {
  return Create(std::make_unique<DownloadQueueElement>(element));
}

// Undo actions hold their downloads, so none is left aiming at one that goes away.
DownloadQueueWrapper::~DownloadQueueWrapper() = default;

std::optional<std::string> DownloadQueueWrapper::url() const {
  if (element_->urlData.empty()) return std::nullopt;
  const values::Value* url = element_->urlData.front().Find("url");
  if (url == nullptr || !url->IsString()) return std::nullopt;
  return *url->AsString();
}

void DownloadQueueWrapper::NoteChanged(std::uint32_t bits) {
  if (auto& hook = QueueHooksSlot::Get().noteElementChanged) hook(shared_from_this(), bits);
}

void DownloadQueueWrapper::setFilename(std::string name) {
  if (name == element_->filename) return;
  MarkChanged();
  element_->filename = std::move(name);
  NoteChanged(kChangedFilename);
}

void DownloadQueueWrapper::setURLData(values::Array list) {
  MarkChanged();
  element_->urlData = std::move(list);
  NoteChanged(kChangedURLData);
}

void DownloadQueueWrapper::setFileSize(std::int64_t size) {
  if (size == element_->fileSize) return;
  MarkChanged();
  ui::MainListServicesSlot::Get().AdjustStatusTotals(shared_from_this(), size, element_->fileSize);
  element_->fileSize = size;
  NoteChanged(kChangedFileSize);
}

void DownloadQueueWrapper::setStatus(DownloadStatus status) {
  if (status == element_->status) return;
  MarkChanged();
  element_->status = status;
  NoteChanged(kChangedStatus);
}

void DownloadQueueWrapper::setStartDate(double date) {
  if (date == element_->startDate) return;
  MarkChanged();
  element_->startDate = date;
  NoteChanged(kChangedStartDate);
}

void DownloadQueueWrapper::setEndDate(double date) {
  if (date == element_->endDate) return;
  MarkChanged();
  element_->endDate = date;
  NoteChanged(kChangedEndDate);
}

std::string DownloadQueueWrapper::description() const {
  char text[128];
  const long count = weak_from_this().use_count();
  std::snprintf(text, sizeof text, "DownloadQueueWrapper <%lx> retain count:% ld, element:%lx",
                reinterpret_cast<unsigned long>(this), count,
                reinterpret_cast<unsigned long>(element_.get()));
  return text;
}

}  // namespace queue
