#pragma once
// Every seam of the program, listed by the subsystem that defines it: each service slot
// and each member of each hook struct, with who installs it. Each subsystem keeps its list
// in its own seam_list.cpp, beside the definitions, and the services report asks every
// subsystem for its list, so the running program can say, for every seam whether it was
// used or not, whether the real implementation is in place and, when not, why:
//
//   runtime::ListServiceSlot<UiServicesSlot>(runtime::AtStartUp());
//   runtime::ListHooks<ShellHooksSlot>(
//       "shell::ShellHooks", {{"createMainWindow", &ShellHooks::createMainWindow, runtime::WithDisplay()},
//                             ...});
//
// A hook struct's list must name every member: `ListHooks` compares the struct's size with
// the members listed, so a member added without its line does not compile. A slot defined
// without its line is found by scripts/check_layering.py.
//
// How a seam is installed:
//  - AtStartUp: start-up installs it, with or without a display;
//  - WithDisplay: start-up installs it where there is a display (a window's part); headless
//    runs keep the default;
//  - DefaultServes(why): the default is what the program needs (the Linux implementation
//    itself, or a role no part of this program plays), said why;
//  - PendingOn(owner): the window or subsystem that will install it is not built yet.

#include <cstddef>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/runtime/hook_slot.h"
#include "platform/runtime/service_slot.h"

namespace runtime {

enum class SeamInstaller { kAtStartUp, kWithDisplay, kDefaultServes, kPending };

struct SeamRule {
  SeamInstaller installer = SeamInstaller::kAtStartUp;
  // Why the default serves, or the owner that will install the seam.
  const char* reason = "";
};

constexpr SeamRule AtStartUp() {
  return {SeamInstaller::kAtStartUp, ""};
}
constexpr SeamRule WithDisplay() {
  return {SeamInstaller::kWithDisplay, ""};
}
constexpr SeamRule DefaultServes(const char* why) {
  return {SeamInstaller::kDefaultServes, why};
}
constexpr SeamRule PendingOn(const char* owner) {
  return {SeamInstaller::kPending, owner};
}

// What a seam holds now.
enum class SeamState {
  kInstalled,
  kDefault,
  // An implementation was installed but it is the default's class or derives from it, so
  // whatever it leaves out still does nothing without the compiler saying so.
  kDerivedFromDefault,
};

struct SeamEntry {
  std::string name;
  SeamRule rule;
  std::function<SeamState()> state;
};

// Every listed seam, in listing order.
inline std::vector<SeamEntry>& Seams() {
  static std::vector<SeamEntry> seams;
  return seams;
}

namespace internal {
template <class Interface, class Default>
Default* SlotDefault(ServiceSlot<Interface, Default>*);
template <class Interface, class Default>
Interface* SlotInterface(ServiceSlot<Interface, Default>*);
template <class Slot>
using SlotDefaultType = std::remove_pointer_t<decltype(SlotDefault(static_cast<Slot*>(nullptr)))>;
template <class Slot>
using SlotInterfaceType = std::remove_pointer_t<decltype(SlotInterface(static_cast<Slot*>(nullptr)))>;
template <class Hooks>
Hooks* SlotHooks(HookSlot<Hooks>*);
template <class Slot>
using SlotHooksType = std::remove_pointer_t<decltype(SlotHooks(static_cast<Slot*>(nullptr)))>;
}  // namespace internal

// The state of a service slot: an installed implementation that is the default's class or
// derives from it is told apart from a real one.
template <class Slot>
SeamState ServiceSlotState() {
  if (Slot::IsDefault()) return SeamState::kDefault;
  using Default = internal::SlotDefaultType<Slot>;
  return dynamic_cast<Default*>(&Slot::Get()) != nullptr ? SeamState::kDerivedFromDefault
                                                         : SeamState::kInstalled;
}

// Lists a service slot (runtime::ServiceSlot) under its interface's name.
template <class Slot>
void ListServiceSlot(SeamRule rule) {
  Seams().push_back({internal::ServiceTypeName<internal::SlotInterfaceType<Slot>>(), rule,
                     [] { return ServiceSlotState<Slot>(); }});
}

// One member of a hook struct, by its name and member pointer.
template <class Hooks>
struct HookMember {
  template <class F>
  HookMember(const char* memberName, F Hooks::*member, SeamRule memberRule)
      : name(memberName),
        rule(memberRule),
        isSet([member](const Hooks& h) { return static_cast<bool>(h.*member); }) {}
  const char* name;
  SeamRule rule;
  std::function<bool(const Hooks&)> isSet;
};

// Lists every member of a hook struct (runtime::HookSlot) as "<struct>.<member>".
template <class Slot, std::size_t N>
void ListHooks(const char* structName, const HookMember<internal::SlotHooksType<Slot>> (&members)[N]) {
  using Hooks = internal::SlotHooksType<Slot>;
  // Every member of a hook struct is a std::function, all of one size: a struct larger than
  // its listed members has one that is not listed.
  static_assert(sizeof(Hooks) == N * sizeof(std::function<void()>),
                "a hook struct's list names each of its members: add the new one with its installer");
  for (const HookMember<Hooks>& m : members) {
    Seams().push_back({std::string(structName) + "." + m.name, m.rule, [isSet = m.isSet] {
                         return isSet(Slot::Get()) ? SeamState::kInstalled : SeamState::kDefault;
                       }});
  }
}

}  // namespace runtime
