#pragma once
// The main list's view of the history days and the download filters, read live from their
// tables. Row objects are kept per day key and per filter name, so a refill hands the list
// the same row it already shows.
//
// Main thread only.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "app/queue/services/history_filter_rows.h"

namespace queue {

class QueueHistoryFilterRows : public HistoryFilterRowsService {
 public:
  std::vector<std::shared_ptr<HistoryDayRow>> CopyHistoryDays() override;
  std::vector<std::shared_ptr<FilterRow>> CopyFilters() override;
  std::vector<std::uint32_t> CopyHistoryDownloadUIDs() override;
  std::vector<std::vector<std::string>> CopyFilterExtensions() override;

 private:
  std::map<std::int64_t, std::shared_ptr<HistoryDayRow>> days_;
  std::map<std::string, std::shared_ptr<FilterRow>> filters_;
};

}  // namespace queue
