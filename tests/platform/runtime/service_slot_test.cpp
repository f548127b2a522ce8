#include "platform/runtime/service_slot.h"

#include <gtest/gtest.h>

#include <algorithm>

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

}  // namespace
