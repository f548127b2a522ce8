// Drag and drop of the main list, with drags built as toolbox Drag values (Qt's drag loop
// does not run off-screen): what dragged rows carry, reordering the queue by a drop (and
// the order saved), and files, URLs and text dropped from other programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/list_drag.h"
#include "app/ui/main_list/list_notifications.h"
#include "app/ui/main_list/main_list.h"
#include "app/upload/upload_hooks.h"
#include "platform/files/file_ref.h"
#include "platform/toolbox/views/drag_payload.h"
#include "platform/values/url.h"
#include "tests/fakes/fake_list_rows.h"

namespace ui {
namespace {

TEST(DroppedText, LinesLongerThanOneCharacterBoundedInNumber) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"http://127.0.0.1/a\rhttp://127.0.0.1/b\nx\n  http://127.0.0.1/c  ",
       {"http://127.0.0.1/a", "http://127.0.0.1/b", "http://127.0.0.1/c"}},
      {std::string("ab\xE2\x80\xA8"
                   "cd\xE2\x80\xA9"
                   "e"),
       {"ab", "cd"}},
      {"\r\n\r\n", {}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(DroppedTextLines(c.text), c.lines) << c.text;

  std::string many;
  for (std::size_t i = 0; i < kMaxDroppedLines + 10; ++i) many += "ab\n";
  EXPECT_EQ(DroppedTextLines(many).size(), kMaxDroppedLines);
  // Past the byte bound only whole lines before it count.
  std::string huge(kMaxDroppedTextBytes - 2, 'x');
  huge += "\nhttp://127.0.0.1/cut-here";
  const auto lines = DroppedTextLines(huge);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), kMaxDroppedTextBytes - 2);
}

class ListDrops : public ::testing::Test {
 protected:
  void SetUp() override {
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    InstallMainList();
    previous_ = SetDroppedFilesSender([this](const std::vector<std::string>& paths) {
      sent_.insert(sent_.end(), paths.begin(), paths.end());
    });
  }
  void TearDown() override {
    SetDroppedFilesSender(std::move(previous_));
    queue::ClearDisplayedViews();
    UninstallMainList();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }
  queue::WrapperRef Add(const std::string& name, queue::DownloadStatus status) {
    auto w = queue::DownloadQueueWrapper::Create();
    auto& e = w->element();
    e.uid = queue::NewDownloadUID();
    e.filename = name;
    e.status = queue::kStatusOnHold;
    e.fileSize = 100;
    e.urlData = values::Array{values::Value(values::Dictionary{{"url", "http://127.0.0.1/" + name}})};
    queue::QueueItemsSet(e.uid, w);
    queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
    if (status == queue::kStatusQueued) queue::EnqueueElement(w);
    e.status = status == queue::kStatusQueued ? e.status : status;
    return w;
  }
  toolbox::ListView& List() { return GetMainList()->list(); }
  toolbox::ListItemID Id(const queue::WrapperRef& w) { return GetMainList()->DownloadRow(w->uid()); }
  std::vector<std::string> QueueNames() {
    std::vector<std::string> out;
    for (auto uid : queue::gQueueOrder) out.push_back(queue::LookUpDownloadWrapper(uid)->element().filename);
    return out;
  }
  // The drag the list makes of these rows, as a drop inside the program sees it.
  toolbox::Drag DragOf(const std::vector<queue::WrapperRef>& rows) {
    std::vector<toolbox::ListItemID> ids;
    for (const auto& w : rows) ids.push_back(Id(w));
    List().SetSelectedItems(ids);
    return toolbox::DecodeDrag(toolbox::EncodeDrag(List().DragOfSelection()));
  }
  std::vector<std::string> sent_;
  DroppedFilesSender previous_;
};

TEST_F(ListDrops, DraggedRowsCarryTheirDownloadURLsAndFinishedFile) {
  const std::string path = std::string(std::getenv("HOME")) + "/done file.iso";
  std::ofstream(path) << "data";
  auto done = Add("done file.iso", queue::kStatusCompleted);
  done->element().completeURL = values::FileUrlFromPath(path, false);
  done->element().completeFile = queue::MakeAliasBytes(files::FileRef(path));
  auto waiting = Add("waiting.bin", queue::kStatusQueued);
  queue::DisplayViews({queue::kMyDownloadsViewID});
  List().SetSortProperty(kColName);

  List().SetSelectedItems({Id(done), Id(waiting)});
  const toolbox::Drag drag = List().DragOfSelection();
  ASSERT_EQ(drag.items.size(), 2u);
  EXPECT_TRUE(drag.from_this_program);
  const auto& first = drag.items[0];
  EXPECT_EQ(first.object.As<queue::DownloadQueueWrapper>(), done);
  EXPECT_EQ(first.Flavor(toolbox::kFlavorPlainText), "http://127.0.0.1/done file.iso");
  EXPECT_EQ(first.Flavor(toolbox::kFlavorFileURL), done->element().completeURL->String());
  EXPECT_EQ(drag.items[1].object.As<queue::DownloadQueueWrapper>(), waiting);
  EXPECT_FALSE(drag.items[1].HasFlavor(toolbox::kFlavorFileURL)) << "no file before it is finished";

  // What other programs get: the file as a URI, the URLs as text; no object.
  const auto payload = toolbox::EncodeDrag(drag);
  EXPECT_EQ(payload.data.at(toolbox::kUriListMimeType), done->element().completeURL->String() + "\r\n");
  EXPECT_NE(payload.data.at(toolbox::kPlainTextMimeType).find("http://127.0.0.1/waiting.bin"),
            std::string::npos);
  toolbox::DragPayload foreign = payload;
  foreign.data.erase(toolbox::kPrivateDragMimeType);
  for (const auto& item : toolbox::DecodeDrag(foreign).items) EXPECT_FALSE(item.object);
  toolbox::EndDragSession(payload);
}

TEST_F(ListDrops, DropOnAQueuedDownloadReordersTheQueueAndTheOrderIsSaved) {
  std::vector<queue::WrapperRef> q;
  for (const char* name : {"a", "b", "c", "d", "e"}) q.push_back(Add(name, queue::kStatusQueued));
  auto stopped = Add("s", queue::kStatusStopped);
  queue::DisplayViews({queue::kMyDownloadsViewID});
  ASSERT_EQ(QueueNames(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  List().SetSortProperty(kColStatus);
  queue::gQueueChanged = false;

  struct Case {
    std::vector<std::string> dragged;
    std::string target;
    bool taken;
    std::vector<std::string> order;
  } cases[] = {
      {{"d"}, "b", true, {"a", "d", "b", "c", "e"}},
      {{"a"}, "e", true, {"d", "b", "c", "e", "a"}},
      // A stopped download is queued first, then moved.
      {{"s"}, "d", true, {"s", "d", "b", "c", "e", "a"}},
      // Not onto a download that is not queued.
      {{"b"}, "x", false, {"s", "d", "b", "c", "e", "a"}},
  };
  auto byName = [&](const std::string& name) -> queue::WrapperRef {
    for (const auto& [uid, w] : queue::gQueueItems)
      if (w->element().filename == name) return w;
    return nullptr;
  };
  auto notQueued = Add("x", queue::kStatusFailed);
  queue::DisplayViews({queue::kMyDownloadsViewID});
  List().SetSortProperty(kColStatus);
  for (const auto& c : cases) {
    std::vector<queue::WrapperRef> rows;
    for (const auto& n : c.dragged) rows.push_back(byName(n));
    const toolbox::Drag drag = DragOf(rows);
    const auto target = byName(c.target);
    const MainListItem* targetRow = GetMainList()->Row(Id(target));
    ASSERT_TRUE(targetRow);
    EXPECT_EQ(List().AcceptsDrag(drag, Id(target)), c.taken) << c.target;
    EXPECT_EQ(List().ReceiveDrag(drag, Id(target)), c.taken) << c.target;
    EXPECT_EQ(QueueNames(), c.order) << c.target;
    EXPECT_FALSE(queue::QueueOrderProblem().has_value()) << *queue::QueueOrderProblem();
  }
  EXPECT_TRUE(queue::gQueueChanged);
  EXPECT_EQ(stopped->element().status, queue::kStatusQueued);
  EXPECT_EQ(DragInsertionMark(), 0u);

  // Saved: the order comes back from the queue file.
  ASSERT_TRUE(queue::SaveQueueFile().ok());
  queue::ClearDisplayedViews();
  UninstallMainList();
  queue::ClearQueueTables();
  ASSERT_TRUE(queue::LoadQueueFile().ok());
  EXPECT_EQ(QueueNames(), (std::vector<std::string>{"s", "d", "b", "c", "e", "a"}));
  InstallMainList();
}

TEST_F(ListDrops, SortedByNameADropOnALocalDownloadIsRefused) {
  auto a = Add("a", queue::kStatusQueued);
  auto b = Add("b", queue::kStatusQueued);
  queue::DisplayViews({queue::kMyDownloadsViewID});
  List().SetSortProperty(kColName);
  const toolbox::Drag drag = DragOf({b});
  EXPECT_FALSE(List().AcceptsDrag(drag, Id(a)));
  EXPECT_FALSE(List().ReceiveDrag(drag, Id(a)));
  EXPECT_EQ(QueueNames(), (std::vector<std::string>{"a", "b"}));
  // Dropped back on empty space inside the program: nothing happens.
  EXPECT_FALSE(List().ReceiveDrag(drag, 0));
}

TEST_F(ListDrops, TextAndLinksFromOtherProgramsBecomeDownloads) {
  queue::DisplayViews({queue::kMyDownloadsViewID});
  struct Case {
    const char* name;
    toolbox::DragPayload payload;
    std::vector<std::string> added;  // file names of the new downloads
    std::vector<std::string> sent;
  } cases[] = {
      {"three URL lines and a one-letter line",
       {{{toolbox::kPlainTextMimeType,
          "http://127.0.0.1/one.iso\nx\r\nhttp://127.0.0.1/two.iso\n"
          "http://127.0.0.1/three.iso"}}},
       {"one.iso", "three.iso", "two.iso"},
       {}},
      {"a link dragged from a browser",
       {{{toolbox::kUriListMimeType, "http://127.0.0.1/link.zip\r\n"}}},
       {"link.zip"},
       {}},
      {"a file that is not a download",
       {{{toolbox::kUriListMimeType, "file:///tmp/notes.txt\r\n"}}},
       {},
       {"/tmp/notes.txt"}},
      {"a forged session token",
       {{{toolbox::kPrivateDragMimeType, "1-deadbeef"},
         {toolbox::kPlainTextMimeType, "http://127.0.0.1/t.bin"}}},
       {"t.bin"},
       {}},
  };
  for (const auto& c : cases) {
    queue::ClearQueueTables();
    sent_.clear();
    const toolbox::Drag drag = toolbox::DecodeDrag(c.payload);
    EXPECT_FALSE(drag.from_this_program) << c.name;
    EXPECT_TRUE(List().AcceptsDrag(drag, 0)) << c.name;
    List().ReceiveDrag(drag, 0);
    std::vector<std::string> names;
    for (const auto& [uid, w] : queue::gQueueItems) names.push_back(w->element().filename);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.added) << c.name;
    EXPECT_EQ(sent_, c.sent) << c.name;
  }
}

TEST_F(ListDrops, DroppedFilesOpenTheSendWindowByDefault) {
  queue::DisplayViews({queue::kMyDownloadsViewID});
  SetDroppedFilesSender(nullptr);
  std::vector<std::string> opened;
  auto saved = upload::UploadHooksSlot::Get().openSendFilesWindow;
  upload::UploadHooksSlot::Get().openSendFilesWindow = [&](const std::vector<std::string>& paths) {
    opened.insert(opened.end(), paths.begin(), paths.end());
  };
  const toolbox::Drag drag =
      toolbox::DecodeDrag({{{toolbox::kUriListMimeType, "file:///tmp/a.txt\r\nfile:///tmp/b%20c.txt\r\n"}}});
  EXPECT_TRUE(List().ReceiveDrag(drag, 0));
  EXPECT_EQ(opened, (std::vector<std::string>{"/tmp/a.txt", "/tmp/b c.txt"}));
  EXPECT_TRUE(queue::gQueueItems.empty()) << "files are sent, not downloaded";
  upload::UploadHooksSlot::Get().openSendFilesWindow = saved;
}

struct RecordingRemote : browser::NoRemoteRows {
  std::vector<std::string> calls;
  static std::string Name(const std::shared_ptr<void>& p) {
    return static_cast<fakes::FakeFTPNode*>(p.get())->nodeName;
  }
  void OpenFTPNode(const std::shared_ptr<browser::FTPNodeRow>& node) override {
    calls.push_back("open " + node->name());
  }
  void CloseFTPNode(const std::shared_ptr<browser::FTPNodeRow>& node) override {
    calls.push_back("close " + node->name());
  }
  void NavigateFTPNode(const std::shared_ptr<browser::FTPNodeRow>& node, const std::string& path) override {
    calls.push_back("go " + node->name() + " " + path);
  }
  bool MoveFTPItem(const std::shared_ptr<void>& item, bool isNode,
                   const std::shared_ptr<browser::FTPNodeRow>& parent) override {
    calls.push_back("move " + (isNode ? Name(item) : std::string("file")) + " into " + parent->name());
    return true;
  }
  bool UploadToFTPNode(const std::shared_ptr<browser::FTPNodeRow>& folder, const std::string& path) override {
    calls.push_back("upload " + path + " into " + folder->name());
    return true;
  }
};

TEST_F(ListDrops, RemoteFoldersTakeMovesUploadsAndOpenWithTheirServer) {
  auto remote = std::make_unique<RecordingRemote>();
  RecordingRemote* calls = remote.get();
  auto previous = browser::RemoteRowsServiceSlot::Set(std::move(remote));
  auto node = [](const char* name, const char* host) {
    auto n = std::make_shared<fakes::FakeFTPNode>();
    n->nodeName = name;
    n->hostName = host;
    n->pathName = std::string("/pub/") + name;
    return MakeListItem(RowKind::kFTPNode, std::static_pointer_cast<browser::FTPNodeRow>(n));
  };
  const auto a = node("a", "127.0.0.1"), b = node("b", "127.0.0.1"), other = node("c", "127.0.0.2");
  queue::DisplayViews({queue::kMyDownloadsViewID});  // for its columns
  GetMainList()->AddRows({a, b, other}, nullptr);

  List().SetSelectedItems({b.id()});
  toolbox::Drag drag = toolbox::DecodeDrag(toolbox::EncodeDrag(List().DragOfSelection()));
  EXPECT_TRUE(List().AcceptsDrag(drag, a.id()));
  EXPECT_TRUE(List().ReceiveDrag(drag, a.id()));
  List().SetSelectedItems({other.id()});
  drag = toolbox::DecodeDrag(toolbox::EncodeDrag(List().DragOfSelection()));
  EXPECT_FALSE(List().AcceptsDrag(drag, a.id())) << "another server's folder";
  const toolbox::Drag file = toolbox::DecodeDrag({{{toolbox::kUriListMimeType, "file:///tmp/up.bin\r\n"}}});
  EXPECT_TRUE(List().ReceiveDrag(file, a.id()));
  EXPECT_TRUE(sent_.empty()) << "uploaded into the folder, not sent";

  ASSERT_EQ(List().OpenContainer(a.id()), toolbox::kListNoErr);
  ListItemNotificationCallback(*GetMainList(), a.id(), toolbox::ListNotification::kUserToggledContainer);
  List().SetSelectedItems({});
  ListItemNotificationCallback(*GetMainList(), a.id(), toolbox::ListNotification::kItemDoubleClicked);
  EXPECT_EQ(calls->calls, (std::vector<std::string>{"move b into a", "upload /tmp/up.bin into a", "open a",
                                                    "close a", "go a /pub/a"}));
  GetMainList()->RemoveAllRows();
  browser::RemoteRowsServiceSlot::Set(std::move(previous));
}

TEST_F(ListDrops, BundleExtensionIsFoundInAnyLetterCase) {
  struct Case {
    const char* uri;
    bool bundle;
  } cases[] = {{"file:///tmp/a.download", true},
               {"file:///tmp/a.Download/", true},
               {"file:///tmp/a.DOWNLOAD", true},
               {"file:///tmp/a.downloads", false},
               {"http://127.0.0.1/a.download", false}};
  for (const auto& c : cases) {
    toolbox::Drag drag;
    drag.items.push_back({});
    drag.items.back().flavors[toolbox::kFlavorFileURL] = c.uri;
    EXPECT_EQ(DragHasDownloadBundle(drag), c.bundle) << c.uri;
  }
}

}  // namespace
}  // namespace ui
