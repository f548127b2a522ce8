// Server favourites: the designated initialiser, order, unique names and the stored form
// with the password enciphered.

#include <gtest/gtest.h>

#include <memory>

#include "app/browser/favourites/favourites.h"
#include "app/browser/services/stored_password_service.h"
#include "app/browser/stored_password_cipher.h"
#include "app/sharing/services/sharing_rows.h"
#include "tests/fakes/fake_ui_services.h"
#include "tests/support/temp_home.h"

namespace browser {
namespace {

// A reversible stand-in cipher: the tests check what is stored, not the cipher itself.
class MarkedCipher : public StoredPasswordService {
 public:
  std::optional<values::Bytes> EncryptStoredPassword(const values::Bytes& plain) override {
    if (noKey) return std::nullopt;
    values::Bytes out{'E', ':'};
    for (auto b : plain) out.push_back(static_cast<std::uint8_t>(b ^ 0x5A));
    return out;
  }
  std::optional<values::Bytes> DecryptStoredPassword(const values::Bytes& e) override {
    if (noKey || e.size() < 2 || e[0] != 'E' || e[1] != ':') return std::nullopt;
    values::Bytes out;
    for (std::size_t i = 2; i < e.size(); ++i) out.push_back(static_cast<std::uint8_t>(e[i] ^ 0x5A));
    return out;
  }
  bool noKey = false;
};

class FavouritesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto c = std::make_unique<MarkedCipher>();
    cipher = c.get();
    StoredPasswordServiceSlot::Set(std::move(c));
    ClearFavourites();
    gStoredPasswordKeyOutOfReach = false;
  }
  void TearDown() override {
    ClearFavourites();
    StoredPasswordServiceSlot::Set(nullptr);
  }
  MarkedCipher* cipher = nullptr;
};

TEST_F(FavouritesTest, DesignatedInitialiserNormalisesAddressesAndLogins) {
  TRFavourite ftp(std::nullopt, "ftp://files.example/pub", "anonymous", "", kHostFTP, "");
  EXPECT_EQ(ftp.address(), "files.example/pub");
  EXPECT_EQ(ftp.name(), "ftp://files.example/pub");  // the address as given
  EXPECT_EQ(ftp.user(), std::optional<std::string>(""));
  EXPECT_EQ(ftp.password(), "");
  TRFavourite secure("S", "ftps://h:990", "me", "pw", kHostFTPS, "");
  EXPECT_EQ(secure.address(), "h:990");
  EXPECT_EQ(secure.password(), "pw");
  TRFavourite peer("P", "peer.local", "guest", std::nullopt, kHostPeerByAddress, "");
  EXPECT_EQ(peer.address(), "peer.local:2550");
  EXPECT_EQ(peer.user(), std::optional<std::string>("Guest"));
}

TEST_F(FavouritesTest, OrderByTypeRankThenNameAndUniqueNames) {
  AddFavourite("zeta", "dav", "", "", kHostWebDAV, "");
  AddFavourite("Alpha", "dav2", "", "", kHostSecureWebDAV, "");
  AddFavourite("b", "ftp", "", "", kHostFTP, "");
  AddFavourite("bonjour", "svc", "", "", kHostBonjourPeer, "");
  AddFavourite("peer", "p", "", "", kHostPeerByAddress, "");
  std::vector<std::string> names;
  for (auto& f : CopySortedFavourites()) names.push_back(f->name());
  EXPECT_EQ(names, (std::vector<std::string>{"peer", "bonjour", "b", "Alpha", "zeta"}));
  EXPECT_EQ(CopyUniqueFavouriteName("new"), "new");
  EXPECT_EQ(CopyUniqueFavouriteName("b"), "b 1");
  AddFavourite("b 1", "ftp", "", "", kHostFTP, "");
  EXPECT_EQ(CopyUniqueFavouriteName("b"), "b 2");
}

TEST_F(FavouritesTest, StoredFormKeepsThePasswordOnlyEnciphered) {
  AddFavourite("srv", "ftp.example", "me", "s3cret", kHostFTP, "/tmp");
  AddFavourite("open", "ftp.example", "", "", kHostFTP, "");
  const values::Dictionary stored = CopyFavouritesPreferenceDictionary();
  const values::Dictionary& entry = *stored.at("srv").AsDictionary();
  EXPECT_EQ(*entry.at("address").AsString(), "ftp.example");
  EXPECT_EQ(entry.at("hostType").AsNumber()->AsInt32(), kHostFTP);
  EXPECT_EQ(*entry.at("rendezvous").AsBool(), false);
  ASSERT_TRUE(entry.at("edata").AsData());
  const values::Bytes& edata = entry.at("edata").AsData()->bytes;
  EXPECT_EQ(std::string(edata.begin(), edata.end()).find("s3cret"), std::string::npos);
  EXPECT_FALSE(stored.at("open").AsDictionary()->contains("edata"));

  ClearFavourites();
  for (const auto& [name, value] : stored) EXPECT_FALSE(AddFavouriteFromPreference(name, value));
  EXPECT_EQ(FavouriteFindByName("srv")->password(), "s3cret");
  EXPECT_EQ(FavouriteFindByName("srv")->localPath(), "/tmp");
  EXPECT_EQ(FavouriteFindByName("open")->password(), "");

  // A key out of reach reads no password, and the stored one is written back as it was
  // until another is given; no key at all writes none.
  ClearFavourites();
  gStoredPasswordKeyOutOfReach = true;
  AddFavouriteFromPreference("srv", stored.at("srv"));
  EXPECT_EQ(FavouriteFindByName("srv")->password(), "");
  const auto again = CopyFavouritesPreferenceDictionary();
  ASSERT_TRUE(again.at("srv").AsDictionary()->contains("edata"));
  EXPECT_EQ(again.at("srv").AsDictionary()->at("edata").AsData()->bytes, edata);
  gStoredPasswordKeyOutOfReach = false;
  cipher->noKey = true;
  AddFavourite("later", "h", "u", "pw", kHostFTP, "");
  EXPECT_FALSE(CopyFavouritesPreferenceDictionary().at("later").AsDictionary()->contains("edata"));
}

TEST_F(FavouritesTest, OlderEntriesLoadWithTheirDefaults) {
  // The legacy scrambled password, and the host type from "rendezvous" when none is stored.
  values::Bytes scrambled;
  const std::string password = "pw";
  for (std::size_t i = 0; i < password.size(); ++i)
    scrambled.push_back(static_cast<std::uint8_t>(password[i] ^ ((23 + 17 * i) % 127)));
  values::Dictionary legacy{{"address", values::Value("peer:2550")},
                            {"data", values::Value(values::Data{scrambled})}};
  EXPECT_TRUE(AddFavouriteFromPreference("old", values::Value(legacy)));
  EXPECT_EQ(FavouriteFindByName("old")->password(), "pw");
  EXPECT_EQ(FavouriteFindByName("old")->hostType(), kHostPeerByAddress);
  EXPECT_TRUE(FavouritesChanged());
  values::Dictionary bonjour{{"address", values::Value("svc")}, {"rendezvous", values::Value(true)}};
  EXPECT_FALSE(AddFavouriteFromPreference("bj", values::Value(bonjour)));
  EXPECT_EQ(FavouriteFindByName("bj")->hostType(), kHostBonjourPeer);
  EXPECT_FALSE(AddFavouriteFromPreference("junk", values::Value("not a dictionary")));
  EXPECT_FALSE(FavouriteFindByName("junk"));
  // Written back in the newer form: enciphered, the scrambled field gone.
  const values::Dictionary& entry = *CopyFavouritesPreferenceDictionary().at("old").AsDictionary();
  EXPECT_TRUE(entry.contains("edata"));
  EXPECT_FALSE(entry.contains("data"));
}

namespace bonjour {

class Session : public sharing::PeerHostRow {
 public:
  std::string address() const override { return "10.0.0.9:2550"; }
  std::string user() const override { return "alice"; }
  std::optional<std::string> bonjourServiceName() const override { return "Studio"; }
};

class Peer : public sharing::BonjourPeerRow {
 public:
  std::string serviceName() const override { return "Studio"; }
  std::shared_ptr<sharing::PeerHostRow> connection() const override { return session; }
  bool wasOpen() const override { return false; }
  std::shared_ptr<sharing::PeerHostRow> session;
};

class OnePeer : public sharing::NoSharingRows {
 public:
  std::shared_ptr<sharing::BonjourPeerRow> PeerForBonjourName(const std::string& name) override {
    return name == "Studio" ? peer : nullptr;
  }
  std::shared_ptr<Peer> peer;
};

}  // namespace bonjour

// A copy found by Bonjour: a service out of sight is said so unless silent, one already
// logged in to is said so always; neither connects.
TEST_F(FavouritesTest, ABonjourFavouriteSaysWhyItDoesNotConnect) {
  struct Case {
    bool visible;
    bool loggedIn;
    bool silent;
    std::optional<std::string> alert;
  } cases[] = {
      {false, false, false, "The computer named Studio could not be found on the network."},
      {false, false, true, std::nullopt},
      {true, true, false,
       "You are already connected to Studio as alice. You need to disconnect first in order to re-establish "
       "a "
       "new connection to Studio."},
      {true, true, true,
       "You are already connected to Studio as alice. You need to disconnect first in order to re-establish "
       "a "
       "new connection to Studio."},
      {true, false, false, std::nullopt},
  };
  for (const Case& c : cases) {
    auto rows = std::make_unique<bonjour::OnePeer>();
    if (c.visible) {
      rows->peer = std::make_shared<bonjour::Peer>();
      if (c.loggedIn) rows->peer->session = std::make_shared<bonjour::Session>();
    }
    sharing::SharingRowsServiceSlot::Set(std::move(rows));
    auto ui = std::make_unique<fakes::FakeUiServices>();
    auto* alerts = ui.get();
    ui::UiServicesSlot::Set(std::move(ui));
    FavouriteRef f = AddFavourite("Studio copy", "Studio", "", "", kHostBonjourPeer, "");
    EXPECT_FALSE(FavouriteConnect(f, c.silent));
    EXPECT_FALSE(f->connected());
    if (c.alert) {
      ASSERT_EQ(alerts->alerts.size(), 1u) << c.visible << c.loggedIn << c.silent;
      EXPECT_EQ(alerts->alerts[0].message, *c.alert);
    } else {
      EXPECT_TRUE(alerts->alerts.empty()) << alerts->alerts[0].message;
    }
    ui::UiServicesSlot::Set(nullptr);
    sharing::SharingRowsServiceSlot::Set(nullptr);
  }
}

}  // namespace
}  // namespace browser
