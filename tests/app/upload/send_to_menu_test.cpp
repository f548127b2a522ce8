// The send-to menu as data, and where its entries send.

#include <gtest/gtest.h>

#include "app/upload/interface/send_to_menu.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/upload_hooks.h"
#include "tests/support/temp_home.h"

namespace upload {
namespace {

TEST(SendToMenuTest, EntriesFollowTheHostsWithTheirIcons) {
  const std::vector<SendToHost> hosts = {
      {kHostTypeFTPS, "secure.example", "ftps://127.0.0.1:21", std::nullopt, "u", "p", "/pub", false},
      {kHostTypeBonjourPeer, "", "nameless", std::nullopt, "", "", "", false},  // no name: no entry
      {kHostTypeIDisk, "public disk", "https://idisk", std::nullopt, "public", "", "/", true},
      {kHostTypeFileHosting, "hosting", "x", std::nullopt, "", "", "", false},  // not offered
  };
  const auto menu = CreateSendToMenu(hosts);
  ASSERT_EQ(menu.size(), 5u);
  EXPECT_EQ(menu[0].kind, SendToKind::kFileHosting);
  EXPECT_EQ(menu[0].iconType, values::FourCC("RSIc"));
  EXPECT_EQ(menu[1].title, "secure.example");
  EXPECT_EQ(menu[1].iconType, values::FourCC("FTPS"));
  EXPECT_EQ(menu[2].iconCreator, 0u);
  EXPECT_EQ(menu[2].iconType, values::FourCC("udsk"));
  EXPECT_EQ(menu[3].kind, SendToKind::kSeparator);
  EXPECT_EQ(menu[4].kind, SendToKind::kOther);
  // Without hosts: no separator.
  EXPECT_EQ(CreateSendToMenu({}).size(), 2u);
}

TEST(SendToMenuTest, ChosenEntriesQueueUploadsOrOpenTheSendWindow) {
  ClearUploadTables();
  const std::string dir = testsupport::MakeTempDir("sendto");
  testsupport::WriteFile(dir + "/a.bin", "a");
  std::vector<std::string> opened;
  UploadHooksSlot::Get().openSendFilesWindow = [&](const std::vector<std::string>& paths) { opened = paths; };

  const auto menu =
      CreateSendToMenu({{kHostTypeFTP, "ftp", "127.0.0.1:2121", std::nullopt, "u", "p", "/in", false}});
  EXPECT_EQ(SendItemsToMenuHost({dir + "/a.bin", dir + "/missing"}, menu[1]), 1);
  ASSERT_EQ(Uploads().queueOrder.size(), 1u);
  const auto& item = *Uploads().queueOrder[0];
  EXPECT_EQ(item.hostName, "ftp://127.0.0.1:2121");
  EXPECT_EQ(item.uploadPath, "%2F/in");
  EXPECT_EQ(item.type, kHostTypeFTP);

  EXPECT_EQ(SendItemsToMenuHost({}, menu.back()), 0);
  EXPECT_TRUE(opened.empty()) << "nothing to send opens no window";
  SendItemsToMenuHost({dir + "/a.bin"}, menu.back());
  EXPECT_EQ(opened, std::vector<std::string>{dir + "/a.bin"});
  UploadHooksSlot::Reset();
  ClearUploadTables();
}

}  // namespace
}  // namespace upload
