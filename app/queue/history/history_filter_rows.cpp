#include "app/queue/history/history_filter_rows.h"

#include "app/queue/history/download_filters.h"
#include "app/queue/history/history.h"

namespace queue {
namespace {

class LiveHistoryDay : public HistoryDayRow {
 public:
  explicit LiveHistoryDay(std::int64_t key) : key_(key) {}
  std::uint32_t day() const override { return static_cast<std::uint32_t>(key_); }
  int itemCount() const override {
    const HistoryDay* day = FindHistoryDay(key_);
    return day ? static_cast<int>(day->uids.size()) : 0;
  }
  bool open() const override {
    const HistoryDay* day = FindHistoryDay(key_);
    return day && day->open;
  }

 private:
  std::int64_t key_;
};

class LiveFilter : public FilterRow {
 public:
  explicit LiveFilter(std::string name) : name_(std::move(name)) {}
  std::string name() const override { return name_; }
  bool open() const override {
    for (const auto& f : GetFilters())
      if (f->name == name_) return f->open;
    return false;
  }

 private:
  std::string name_;
};

}  // namespace

std::vector<std::shared_ptr<HistoryDayRow>> QueueHistoryFilterRows::CopyHistoryDays() {
  std::map<std::int64_t, std::shared_ptr<HistoryDayRow>> kept;
  std::vector<std::shared_ptr<HistoryDayRow>> rows;
  for (const auto& [key, day] : GetHistoryDays()) {
    auto it = days_.find(key);
    auto row = it != days_.end() ? it->second : std::make_shared<LiveHistoryDay>(key);
    kept.emplace(key, row);
    rows.push_back(row);
  }
  days_ = std::move(kept);
  return rows;
}

std::vector<std::shared_ptr<FilterRow>> QueueHistoryFilterRows::CopyFilters() {
  std::map<std::string, std::shared_ptr<FilterRow>> kept;
  std::vector<std::shared_ptr<FilterRow>> rows;
  for (const auto& filter : GetFilters()) {
    auto it = filters_.find(filter->name);
    auto row = it != filters_.end() ? it->second : std::make_shared<LiveFilter>(filter->name);
    kept.emplace(filter->name, row);
    rows.push_back(row);
  }
  filters_ = std::move(kept);
  return rows;
}

std::vector<std::uint32_t> QueueHistoryFilterRows::CopyHistoryDownloadUIDs() {
  std::vector<std::uint32_t> uids;
  for (const auto& [key, day] : GetHistoryDays()) uids.insert(uids.end(), day.uids.begin(), day.uids.end());
  return uids;
}

std::vector<std::vector<std::string>> QueueHistoryFilterRows::CopyFilterExtensions() {
  std::vector<std::vector<std::string>> extensions;
  for (const auto& filter : GetFilters()) extensions.push_back(filter->extensions);
  return extensions;
}

}  // namespace queue
