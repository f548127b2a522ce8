#pragma once
// What the settings store asks of the queue schedule: read the stored schedule
// ("newSchedulesX") into the application's schedule record at start-up.
//
// The queue registers its implementation at start-up with QueueScheduleServiceSlot::Set. The
// default ignores the dictionary: no schedule runs, and the stored one is left untouched.

#include <memory>
#include <utility>

#include "platform/runtime/service_slot.h"
#include "platform/values/value.h"

namespace queue {

class QueueScheduleService {
 public:
  virtual ~QueueScheduleService() = default;
  // The stored schedule dictionary, or nullptr when there is none.
  virtual void ReadScheduleDictionary(const values::Value* schedule) = 0;
};

class DefaultQueueScheduleService : public QueueScheduleService {
 public:
  void ReadScheduleDictionary(const values::Value*) override {}
};

using QueueScheduleServiceSlot = runtime::ServiceSlot<QueueScheduleService, DefaultQueueScheduleService>;

}  // namespace queue
