#pragma once
// What the settings store asks of the download filters: build the filter table from the
// stored "Filters" setting at every settings load, and give the table back in that form
// for saving.
//
// The queue registers its filter table at start-up with FilterTableServiceSlot::Set. Until then
// the default keeps the stored array as it was given and gives it back unchanged; given
// no array (no "Filters" setting) it knows no table and answers nothing, so a save leaves
// the setting absent and the default filters are made when the real table first loads.

#include <memory>
#include <optional>
#include <utility>

#include "platform/runtime/service_slot.h"
#include "platform/values/value.h"

namespace queue {

class FilterTableService {
 public:
  virtual ~FilterTableService() = default;
  // The stored "Filters" array of {"name", "extensions", "relative"}, or nullptr when the
  // setting is absent (the table then holds the default filters).
  virtual void LoadFilters(const values::Array* filters) = 0;
  // The table as the "Filters" setting stores it, or nothing when no table is known.
  virtual std::optional<values::Array> CopyFiltersPreference() = 0;
};

class DefaultFilterTableService : public FilterTableService {
 public:
  void LoadFilters(const values::Array* filters) override {
    stored_ = filters != nullptr ? std::optional<values::Array>(*filters) : std::nullopt;
  }
  std::optional<values::Array> CopyFiltersPreference() override { return stored_; }

 private:
  std::optional<values::Array> stored_;
};

using FilterTableServiceSlot = runtime::ServiceSlot<FilterTableService, DefaultFilterTableService>;

}  // namespace queue
