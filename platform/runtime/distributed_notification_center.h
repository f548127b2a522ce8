#pragma once
// Distributed notifications: a name (and optional user info) broadcast to every process
// of the same user that listens, this one included. It is how the application and its
// browser and file-manager plug-ins tell each other that shared settings changed.
//
// No daemon is involved. Each listening centre binds a Unix datagram socket in
// $XDG_RUNTIME_DIR/truvane/notifications/ (folders of mode 0700, so only the same user
// can reach them); posting sends one datagram to every socket found there, and removes
// the sockets of processes that have gone. Delivery is best-effort, like the platform's:
// a listener whose socket buffer is full misses the notification.
//
// A centre delivers to its observers on the run loop it was opened for (the main loop
// for `Default()`), so that loop must run. Posting needs no centre and no loop.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/run_loop.h"
#include "platform/runtime/status.h"
#include "platform/runtime/subscription.h"
#include "platform/runtime/unique_fd.h"
#include "platform/values/value.h"

namespace runtime {

// The names the plug-ins listen to.
inline constexpr std::string_view kBrowserConfigurationChangingNotification =
    "com.orbenix.truvane.browserconfigurationChanging";
inline constexpr std::string_view kPluginChangingBrowserConfigNotification =
    "com.orbenix.truvane.pluginChangingBrowserConfig";
inline constexpr std::string_view kContextPrefsChangeNotification = "com.orbenix.truvane.contextprefschange";

class DistributedNotificationCenter : public std::enable_shared_from_this<DistributedNotificationCenter> {
 public:
  using Callback = std::function<void(const std::string& name, const values::Value& user_info)>;

  // The process's centre, delivering on the main run loop.
  static std::shared_ptr<DistributedNotificationCenter> Default();
  // A centre of its own (another connection), delivering on `loop` (the calling
  // thread's loop when null).
  static std::shared_ptr<DistributedNotificationCenter> Open(std::shared_ptr<RunLoop> loop = nullptr);

  // An empty `name` observes every name. The centre starts listening with its first
  // observer; `status` (when given) tells whether it could.
  [[nodiscard]] Subscription AddObserver(std::string name, Callback callback, Status* status = nullptr);

  // Sends to every listening centre of this user.
  static Status Post(std::string_view name, const values::Value& user_info = {});
  // The folder of the sockets (made, mode 0700, when missing); empty when it cannot be.
  static std::string Folder();

  explicit DistributedNotificationCenter(std::shared_ptr<RunLoop> loop);
  ~DistributedNotificationCenter();
  DistributedNotificationCenter(const DistributedNotificationCenter&) = delete;
  DistributedNotificationCenter& operator=(const DistributedNotificationCenter&) = delete;

 private:
  struct Entry {
    std::string name;
    Callback callback;
    bool active = true;
  };
  Status ListenLocked();
  void Receive();

  std::shared_ptr<RunLoop> loop_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<Entry>> entries_;
  UniqueFd socket_;
  std::string socket_path_;
  std::shared_ptr<DescriptorWatch> watch_;
};

}  // namespace runtime
