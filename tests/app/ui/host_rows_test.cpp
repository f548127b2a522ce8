// The source list's host rows brought in line with the remote browser: a row takes the
// label of the host now behind its identifier (a host that goes moves the later ones up),
// its progress arrows and its dimming, and the rows are sorted again; a row whose host is
// gone keeps what it shows until it is removed.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/browser/services/remote_rows.h"
#include "app/ui/source_list/source_list.h"
#include "app/util/text/english_texts.h"
#include "platform/toolbox/windows/window.h"
#include "tests/fakes/fake_list_rows.h"

namespace ui {
namespace {

// FTP hosts in connection order; view id 1025 + index.
class FTPHosts : public browser::NoRemoteRows {
 public:
  struct Entry {
    std::shared_ptr<fakes::FakeFTPNode> root;
    bool busy = false;
    bool disabled = false;
  };
  void Add(const std::string& label) {
    auto node = std::make_shared<fakes::FakeFTPNode>();
    node->nodeName = label;
    hosts.push_back({node});
  }
  std::optional<browser::RemoteHost> GetHostForViewID(std::uint32_t id) override {
    if (id < 1025 || id - 1025 >= hosts.size()) return std::nullopt;
    browser::RemoteHost h;
    h.hostType = browser::kHostFTP;
    h.ftpID = id;  // one root per index
    return h;
  }
  std::shared_ptr<browser::FTPNodeRow> FTPNodeForHostID(std::uint32_t id) override {
    return id >= 1025 && id - 1025 < hosts.size() ? hosts[id - 1025].root : nullptr;
  }
  std::vector<browser::RemoteHostRow> CopyHostRows() override {
    std::vector<browser::RemoteHostRow> rows;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
      browser::RemoteHostRow r;
      r.viewID = static_cast<std::uint32_t>(1025 + i);
      r.hostType = browser::kHostFTP;
      r.label = hosts[i].root->nodeName;
      r.busy = hosts[i].busy;
      r.disabled = hosts[i].disabled;
      rows.push_back(r);
    }
    return rows;
  }
  std::vector<Entry> hosts;
};

class HostRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    util::RegisterEnglishTexts();
    auto hosts = std::make_unique<FTPHosts>();
    hosts_ = hosts.get();
    browser::RemoteRowsServiceSlot::Set(std::move(hosts));
    toolbox::WindowSpec desc;
    desc.content = {0, 0, 220, 300};
    window_ = toolbox::Window::Create(desc);
    toolbox::ControlSpec c;
    c.bounds = {0, 0, 220, 300};
    list_ = AsCustomList(CreateCustomListInScrollView(*window_, c));
    section_ = SourceListCreateRemoteServersSection();
    list_->SetTopRows({section_});
  }
  void TearDown() override {
    window_->Release();
    browser::RemoteRowsServiceSlot::Set(nullptr);
  }
  void Connect(const std::string& label) {
    hosts_->Add(label);
    const auto id = static_cast<std::uint32_t>(1025 + hosts_->hosts.size() - 1);
    SourceListAddHostRow(*list_, *hosts_->GetHostForViewID(id), id);
  }
  std::vector<std::string> Shown() {
    std::vector<std::string> out;
    for (const auto& r : *section_->children())
      out.push_back(std::to_string(r->identifier) + " " + r->label + (r->showProgress() ? " busy" : "") +
                    ((r->state & kRowStateDimmed) ? " dimmed" : ""));
    return out;
  }

  FTPHosts* hosts_ = nullptr;
  toolbox::WindowRef window_;
  CustomList* list_ = nullptr;
  RowRef section_;
};

TEST_F(HostRowsTest, RowsFollowTheHostsBehindThem) {
  Connect("zeta");
  Connect("alpha");
  Connect("mid");
  EXPECT_EQ(Shown(), (std::vector<std::string>{"1026 alpha", "1027 mid", "1025 zeta"}));

  hosts_->hosts[0].busy = true;
  hosts_->hosts[2].disabled = true;
  SourceListUpdateHostRows(*list_);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"1026 alpha", "1027 mid dimmed", "1025 zeta busy"}));

  // A connection back: its row is no longer dimmed.
  hosts_->hosts[2].disabled = false;
  hosts_->hosts[0].busy = false;
  SourceListUpdateHostRows(*list_);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"1026 alpha", "1027 mid", "1025 zeta"}));

  // The first host goes: 1025 and 1026 show the hosts after it, sorted again; 1027, with no
  // host behind it, waits for its removal as it was.
  hosts_->hosts.erase(hosts_->hosts.begin());
  SourceListUpdateHostRows(*list_);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"1027 mid", "1025 alpha", "1026 mid"}));
  SourceListRemoveRow(*list_, 1027);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"1025 alpha", "1026 mid"}));
  EXPECT_TRUE(list_->GetRowByIdentifier(1026)->buttonIcon.has_value());
}

}  // namespace
}  // namespace ui
