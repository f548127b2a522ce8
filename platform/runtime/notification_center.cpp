#include "platform/runtime/notification_center.h"

#include <algorithm>

namespace runtime {

NotificationCenter& NotificationCenter::Default() {
  static const std::shared_ptr<NotificationCenter> center = Create();
  return *center;
}

std::shared_ptr<NotificationCenter> NotificationCenter::Create() {
  return std::make_shared<NotificationCenter>();
}

Subscription NotificationCenter::AddObserver(std::string name, ObjectHandle object, Callback callback) {
  std::lock_guard lock(mutex_);
  auto entry =
      std::make_shared<Entry>(Entry{next_id_++, std::move(name), std::move(object), std::move(callback)});
  entries_.push_back(entry);
  std::weak_ptr<NotificationCenter> weak = weak_from_this();
  return Subscription([weak, entry] {
    auto center = weak.lock();
    if (!center) return;
    std::lock_guard lock(center->mutex_);
    entry->active = false;
    std::erase(center->entries_, entry);
  });
}

void NotificationCenter::Post(const Notification& notification) {
  std::vector<std::shared_ptr<Entry>> matching;
  {
    std::lock_guard lock(mutex_);
    for (auto& e : entries_) {
      if (!e->name.empty() && e->name != notification.name) continue;
      if (e->object && !(e->object == notification.object)) continue;
      matching.push_back(e);
    }
  }
  for (auto& e : matching) {
    bool active;
    {
      std::lock_guard lock(mutex_);
      active = e->active;
    }
    // An observer removed by an earlier one in this delivery is not called.
    if (active) e->callback(notification);
  }
}

void NotificationCenter::Post(std::string name, ObjectHandle object, values::Value user_info) {
  Post(Notification{std::move(name), std::move(object), std::move(user_info)});
}

namespace {
thread_local std::unique_ptr<NotificationQueue> tQueue;
}

NotificationQueue& NotificationQueue::Current() {
  if (!tQueue) tQueue = std::make_unique<NotificationQueue>();
  return *tQueue;
}

NotificationQueue::NotificationQueue() {
  // The source does not keep the queue alive: the queue dies with its thread, and its
  // destructor takes the source off the loop first.
  source_ = Source::Create([this] { Deliver(); });
  RunLoop::Current()->AddSource(source_);
}

NotificationQueue::~NotificationQueue() {
  source_->Invalidate();
}

void NotificationQueue::EnqueueAsap(Notification notification, Coalesce coalesce,
                                    NotificationCenter* center) {
  if (!center) center = &NotificationCenter::Default();
  if (coalesce == Coalesce::kByName) {
    for (auto& item : pending_) {
      if (item.notification.name == notification.name) return;
    }
  }
  pending_.push_back({std::move(notification), center});
  source_->Signal();
}

void NotificationQueue::Deliver() {
  std::vector<Item> items;
  items.swap(pending_);
  for (auto& item : items) item.center->Post(item.notification);
}

}  // namespace runtime
