#pragma once
// The one way a seam between subsystems is held: a slot per interface, holding the
// installed implementation, or the interface's default until something is installed.
//
// A seam is owned by the subsystem that is called. Its service header (in the owner's
// `services/` folder) declares the interface, a default that does the least (answers
// "none", Cancel, nothing found: never something that loses data) and the slot:
//
//   class ConfirmationService { ... };
//   class UnansweredConfirmationService : public ConfirmationService { ... };
//   using ConfirmationServiceSlot =
//       runtime::ServiceSlot<ConfirmationService, UnansweredConfirmationService>;
//
// Callers use `ConfirmationServiceSlot::Get()`. Start-up installs the real implementation
// with `Set()` once the owner is built; tests install fakes the same way and put the old
// one back with the returned pointer. Installing null puts the default back.
//
// A lower layer that must reach a higher one (the engine its windows, the transfer log
// the queue's records) does not include it: it declares the interface it needs in its
// own `services/` folder, and the higher layer installs the implementation at start-up.
// Single calls outward without a role behind them are hooks instead (hook_slot.h, which
// tells the two styles apart).
//
// Every slot is listed by name (`ServiceSlots()`) with whether its default is still in
// place, so the running program can report which services it was started with; a seam
// whose owner exists but whose default is still installed is a wiring fault.
//
// Slots are set on the main thread before the tasks that read them start (start-up) or
// while none runs (tests); reading from any thread afterwards needs no lock.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace runtime {

struct ServiceSlotInfo {
  std::string name;
  std::function<bool()> isDefault;
};

// Every slot that has been touched (read or set) in this process, in first-use order.
inline std::vector<ServiceSlotInfo>& ServiceSlots() {
  static std::vector<ServiceSlotInfo> slots;
  return slots;
}

namespace internal {
template <class T>
std::string ServiceTypeName() {
  // __PRETTY_FUNCTION__ carries "T = ns::Name"; good enough to name a slot in a report.
  std::string f = __PRETTY_FUNCTION__;
  auto at = f.find("T = ");
  if (at == std::string::npos) return f;
  auto end = f.find_first_of(";]", at);
  return f.substr(at + 4, end - at - 4);
}
}  // namespace internal

template <class Interface, class Default>
class ServiceSlot {
 public:
  static Interface& Get() { return *Holder().service; }

  // Installs `service` (the default when null) and returns the one it replaces.
  static std::unique_ptr<Interface> Set(std::unique_ptr<Interface> service) {
    auto& h = Holder();
    h.isDefault = !service;
    if (!service) service = std::make_unique<Default>();
    return std::exchange(h.service, std::move(service));
  }

  static bool IsDefault() { return Holder().isDefault; }

 private:
  struct State {
    std::unique_ptr<Interface> service = std::make_unique<Default>();
    bool isDefault = true;
  };
  static State& Holder() {
    static State* state = [] {
      static State s;
      ServiceSlots().push_back({internal::ServiceTypeName<Interface>(), [] { return Holder().isDefault; }});
      return &s;
    }();
    return *state;
  }
};

}  // namespace runtime
