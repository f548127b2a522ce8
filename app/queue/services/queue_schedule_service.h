#pragma once
// What the settings store asks of the queue schedule: read the stored schedule
// ("newSchedulesX") into the application's schedule record at start-up.
//
// The queue registers its implementation at start-up with SetQueueScheduleService. The
// default ignores the dictionary: no schedule runs, and the stored one is left untouched.

#include <memory>
#include <utility>

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

inline std::unique_ptr<QueueScheduleService>& QueueScheduleServiceSlot() {
  static std::unique_ptr<QueueScheduleService> service = std::make_unique<DefaultQueueScheduleService>();
  return service;
}
inline QueueScheduleService& GetQueueScheduleService() {
  return *QueueScheduleServiceSlot();
}
inline void SetQueueScheduleService(std::unique_ptr<QueueScheduleService> service) {
  QueueScheduleServiceSlot() = std::move(service);
}

}  // namespace queue
