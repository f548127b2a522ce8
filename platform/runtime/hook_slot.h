#pragma once
// The one way a piece of code calls out to pieces that install themselves later: a hook
// struct, a plain struct of std::function members, one per call, held by a HookSlot.
//
// Two seam styles, for two kinds of call (service_slot.h is the other):
//  - A service slot (runtime::ServiceSlot<Interface, Default>) is a seam between
//    subsystems: an interface owned by the subsystem that is called, declared in its
//    `services/` folder, with a default that does the least. Use it when the caller needs
//    an answer or a whole role played by another subsystem, and a test replaces that role
//    with a recording fake.
//  - A hook struct is a list of single calls a subsystem makes outward, to its own later
//    pieces or to a subsystem above it that it must not include: the store tells that
//    the settings were loaded, the queue tells that an element changed, the shell's
//    start-up asks the windows to open. The struct is declared next to the code that
//    calls it; whoever sits above fills its members in at start-up (app/shell/startup.cpp),
//    tests fill in recording ones. An empty member is "not installed": `CallHook` then does
//    nothing and `AskHook` answers the given `none`.
//
//   struct QueueHooks { std::function<void(const std::string&)> showMessage; ... };
//   using QueueHooksSlot = runtime::HookSlot<QueueHooks>;
//   runtime::CallHook(QueueHooksSlot::Get().showMessage, text);
//
// A hook struct whose members start out installed (the shell's undo switch, the
// scheduler's own start) says so with a static `Defaults()`; the slot starts from it.
//
// Like the service slots, hooks are set on the main thread before the tasks that read
// them start (start-up) or while none runs (tests).

#include <functional>
#include <utility>

namespace runtime {

template <class Hooks>
class HookSlot {
 public:
  static Hooks& Get() {
    static Hooks hooks = Defaults();
    return hooks;
  }
  // Every hook back to not installed.
  static void Reset() { Get() = Hooks{}; }
  // Every hook back to what the slot started with (tests, after installing recording ones).
  static void RestoreDefaults() { Get() = Defaults(); }

 private:
  static Hooks Defaults() {
    if constexpr (requires { Hooks::Defaults(); }) {
      return Hooks::Defaults();
    } else {
      return Hooks{};
    }
  }
};

// Calls the hook when it is installed.
template <class F, class... Args>
void CallHook(const F& hook, Args&&... args) {
  if (hook) hook(std::forward<Args>(args)...);
}

// The hook's answer, or `none` when it is not installed.
template <class R, class... Args>
R AskHook(const std::function<R(Args...)>& hook, R none, Args... args) {
  return hook ? hook(args...) : none;
}

}  // namespace runtime
