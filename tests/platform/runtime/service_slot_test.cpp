#include "platform/runtime/service_slot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "platform/runtime/hook_slot.h"
#include "platform/runtime/seam_list.h"

namespace {

class Greeter {
 public:
  virtual ~Greeter() = default;
  virtual const char* Greet() = 0;
};
class SilentGreeter : public Greeter {
 public:
  const char* Greet() override { return ""; }
};
class LoudGreeter : public Greeter {
 public:
  const char* Greet() override { return "hello"; }
};
using GreeterSlot = runtime::ServiceSlot<Greeter, SilentGreeter>;

bool ListedAsDefault() {
  auto& slots = runtime::ServiceSlots();
  auto it = std::find_if(slots.begin(), slots.end(), [](const runtime::ServiceSlotInfo& s) {
    return s.name.find("Greeter") != std::string::npos;
  });
  EXPECT_NE(it, slots.end());
  return it != slots.end() && it->isDefault();
}

TEST(ServiceSlotTest, HoldsTheDefaultUntilInstalledAndPutsItBackForNull) {
  EXPECT_STREQ(GreeterSlot::Get().Greet(), "");
  EXPECT_TRUE(ListedAsDefault());

  auto previous = GreeterSlot::Set(std::make_unique<LoudGreeter>());
  EXPECT_STREQ(GreeterSlot::Get().Greet(), "hello");
  EXPECT_FALSE(GreeterSlot::IsDefault());
  EXPECT_FALSE(ListedAsDefault());
  EXPECT_STREQ(previous->Greet(), "");

  GreeterSlot::Set(nullptr);
  EXPECT_STREQ(GreeterSlot::Get().Greet(), "");
  EXPECT_TRUE(ListedAsDefault());
}

// A class that derives from the do-nothing default fills in only what it overrides; the
// seam list tells it from a real implementation.
class PartlyLoudGreeter : public SilentGreeter {};

// The seam whose name ends with `name` (a slot is named by its interface's full name).
const runtime::SeamEntry* FindSeam(const std::string& name) {
  for (const runtime::SeamEntry& seam : runtime::Seams())
    if (seam.name.size() >= name.size() &&
        seam.name.compare(seam.name.size() - name.size(), name.size(), name) == 0)
      return &seam;
  return nullptr;
}

TEST(ServiceSlotTest, TheSeamListTellsInstalledFromDefaultAndFromDerivedFromDefault) {
  runtime::ListServiceSlot<GreeterSlot>(runtime::PendingOn("the greeting window"));
  const runtime::SeamEntry* seam = FindSeam("::Greeter");
  ASSERT_NE(seam, nullptr);
  EXPECT_EQ(seam->rule.installer, runtime::SeamInstaller::kPending);
  EXPECT_STREQ(seam->rule.reason, "the greeting window");

  struct Case {
    std::function<std::unique_ptr<Greeter>()> make;
    runtime::SeamState state;
  };
  const Case cases[] = {
      {[] { return nullptr; }, runtime::SeamState::kDefault},
      {[] { return std::make_unique<LoudGreeter>(); }, runtime::SeamState::kInstalled},
      {[] { return std::make_unique<PartlyLoudGreeter>(); }, runtime::SeamState::kDerivedFromDefault},
      {[] { return std::make_unique<SilentGreeter>(); }, runtime::SeamState::kDerivedFromDefault},
  };
  for (const Case& c : cases) {
    GreeterSlot::Set(c.make());
    EXPECT_EQ(seam->state(), c.state);
  }
  GreeterSlot::Set(nullptr);
}

struct DoorHooks {
  std::function<void()> open;
  std::function<bool(int)> lock;
};
using DoorHooksSlot = runtime::HookSlot<DoorHooks>;

TEST(HookListTest, EachMemberIsListedAndReportedOnItsOwn) {
  runtime::ListHooks<DoorHooksSlot>(
      "test::DoorHooks", {{"open", &DoorHooks::open, runtime::AtStartUp()},
                          {"lock", &DoorHooks::lock, runtime::DefaultServes("doors stay unlocked")}});
  const runtime::SeamEntry* open = FindSeam("test::DoorHooks.open");
  const runtime::SeamEntry* lock = FindSeam("test::DoorHooks.lock");
  ASSERT_TRUE(open && lock);
  EXPECT_EQ(lock->rule.installer, runtime::SeamInstaller::kDefaultServes);
  EXPECT_EQ(open->state(), runtime::SeamState::kDefault);
  DoorHooksSlot::Get().open = [] {};
  EXPECT_EQ(open->state(), runtime::SeamState::kInstalled);
  EXPECT_EQ(lock->state(), runtime::SeamState::kDefault);
  DoorHooksSlot::Reset();
  EXPECT_EQ(open->state(), runtime::SeamState::kDefault);
}

}  // namespace
