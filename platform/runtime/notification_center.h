#pragma once
// Local notifications: one part of the program tells whoever cares that something
// happened ("active downloads change"), without knowing who that is.
//
// A notification has a name, an optional object (who it is about; observers may ask
// for one object only, compared by identity) and user info (a values::Value, usually a
// dictionary). `Post` calls the matching observers at once, on the posting thread, in
// registration order. An observer stays registered while its Subscription lives.
//
// `NotificationQueue` is the thread's queue of notifications posted "as soon as
// possible": they are delivered in the thread's run loop at its next pass, and a
// notification coalesced by name is dropped when one of the same name is already
// waiting (a burst of "redisplay" requests becomes one redisplay).

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/runtime/object_handle.h"
#include "platform/runtime/run_loop.h"
#include "platform/runtime/subscription.h"
#include "platform/values/value.h"

namespace runtime {

// Every member has an initializer: designated initializers name only what they post.
struct Notification {
  std::string name{};
  ObjectHandle object{};
  values::Value user_info{};
};

class NotificationCenter : public std::enable_shared_from_this<NotificationCenter> {
 public:
  using Callback = std::function<void(const Notification&)>;

  static NotificationCenter& Default();
  static std::shared_ptr<NotificationCenter> Create();

  // An empty `name` observes every name; an empty `object` any object.
  [[nodiscard]] Subscription AddObserver(std::string name, ObjectHandle object, Callback callback);
  void Post(const Notification& notification);
  void Post(std::string name, ObjectHandle object = {}, values::Value user_info = {});

 private:
  struct Entry {
    std::uint64_t id;
    std::string name;
    ObjectHandle object;
    Callback callback;
    bool active = true;  // guarded by mutex_
  };
  std::mutex mutex_;
  std::uint64_t next_id_ = 1;
  std::vector<std::shared_ptr<Entry>> entries_;
};

class NotificationQueue {
 public:
  enum class Coalesce { kNone, kByName };

  // The calling thread's queue, delivering in RunLoop::Current().
  static NotificationQueue& Current();

  // From the queue's own thread only. Delivered through `center` (the default one when
  // null), which must outlive the delivery.
  void EnqueueAsap(Notification notification, Coalesce coalesce = Coalesce::kByName,
                   NotificationCenter* center = nullptr);
  std::size_t Pending() const { return pending_.size(); }

  NotificationQueue();
  ~NotificationQueue();

 private:
  void Deliver();
  struct Item {
    Notification notification;
    NotificationCenter* center;
  };
  std::vector<Item> pending_;
  std::shared_ptr<Source> source_;
};

}  // namespace runtime
