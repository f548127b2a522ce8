#pragma once
// Recording stand-ins for the queue's filter table and schedule. The filter table builds
// the five default filters when it is given no stored array, as the real one does, so
// that a save after a load of an empty domain has a table to write.

#include <optional>
#include <vector>

#include "app/queue/services/filter_table_service.h"
#include "app/queue/services/queue_schedule_service.h"

namespace queue {

class FakeFilterTableService : public FilterTableService {
 public:
  std::vector<std::optional<values::Array>> loads;
  std::optional<values::Array> table;

  static values::Array DefaultFilters() {
    auto filter = [](const char* name, values::Array extensions) {
      return values::Value(
          values::Dictionary{{"name", name}, {"extensions", std::move(extensions)}, {"relative", true}});
    };
    return {
        filter("Applications", {".sit", ".sitx", ".dmg", ".hqx", ".gz", ".tgz", ".bin", ".zip"}),
        filter("Documents", {".doc", ".xls", ".pdf", ".txt"}),
        filter("Images", {".gif", ".jpg", ".png", ".tiff", ".psd"}),
        filter("Music", {".mp3", ".m4a", ".m4p", ".mp4", ".wav", ".aiff"}),
        filter("Video", {".mov", ".mpeg", ".mpg", ".avi"}),
    };
  }

  void LoadFilters(const values::Array* filters) override {
    loads.push_back(filters != nullptr ? std::optional<values::Array>(*filters) : std::nullopt);
    table = filters != nullptr ? *filters : DefaultFilters();
  }
  std::optional<values::Array> CopyFiltersPreference() override { return table; }
};

class FakeQueueScheduleService : public QueueScheduleService {
 public:
  std::vector<std::optional<values::Value>> reads;
  void ReadScheduleDictionary(const values::Value* schedule) override {
    reads.push_back(schedule != nullptr ? std::optional<values::Value>(*schedule) : std::nullopt);
  }
};

}  // namespace queue
