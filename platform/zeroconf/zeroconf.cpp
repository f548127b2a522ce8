#include "platform/zeroconf/zeroconf.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/runtime/run_loop.h"

namespace zeroconf {
namespace {

// The library's thread, its client, and the lock every call from another thread takes.
// Made on first use and kept for the life of the process: the daemon's objects belong to
// the client, and the client to the thread.
class Context {
 public:
  static Context* Shared(std::int32_t* error) {
    static std::mutex mutex;
    static Context* shared = nullptr;
    std::lock_guard lock(mutex);
    if (shared && !shared->failed_) return shared;
    auto* c = new Context();
    if (!c->Open(error)) {
      delete c;
      return nullptr;
    }
    shared = c;  // an earlier, failed context stays: objects made with it may still point at it
    return shared;
  }

  AvahiClient* client() const { return client_; }
  void Lock() { avahi_threaded_poll_lock(poll_); }
  void Unlock() { avahi_threaded_poll_unlock(poll_); }

 private:
  bool Open(std::int32_t* error) {
    poll_ = avahi_threaded_poll_new();
    if (!poll_) {
      if (error) *error = AVAHI_ERR_NO_MEMORY;
      return false;
    }
    int err = 0;
    client_ = avahi_client_new(avahi_threaded_poll_get(poll_), AVAHI_CLIENT_IGNORE_USER_CONFIG,
                               &Context::StateChanged, this, &err);
    if (!client_) {
      if (error) *error = err;
      avahi_threaded_poll_free(poll_);
      poll_ = nullptr;
      return false;
    }
    if (avahi_threaded_poll_start(poll_) < 0) {
      if (error) *error = AVAHI_ERR_FAILURE;
      avahi_client_free(client_);
      avahi_threaded_poll_free(poll_);
      return false;
    }
    return true;
  }

  static void StateChanged(AvahiClient*, AvahiClientState state, void* self) {
    if (state == AVAHI_CLIENT_FAILURE) static_cast<Context*>(self)->failed_ = true;
  }

  AvahiThreadedPoll* poll_ = nullptr;
  AvahiClient* client_ = nullptr;
  std::atomic<bool> failed_{false};
};

class LockGuard {
 public:
  explicit LockGuard(Context* c) : c_(c) { c_->Lock(); }
  ~LockGuard() { c_->Unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Context* c_;
};

// Whether the owner of a callback is still there when its result reaches the main thread.
struct Alive {
  std::atomic<bool> alive{true};
};

void OnMain(const std::shared_ptr<Alive>& alive, std::function<void()> f) {
  runtime::RunLoop::Main()->Perform([alive, f = std::move(f)] {
    if (alive->alive.load()) f();
  });
}

std::string WithoutDot(const std::string& s) {
  return !s.empty() && s.back() == '.' ? s.substr(0, s.size() - 1) : s;
}

std::string WithDot(const char* s) {
  std::string t = s ? s : "";
  if (t.empty() || t.back() != '.') t += '.';
  return t;
}

class AvahiRegistration : public Registration {
 public:
  AvahiRegistration(Context* c, std::string type, std::string name, std::uint16_t port, Callback callback)
      : c_(c), type_(std::move(type)), name_(std::move(name)), port_(port), callback_(std::move(callback)) {}

  ~AvahiRegistration() override {
    alive_->alive = false;
    LockGuard lock(c_);
    if (group_) avahi_entry_group_free(group_);
  }

  std::string name() const override {
    std::lock_guard lock(nameMutex_);
    return name_;
  }

  // With the library's lock held.
  int Start() {
    group_ = avahi_entry_group_new(c_->client(), &AvahiRegistration::GroupChanged, this);
    if (!group_) return avahi_client_errno(c_->client());
    return AddAndCommit();
  }

 private:
  int AddAndCommit() {
    for (int attempts = 0; attempts < 100; ++attempts) {
      const std::string name = this->name();
      const int r =
          avahi_entry_group_add_service(group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, AvahiPublishFlags(0),
                                        name.c_str(), type_.c_str(), nullptr, nullptr, port_, nullptr);
      if (r == AVAHI_ERR_COLLISION) {
        Rename();
        continue;
      }
      if (r < 0) return r;
      return avahi_entry_group_commit(group_);
    }
    return AVAHI_ERR_COLLISION;
  }

  void Rename() {
    std::lock_guard lock(nameMutex_);
    char* next = avahi_alternative_service_name(name_.c_str());
    if (next) {
      name_ = next;
      avahi_free(next);
    }
    renamed_ = true;
  }

  void Post(RegistrationEvent e) {
    OnMain(alive_, [this, e] { callback_(e); });
  }

  static void GroupChanged(AvahiEntryGroup* g, AvahiEntryGroupState state, void* data) {
    auto* self = static_cast<AvahiRegistration*>(data);
    if (!self->group_) self->group_ = g;  // called from inside avahi_entry_group_new
    switch (state) {
      case AVAHI_ENTRY_GROUP_ESTABLISHED: {
        RegistrationEvent e;
        e.kind = self->renamed_ ? RegistrationEvent::kRenamed : RegistrationEvent::kRegistered;
        e.name = self->name();
        self->renamed_ = false;
        self->Post(e);
        break;
      }
      case AVAHI_ENTRY_GROUP_COLLISION: {
        // Another host has the name: take the next one and publish again.
        self->Rename();
        avahi_entry_group_reset(g);
        if (const int r = self->AddAndCommit(); r < 0) self->Post({RegistrationEvent::kFailed, {}, r});
        break;
      }
      case AVAHI_ENTRY_GROUP_FAILURE:
        self->Post({RegistrationEvent::kFailed, {}, avahi_client_errno(avahi_entry_group_get_client(g))});
        break;
      default:
        break;
    }
  }

  Context* c_;
  std::string type_;
  mutable std::mutex nameMutex_;
  std::string name_;
  std::uint16_t port_;
  Callback callback_;
  AvahiEntryGroup* group_ = nullptr;
  bool renamed_ = false;  // library thread only
  std::shared_ptr<Alive> alive_ = std::make_shared<Alive>();
};

class AvahiBrowser : public Browser {
 public:
  AvahiBrowser(Context* c, Callback callback) : c_(c), callback_(std::move(callback)) {}
  ~AvahiBrowser() override {
    alive_->alive = false;
    LockGuard lock(c_);
    if (browser_) avahi_service_browser_free(browser_);
  }

  int Start(const std::string& type) {
    browser_ = avahi_service_browser_new(c_->client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, type.c_str(),
                                         nullptr, AvahiLookupFlags(0), &AvahiBrowser::Changed, this);
    return browser_ ? 0 : avahi_client_errno(c_->client());
  }

 private:
  // The results of the first burst are held until the daemon says it has given all it
  // knows, so that the burst is marked as one; later results come one by one.
  void Deliver(std::vector<BrowseEvent> events) {
    for (std::size_t i = 0; i < events.size(); ++i) events[i].moreComing = i + 1 < events.size();
    OnMain(alive_, [this, events = std::move(events)] {
      for (const auto& e : events) callback_(e);
    });
  }

  static void Changed(AvahiServiceBrowser*, AvahiIfIndex iface, AvahiProtocol, AvahiBrowserEvent event,
                      const char* name, const char* type, const char* domain, AvahiLookupResultFlags,
                      void* data) {
    auto* self = static_cast<AvahiBrowser*>(data);
    switch (event) {
      case AVAHI_BROWSER_NEW:
      case AVAHI_BROWSER_REMOVE: {
        BrowseEvent e;
        e.appeared = event == AVAHI_BROWSER_NEW;
        e.name = name ? name : "";
        e.type = WithDot(type);
        e.domain = WithDot(domain);
        e.interfaceIndex = iface;
        if (self->initialBurstDone_) {
          self->Deliver({e});
        } else {
          self->held_.push_back(std::move(e));
        }
        break;
      }
      case AVAHI_BROWSER_ALL_FOR_NOW:
        if (!self->initialBurstDone_) {
          self->initialBurstDone_ = true;
          if (!self->held_.empty()) self->Deliver(std::exchange(self->held_, {}));
        }
        break;
      default:
        break;
    }
  }

  Context* c_;
  Callback callback_;
  AvahiServiceBrowser* browser_ = nullptr;
  bool initialBurstDone_ = false;  // library thread only
  std::vector<BrowseEvent> held_;  // library thread only
  std::shared_ptr<Alive> alive_ = std::make_shared<Alive>();
};

class AvahiResolver : public Resolver {
 public:
  AvahiResolver(Context* c, Callback callback) : c_(c), callback_(std::move(callback)) {}
  ~AvahiResolver() override {
    alive_->alive = false;
    if (timer_) timer_->Invalidate();
    LockGuard lock(c_);
    if (resolver_) avahi_service_resolver_free(resolver_);
  }

  int Start(const std::string& name, const std::string& type, const std::string& domain,
            std::chrono::milliseconds timeout) {
    resolver_ =
        avahi_service_resolver_new(c_->client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, name.c_str(),
                                   type.c_str(), domain.empty() ? nullptr : domain.c_str(), AVAHI_PROTO_INET,
                                   AvahiLookupFlags(0), &AvahiResolver::Resolved, this);
    if (!resolver_) return avahi_client_errno(c_->client());
    auto alive = alive_;
    timer_ = runtime::Timer::Create(timeout, runtime::Nanoseconds(0), [this, alive](runtime::Timer&) {
      if (alive->alive.load()) Finish(std::nullopt);
    });
    runtime::RunLoop::Main()->AddTimer(timer_);
    return 0;
  }

 private:
  // Main thread; the callback hears one answer at most.
  void Finish(const std::optional<std::string>& address) {
    if (done_) return;
    done_ = true;
    if (timer_) timer_->Invalidate();
    callback_(address);
  }

  static void Resolved(AvahiServiceResolver*, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                       const char*, const char*, const char*, const char*, const AvahiAddress* address,
                       uint16_t port, AvahiStringList*, AvahiLookupResultFlags, void* data) {
    auto* self = static_cast<AvahiResolver*>(data);
    std::optional<std::string> result;
    if (event == AVAHI_RESOLVER_FOUND && address && address->proto == AVAHI_PROTO_INET) {
      char text[AVAHI_ADDRESS_STR_MAX] = {};
      avahi_address_snprint(text, sizeof text, address);
      result = std::string(text) + ":" + std::to_string(port);
    }
    OnMain(self->alive_, [self, result] { self->Finish(result); });
  }

  Context* c_;
  Callback callback_;
  AvahiServiceResolver* resolver_ = nullptr;
  std::shared_ptr<runtime::Timer> timer_;
  bool done_ = false;  // main thread only
  std::shared_ptr<Alive> alive_ = std::make_shared<Alive>();
};

}  // namespace

std::unique_ptr<Registration> Registration::Register(const std::string& type, const std::string& name,
                                                     std::uint16_t port, Callback callback,
                                                     std::int32_t* error) {
  Context* c = Context::Shared(error);
  if (!c) return nullptr;
  LockGuard lock(c);
  std::string chosen = name;
  if (chosen.empty()) {
    const char* host = avahi_client_get_host_name(c->client());
    chosen = host ? host : "Truvane";
  }
  auto r = std::make_unique<AvahiRegistration>(c, WithoutDot(type), chosen, port, std::move(callback));
  if (const int err = r->Start(); err < 0) {
    if (error) *error = err;
    return nullptr;
  }
  return r;
}

std::unique_ptr<Browser> Browser::Browse(const std::string& type, Callback callback, std::int32_t* error) {
  Context* c = Context::Shared(error);
  if (!c) return nullptr;
  LockGuard lock(c);
  auto b = std::make_unique<AvahiBrowser>(c, std::move(callback));
  if (const int err = b->Start(WithoutDot(type)); err < 0) {
    if (error) *error = err;
    return nullptr;
  }
  return b;
}

std::unique_ptr<Resolver> Resolver::Resolve(const std::string& name, const std::string& type,
                                            const std::string& domain, std::chrono::milliseconds timeout,
                                            Callback callback) {
  Context* c = Context::Shared(nullptr);
  if (!c) return nullptr;
  LockGuard lock(c);
  auto r = std::make_unique<AvahiResolver>(c, std::move(callback));
  if (r->Start(name, WithoutDot(type), WithoutDot(domain), timeout) < 0) return nullptr;
  return r;
}

std::string HostName() {
  Context* c = Context::Shared(nullptr);
  if (!c) return {};
  LockGuard lock(c);
  const char* host = avahi_client_get_host_name(c->client());
  return host ? host : "";
}

}  // namespace zeroconf
