// The favourite's edit sheet without its window: the form shown for each kind of favourite,
// what OK stores, a name that is taken; duplicates and the look-ups by login.

#include <gtest/gtest.h>

#include "app/browser/favourites/favourite_editing.h"

namespace browser {
namespace {

class FavouriteEditingTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearFavourites(); }
  void TearDown() override { ClearFavourites(); }
};

TEST_F(FavouriteEditingTest, TheFormOfEachKindOfFavourite) {
  struct Case {
    std::int32_t type;
    const char* address;
    int tag;
    const char* host;
    const char* path;
  } cases[] = {
      {kHostFTP, "files.example:2121/pub/x", 2, "ftp://files.example:2121", "/pub/x"},
      {kHostFTPS, "ftps://secure.example", 3, "ftps://secure.example", "/"},
      {kHostSecureWebDAV, "https://dav.example/team", 7, "https://dav.example", "/team"},
      {kHostPeerByAddress, "peer:2550", 1, "peer:2550", ""},
      {kHostIDisk, "member-Public", 5, "member", ""},
      {kHostIDisk, "member/Documents", 4, "member", "/Documents"},
  };
  for (const auto& c : cases) {
    TRFavourite f("F", c.address, "someone", "pw", c.type, "/local");
    const FavouriteEditForm form = FavouriteEditFormFor(f);
    EXPECT_EQ(form.tag, c.tag) << c.address;
    EXPECT_EQ(form.host, c.host) << c.address;
    EXPECT_EQ(form.path, c.path) << c.address;
    EXPECT_EQ(form.user, c.type == kHostIDisk ? "" : "someone") << c.address;
    EXPECT_EQ(form.localPath, "/local");
  }
  EXPECT_EQ(AdjustForProtocolTag(5)->serverLabel, "iDisk Name:");
  EXPECT_TRUE(AdjustForProtocolTag(5)->passwordEmptied);
  EXPECT_FALSE(AdjustForProtocolTag(1)->pathEnabled);
  EXPECT_EQ(AdjustForProtocolTag(3)->image, "ftp_ssl");
  EXPECT_FALSE(AdjustForProtocolTag(8));
}

TEST_F(FavouriteEditingTest, OkStoresTheAddressOfTheChosenProtocol) {
  struct Case {
    int tag;
    const char* host;
    const char* path;
    const char* address;
    std::int32_t type;
    const char* user;
  } cases[] = {
      {2, " ftp://srv/ ", "pub", "ftp://srv/pub", kHostFTP, "me"},
      {3, "srv", "", "ftps://srv/", kHostFTPS, "me"},
      {7, "https://dav", "/team", "https://dav/team", kHostSecureWebDAV, "me"},
      {4, "member", "/Docs", "member/Docs", kHostIDisk, "member"},
      {5, "member", "", "member-Public/", kHostIDisk, "public"},
      {1, "peer:2550", "", "peer:2550", kHostPeerByAddress, "me"},
  };
  for (const auto& c : cases) {
    FavouriteRef f = AddFavourite("F", "old", "me", "pw", kHostFTP, "");
    FavouriteEditForm form = FavouriteEditFormFor(*f);
    form.tag = c.tag;
    form.host = c.host;
    form.path = c.path;
    ASSERT_TRUE(ApplyFavouriteEdit(f, form));
    EXPECT_EQ(f->address(), c.address) << c.host;
    EXPECT_EQ(f->hostType(), c.type) << c.host;
    EXPECT_EQ(f->user(), std::optional<std::string>(c.user)) << c.host;
    ClearFavourites();
  }
}

TEST_F(FavouriteEditingTest, ATakenNameKeepsTheSheetOpenAndARenameMovesTheEntry) {
  FavouriteRef a = AddFavourite("A", "h", "u", "p", kHostFTP, "");
  AddFavourite("B", "h2", "u", "p", kHostFTP, "");
  FavouriteEditForm form = FavouriteEditFormFor(*a);
  form.name = "B";
  form.host = "changed";
  EXPECT_FALSE(ApplyFavouriteEdit(a, form));
  EXPECT_EQ(a->address(), "h");
  form.name = "C";
  EXPECT_TRUE(ApplyFavouriteEdit(a, form));
  EXPECT_EQ(FavouriteFindByName("C"), a);
  EXPECT_FALSE(FavouriteFindByName("A"));
  EXPECT_EQ(CopyFavouritesPreferenceDictionary().count("A"), 0u);
}

TEST_F(FavouriteEditingTest, DuplicatesAndLookUpsByLogin) {
  FavouriteRef n = AddFavourite("N", "peer:2550", "", "secret", kHostPeerByAddress, "");
  EXPECT_EQ(FavouriteDuplicate(n)->name(), "N copy");
  EXPECT_EQ(FavouriteDuplicate(n)->name(), "N copy 1");
  EXPECT_EQ(FavouriteDuplicate(FavouriteFindByName("N copy"))->name(), "N copy 2");
  EXPECT_EQ(FindFavouriteNameForLogin("peer:2550", "guest", "secret").has_value(), true);
  EXPECT_FALSE(FindFavouriteNameForLogin("peer:2550", "Guest", "wrong"));
  AddFavourite("open", "other:2550", "", "", kHostPeerByAddress, "");
  EXPECT_FALSE(FindFavouriteNameForLogin("other:2550", "", ""));
  EXPECT_EQ(FindFavouriteNameForHost("other:2550", "Guest", "anything", kHostPeerByAddress),
            std::optional<std::string>("open"));
  EXPECT_FALSE(FindFavouriteNameForHost("other:2550", "Guest", "", kHostBonjourPeer));
}

}  // namespace
}  // namespace browser
