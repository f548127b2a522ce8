// Files received from other copies, worked from the main window: a finished file's row
// carries its file, so its reveal button, its status icon, "Reveal" ('RFin'), "Open With"
// and a drag out all reach the file - found again when it moved - while one that is gone
// reveals the received-files folder from its button and offers nothing else. A picture of
// the rows with their buttons is kept.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/queue/folders/displayed_views.h"
#include "app/sharing/received/received_files.h"
#include "app/sharing/services/received_files_service.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/main_list/list_cells.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/list_context_menu.h"
#include "app/ui/main_list/list_drag.h"
#include "platform/toolbox/services/open_with.h"
#include "platform/toolbox/views/drag.h"
#include "platform/values/url.h"
#include "tests/app/ui/main_window_fixture.h"
#include "tests/fakes/fake_workspace.h"
#include "tests/support/temp_home.h"

namespace ui {
namespace {

namespace fs = std::filesystem;
using values::FourCC;
using values::FourCharCode;

// The list's rows of Received Files, as the sharing code gives them.
class ReceivedRows : public sharing::SharingRowsService {
 public:
  std::vector<sharing::ReceivedFileRowRef> ReceivedFilesCopyArray() override {
    std::vector<sharing::ReceivedFileRowRef> out;
    for (auto& f : sharing::ReceivedFilesCopyArray()) out.push_back(f);
    return out;
  }
  std::shared_ptr<sharing::BonjourPeerRow> PeerForBonjourName(const std::string&) override { return nullptr; }
  std::shared_ptr<sharing::PeerHostRow> PeerConnectionForID(std::uint32_t) override { return nullptr; }
};

class ReceivedFolder : public sharing::ReceivedFilesService {
 public:
  explicit ReceivedFolder(fs::path folder) : folder_(std::move(folder)) {}
  std::optional<fs::path> GetReceivedFilesFolder(bool) override { return folder_; }

 private:
  fs::path folder_;
};

class ReceivedFilesWindowTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    sharing::ClearReceivedFilesForTests();
    folder_ = testsupport::MakeTempDir("received") + "/Received Files";
    fs::create_directories(folder_);
    sharing::SharingRowsServiceSlot::Set(std::make_unique<ReceivedRows>());
    sharing::ReceivedFilesServiceSlot::Set(std::make_unique<ReceivedFolder>(folder_));
    previousSink_ = SetListCommandSink([this](FourCharCode c) { posted_.push_back(c); });
  }
  void TearDown() override {
    SetListCommandSink(std::move(previousSink_));
    MainWindowFixture::TearDown();
    sharing::SharingRowsServiceSlot::Set(nullptr);
    sharing::ReceivedFilesServiceSlot::Set(nullptr);
    sharing::ClearReceivedFilesForTests();
  }
  sharing::ReceivedFileRef Receive(const std::string& name) {
    const std::string path = folder_ + "/" + name;
    testsupport::WriteFile(path, "from another copy");
    return sharing::ReceivedFileAddComplete(path, "ann", "10.0.0.2", "uid-" + name);
  }
  void Show() {
    MainWindowStartState state;
    state.currentView = queue::kReceivedFilesViewID;
    CreateMainWindow(state);
    ASSERT_NE(GetMainWindow(), nullptr);
    queue::DisplayViews({queue::kReceivedFilesViewID});
    // The actions column, wide enough for its three buttons.
    if (!List().HasColumn(kColFile)) AddColumn(List(), kColFile);
    List().SetColumnWidth(kColFile, 60);
    Pump();
    List().FlushPainting();
  }
  static MainListItem Row(const sharing::ReceivedFileRef& f) {
    return MakeListItem(RowKind::kReceivedFile, std::static_pointer_cast<sharing::ReceivedFileRow>(f));
  }
  toolbox::ListView& List() { return GetMainList()->list(); }
  static toolbox::Point Centre(const toolbox::Rect& r) { return {r.x + r.width / 2, r.y + r.height / 2}; }
  // Presses and releases the button (1 to 3) of the actions cell, or the status icon (0).
  void Click(const MainListItem& row, int button) {
    const std::uint32_t column = button == 0 ? kColStatus : kColFile;
    const auto cell = List().CellRect(row.id(), column);
    ASSERT_TRUE(cell.has_value());
    const toolbox::Rect target =
        button == 0 ? StatusIconRect(*cell) : CellButtonRect(*cell, kColFile, button);
    ASSERT_TRUE(List().PressCell(row.id(), column, Centre(target)));
    List().ReleaseCell(Centre(target));
  }

  std::string folder_;
  fakes::ScopedFakeWorkspace workspace_;
  std::vector<FourCharCode> posted_;
  ListCommandSink previousSink_;
};

TEST_F(ReceivedFilesWindowTest, AFinishedFileIsRevealedOpenedAndDraggedFromItsRow) {
  auto kept = Receive("kept.txt");
  auto moved = Receive("moved.txt");
  auto gone = Receive("gone.txt");
  // One moved within its folder (found again by its alias), one deleted.
  fs::rename(folder_ + "/moved.txt", folder_ + "/renamed.txt");
  fs::remove(folder_ + "/gone.txt");
  Show();
  Keep(GetMainWindow()->Grab(), "received_files_window");

  constexpr FourCharCode none = 0;
  struct Case {
    sharing::ReceivedFileRef file;
    std::string path;  // where the file is now; "" when gone
  } cases[] = {
      {kept, folder_ + "/kept.txt"},
      {moved, folder_ + "/renamed.txt"},
      {gone, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file->name().value_or(""));
    const MainListItem row = Row(c.file);
    // A finished file kept by an alias shows reveal and send, whether or not it is found.
    EXPECT_EQ(GetCellButtonIcon(row, kColFile, 1), kCellIconReveal);
    EXPECT_EQ(GetCellButtonIcon(row, kColFile, 2), kCellIconUpload);
    EXPECT_EQ(GetCellButtonIcon(row, kColFile, 3), kCellIconDelete);
    EXPECT_EQ(GetStatusCellIcon(row), kCellIconReveal);

    // The reveal button and the status icon: the file, else the received-files folder.
    const std::vector<std::string> byButton = {c.path.empty() ? folder_ : c.path};
    for (int button : {1, 0}) {
      workspace_->revealed.clear();
      workspace_->opened.clear();
      Click(row, button);
      const auto& shown = c.path.empty() ? workspace_->opened : workspace_->revealed;
      EXPECT_EQ(shown, byButton) << "button " << button;
    }
    // The send button posts its command for this row.
    posted_.clear();
    Click(row, 2);
    EXPECT_EQ(posted_, std::vector<FourCharCode>{FourCC("SeSf")});

    // "Reveal" from the window: the file only.
    GetMainList()->SelectRows({row});
    workspace_->revealed.clear();
    GetMainWindow()->ProcessCommand(FourCC("RFin"));
    EXPECT_EQ(workspace_->revealed, c.path.empty() ? std::vector<std::string>{} : byButton);

    // The contextual menu offers Reveal only for a file that is found.
    ListMenuContext context;
    context.openWithMenu = [](const std::string& path) {
      toolbox::MenuRef programs = toolbox::Menu::Create(0);
      programs->AppendItem("Viewer");
      programs->SetItemProperty(1, FourCC("Truv"), kFileProperty, values::Value(path));
      return programs;
    };
    toolbox::MenuRef menu = BuildListContextMenu({row}, nullptr, context);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->IndexOfCommand(FourCC("RFin")) != 0, !c.path.empty());
    const int openWith = menu->IndexOfCommand(FourCC("Owif"));
    EXPECT_EQ(openWith != 0, !c.path.empty());
    if (openWith != 0) {
      const values::Value* file = menu->ItemProperty(openWith, FourCC("Truv"), kURLProperty);
      ASSERT_NE(file, nullptr);
      EXPECT_EQ(file->StringOr(""), c.path);
    }

    // Dragged out, the row gives its file's URL.
    const auto dragged = AddDragFlavorsForRow(row);
    EXPECT_EQ(dragged.has_value(), !c.path.empty());
    if (dragged) {
      EXPECT_EQ(dragged->Flavor(toolbox::kFlavorFileURL).value_or(""),
                values::FileUrlFromPath(c.path, false)->String());
    }
    (void)none;
  }
}

// A program chosen in "Open With" starts on the received file.
TEST_F(ReceivedFilesWindowTest, AProgramChosenInOpenWithStartsOnTheFile) {
  auto file = Receive("notes.txt");
  const std::string entries = std::string(std::getenv("XDG_DATA_HOME")) + "/applications";
  fs::create_directories(entries);
  const std::string entry = entries + "/truvane-test-viewer.desktop";
  testsupport::WriteFile(entry,
                         "[Desktop Entry]\nType=Application\nName=Received Viewer\nExec=received-viewer "
                         "%f\nMimeType=text/plain;\n");
  Show();
  std::vector<std::string> started;
  auto previous = toolbox::SetApplicationLauncher([&](const std::vector<std::string>& argv) {
    started = argv;
    return true;
  });
  GetMainList()->SelectRows({Row(file)});
  toolbox::MenuRef menu = ListContextMenuCallback(List(), false);
  ASSERT_NE(menu, nullptr);
  const int openWith = menu->IndexOfCommand(FourCC("Owif"));
  ASSERT_NE(openWith, 0) << "a program for text files is known";
  toolbox::MenuRef programs = menu->Item(openWith)->submenu;
  ASSERT_NE(programs, nullptr);
  const int viewer = programs->IndexOfText("Received Viewer");
  ASSERT_NE(viewer, 0);
  ListContextMenuChosen(List(), toolbox::MenuSelection{programs, viewer, 0});
  EXPECT_EQ(started, (std::vector<std::string>{"received-viewer", folder_ + "/notes.txt"}));
  toolbox::SetApplicationLauncher(std::move(previous));
  fs::remove(entry);
}

}  // namespace
}  // namespace ui
