#pragma once
// What the main list reads of the history and the download filters: the day records of
// History and the filter records of Filters, each a container row of downloads.
//
// The history and filters register their implementation at start-up; until they are
// built the default has no day and no filter.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/service_slot.h"

namespace queue {

class HistoryDayRow {
 public:
  virtual ~HistoryDayRow() = default;
  virtual std::uint32_t day() const = 0;  // seconds since 1904, local midnight
  virtual int itemCount() const = 0;
  virtual bool open() const = 0;
};

class FilterRow {
 public:
  virtual ~FilterRow() = default;
  virtual std::string name() const = 0;
  virtual bool open() const = 0;
};

class HistoryFilterRowsService {
 public:
  virtual ~HistoryFilterRowsService() = default;
  virtual std::vector<std::shared_ptr<HistoryDayRow>> CopyHistoryDays() = 0;
  virtual std::vector<std::shared_ptr<FilterRow>> CopyFilters() = 0;
  // The downloads listed under the history's days, by UID.
  virtual std::vector<std::uint32_t> CopyHistoryDownloadUIDs() = 0;
  // Each filter's file-name extensions.
  virtual std::vector<std::vector<std::string>> CopyFilterExtensions() = 0;
};

class NoHistoryFilterRows : public HistoryFilterRowsService {
 public:
  std::vector<std::shared_ptr<HistoryDayRow>> CopyHistoryDays() override { return {}; }
  std::vector<std::shared_ptr<FilterRow>> CopyFilters() override { return {}; }
  std::vector<std::uint32_t> CopyHistoryDownloadUIDs() override { return {}; }
  std::vector<std::vector<std::string>> CopyFilterExtensions() override { return {}; }
};

using HistoryFilterRowsServiceSlot = runtime::ServiceSlot<HistoryFilterRowsService, NoHistoryFilterRows>;

}  // namespace queue
