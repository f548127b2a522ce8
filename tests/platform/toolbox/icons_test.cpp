#include "platform/toolbox/theme/icons.h"

#include <gtest/gtest.h>

#include "platform/toolbox/drawing/drawing_context.h"
#include "tests/support/temp_home.h"

namespace toolbox {
namespace {

TEST(Icons, PngResourcesAreRegisteredByCreatorAndType) {
  const std::string folder = testsupport::MakeTempDir("res");
  const Image red = Image::Render(16, 16, Origin::kTopLeft, [](DrawingContext& c) {
    c.SetFillColor({1, 0, 0, 1});
    c.FillRect({0, 0, 16, 16});
  });
  ASSERT_TRUE(red.SavePng(folder + "/prioHigh.png"));
  SetResourceFolder(folder);
  const auto creator = values::FourCC("Truv"), type = values::FourCC("PriH");
  EXPECT_FALSE(RegisterIconResource(creator, values::FourCC("none"), "missing").has_value());
  ASSERT_TRUE(RegisterIconResource(creator, type, "prioHigh").has_value());
  auto found = FindIcon(creator, type);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->PixelAt(8, 8), (Color{1, 0, 0, 1}));
  EXPECT_FALSE(FindIcon(creator, values::FourCC("PriL")).has_value());
  SetResourceFolder("");
}

TEST(Icons, EveryFileTypeHasAnIconOfTheAskedSize) {
  for (const char* ext : {"zip", "txt", "", "no-such-extension-xyz"}) {
    const Image icon = IconForFileExtension(ext, 32);
    EXPECT_EQ(icon.width(), 32) << ext;
    bool drawn = false;
    for (int y = 0; y < icon.height() && !drawn; ++y)
      for (int x = 0; x < icon.width() && !drawn; ++x) drawn = icon.PixelAt(x, y).alpha > 0.5;
    EXPECT_TRUE(drawn) << "icon for '" << ext << "' is empty";
  }
  EXPECT_EQ(IconForFolder(16).width(), 16);
}

}  // namespace
}  // namespace toolbox
