// The connect dialog's form without its window: what a handed-in location and a chosen
// favourite put in the boxes, when the boxes still hold the favourite, what saving stores
// and what Connect connects to.

#include <gtest/gtest.h>

#include "app/browser/favourites/connect_form.h"
#include "app/browser/services/remote_rows.h"

namespace browser {
namespace {

TEST(ConnectFormTest, APreFilledLocationChoosesTheProtocolAndSplitsServerAndPath) {
  struct Case {
    const char* preFill;
    int tag;
    const char* host;
    const char* path;
  } cases[] = {
      {"ftp://files.example:2121/pub/x", 2, "files.example:2121", "/pub/x"},
      {"ftps://secure.example", 3, "secure.example", "/"},
      {"http://dav.example/team/", 6, "dav.example", "/team/"},
      {"https://dav.example/a", 7, "dav.example", "/a"},
      {"ftp:///", 2, "", "/"},
      {"https:///", 7, "", "/"},
      {"idisk://member-Public", 5, "member", ""},
      {"idisk://member-Public/ignored", 5, "member", ""},
      {"idisk://member/Documents", 4, "member", "/Documents"},
      {"idisk:///", 4, "", "/"},
      {"idisk://-Public/", 5, "", ""},
      {"peer.example", 1, "peer.example", ""},
      {"10.0.0.2:2550", 1, "10.0.0.2:2550", ""},
      {"FTP://upper.example", 1, "FTP://upper.example", ""},
  };
  for (const auto& c : cases) {
    const ConnectForm form = ParseConnectPreFill(c.preFill);
    EXPECT_EQ(form.tag, c.tag) << c.preFill;
    EXPECT_EQ(form.host, c.host) << c.preFill;
    EXPECT_EQ(form.path, c.path) << c.preFill;
  }
}

TEST(ConnectFormTest, AChosenFavouriteFillsTheBoxesByItsHostType) {
  struct Case {
    std::int32_t type;
    const char* address;
    int tag;
    const char* host;
    const char* path;
    const char* user;
  } cases[] = {
      {kHostFTP, "files.example:2121/pub", 2, "files.example:2121", "/pub", "someone"},
      {kHostFTP, "files.example", 2, "files.example", "/", "someone"},
      {kHostFTPS, "secure.example/in", 3, "secure.example", "/in", "someone"},
      {kHostWebDAV, "http://dav.example/team", 6, "dav.example", "/team", "someone"},
      {kHostSecureWebDAV, "dav.example", 7, "dav.example", "/", "someone"},
      {kHostPeerByAddress, "peer:2550", 1, "peer:2550", "", "someone"},
      {kHostIDisk, "member-Public", 5, "member", "", ""},
      {kHostIDisk, "member/Documents", 4, "member", "/Documents", ""},
      {0, "ftp://old.example/x", 2, "ftp://old.example/x", "/x", "someone"},
      {0, "ftps://old.example", 3, "ftps://old.example", "/", "someone"},
      {0, "elsewhere", 1, "elsewhere", "", "someone"},
  };
  for (const auto& c : cases) {
    const ConnectFavourite f{"F", c.address, c.type, "someone", "pw", "/local"};
    const ConnectForm form = ConnectFormForFavourite(f);
    EXPECT_EQ(form.tag, c.tag) << c.address;
    EXPECT_EQ(form.host, c.host) << c.address;
    EXPECT_EQ(form.path, c.path) << c.address;
    EXPECT_EQ(form.user, c.user) << c.address;
    EXPECT_EQ(form.password, "pw");
    EXPECT_EQ(form.localPath, "/local");
  }
}

TEST(ConnectFormTest, TheBoxesMatchTheFavouriteUntilAFieldReallyChanges) {
  const ConnectFavourite ftp{"F", "files.example/pub", kHostFTP, "someone", "pw", "/local"};
  const ConnectFavourite bare{"B", "files.example", kHostFTP, "someone", "pw", "/local"};
  const ConnectFavourite rooted{"R", "files.example/", kHostFTP, "someone", "pw", "/local"};
  const ConnectFavourite publicDisk{"P", "member-Public", kHostIDisk, "public", "", "/local"};
  const ConnectFavourite disk{"D", "member/Docs", kHostIDisk, "member", "pw", "/local"};
  ConnectForm ftpForm{2, "files.example", "/pub", "someone", "pw", "/local"};
  struct Case {
    const char* what;
    ConnectForm form;
    ConnectFavourite favourite;
    bool matches;
  } cases[] = {
      {"unchanged", ftpForm, ftp, true},
      {"blanks around the boxes", {2, " files.example ", "/pub\n", " someone", "pw", "/local"}, ftp, true},
      {"another password", {2, "files.example", "/pub", "someone", "pw2", "/local"}, ftp, false},
      {"a blank in the password", {2, "files.example", "/pub", "someone", "pw ", "/local"}, ftp, false},
      {"another user", {2, "files.example", "/pub", "other", "pw", "/local"}, ftp, false},
      {"another folder", {2, "files.example", "/pub", "someone", "pw", "/tmp"}, ftp, false},
      {"another path", {2, "files.example", "/pub2", "someone", "pw", "/local"}, ftp, false},
      {"an empty path for the root", {2, "files.example", "", "someone", "pw", "/local"}, rooted, true},
      {"the root's slash for an address without one",
       {2, "files.example", "/", "someone", "pw", "/local"},
       bare,
       false},
      {"no path for an address without one", {2, "files.example", "", "someone", "pw", "/local"}, bare, true},
      {"a public disk without its suffix", {5, "member", "", "", "", "/local"}, publicDisk, true},
      {"the disk's user is not compared", {4, "member", "/Docs", "anybody", "pw", "/local"}, disk, true},
      {"another member", {4, "member2", "/Docs", "", "pw", "/local"}, disk, false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesFavourite(c.form, c.favourite), c.matches) << c.what;
}

TEST(ConnectFormTest, SavingStoresTheAddressUserAndTypeOfTheProtocol) {
  struct Case {
    ConnectForm form;
    StoredFavouriteAddress stored;
  } cases[] = {
      {{2, " ftp://files.example ", "pub", " someone ", "pw", ""},
       {"files.example/pub", "someone", kHostFTP}},
      {{2, "files.example/", "", "someone", "", ""}, {"files.example/", "someone", kHostFTP}},
      {{3, "ftps://secure.example", "/in", "u", "", ""}, {"secure.example/in", "u", kHostFTPS}},
      {{6, "http://dav.example", "/team", "u", "", ""}, {"dav.example/team", "u", kHostWebDAV}},
      {{7, "dav.example", "", "u", "", ""}, {"dav.example/", "u", kHostSecureWebDAV}},
      {{4, "member", "Docs", "ignored", "", ""}, {"member/Docs", "member", kHostIDisk}},
      {{5, "member", "/ignored", "ignored", "", ""}, {"member-Public", "public", kHostIDisk}},
      {{5, "member-Public", "", "", "", ""}, {"member-Public", "public", kHostIDisk}},
      {{1, "peer.example", "", "Guest", "", ""}, {"peer.example", "Guest", kHostPeerByAddress}},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredAddressForConnectForm(c.form), c.stored) << c.form.host;
}

TEST(ConnectFormTest, ConnectingMakesTheLocationOfEachProtocol) {
  struct Case {
    ConnectForm form;
    std::optional<ConnectRequest> request;
  } cases[] = {
      {{2, " ftp://files.example/ ", "pub ", " u ", "pw", ""},
       ConnectRequest{2, "ftp://files.example/pub", "u", "pw", "/pub"}},
      {{3, "ftps://secure.example", "", "u", "pw", ""},
       ConnectRequest{3, "ftps://secure.example/", "u", "pw", "/"}},
      {{1, "peer.example", "", "Guest", "", ""}, ConnectRequest{1, "peer.example:2550", "Guest", "", "/"}},
      {{1, "peer.example:3000", "", "", "", ""}, ConnectRequest{1, "peer.example:3000", "", "", "/"}},
      {{4, "member", "/Docs", "", "pw", ""}, ConnectRequest{4, "member", "member", "pw", "/Docs"}},
      {{5, "member", "", "", "", ""}, ConnectRequest{5, "member-Public", "public", "", "/"}},
      {{6, "http://dav.example/", "team", "u", "pw", ""},
       ConnectRequest{6, "dav.example", "u", "pw", "/team"}},
      {{7, "dav.example:8443", "", "u", "pw", ""}, ConnectRequest{7, "dav.example:8443", "u", "pw", "/"}},
      {{2, "  \t", "/pub", "u", "pw", ""}, std::nullopt},
      {{2, "", "", "", "", ""}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ConnectRequestForForm(c.form), c.request) << c.form.host;
}

TEST(ConnectFormTest, AnUploadsDestinationOpensTheDialogOnItsLocation) {
  struct Case {
    std::int32_t type;
    const char* host;
    const char* path;
    const char* preFill;
    std::optional<std::string> user;
  } cases[] = {
      {kHostFTP, "files.example", "/in", "ftp://files.example/in", "u"},
      {kHostFTP, "ftp://files.example", "/in", "ftp://files.example/in", "u"},
      {kHostFTPS, "secure.example", "/", "ftps://secure.example/", "u"},
      {kHostWebDAV, "dav.example", "/team", "http://dav.example/team", "u"},
      {kHostSecureWebDAV, "https://dav.example", "/t", "https://dav.example/t", "u"},
      {kHostIDisk, "ignored", "/member/Docs", "idisk://member/Docs", std::nullopt},
      {kHostPeerByAddress, "peer.example:2551", "", "peer.example", "u"},
      {kHostBonjourPeer, "peer.example:3000", "", "peer.example:3000", "u"},
  };
  for (const auto& c : cases) {
    const ConnectDialogRequest r = ConnectDialogRequestForUpload(c.type, c.host, c.path, "u", "pw");
    EXPECT_EQ(r.preFill, c.preFill) << c.host;
    EXPECT_EQ(r.user, c.user) << c.host;
    EXPECT_EQ(r.password, "pw") << c.host;
  }
}

}  // namespace
}  // namespace browser
