// Drags out of a view and into another, through the payload other programs see.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/toolbox/views/drag_payload.h"
#include "platform/toolbox/views/view.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {
namespace {

struct Download {
  std::string name;
};

Drag DragOfDownload(const std::shared_ptr<Download>& d,
                    unsigned allowed = kDragActionCopy | kDragActionMove) {
  DragItem item;
  item.object = runtime::ObjectHandle::Of(d);
  item.flavors[FourCC("QEl_")] = "";
  item.flavors[kFlavorFileURL] = "file:///home/u/Downloads/a%20b.zip";
  item.flavors[kFlavorText] = "http://127.0.0.1/a b.zip";
  Drag drag;
  drag.items = {item};
  drag.allowed_actions = allowed;
  return drag;
}

TEST(DragPayload, OtherProgramsSeeURIsAndTextAndThisProgramSeesEverything) {
  auto download = std::make_shared<Download>(Download{"a b.zip"});
  const DragPayload payload = EncodeDrag(DragOfDownload(download));
  EXPECT_EQ(payload.data.at(kUriListMimeType), "file:///home/u/Downloads/a%20b.zip\r\n");
  EXPECT_EQ(payload.data.at(kPlainTextMimeType), "http://127.0.0.1/a b.zip");

  {
    const Drag inside = DecodeDrag(payload);
    ASSERT_EQ(inside.items.size(), 1u);
    EXPECT_TRUE(inside.from_this_program);
    EXPECT_EQ(inside.items[0].object.As<Download>(), download);
    EXPECT_TRUE(inside.items[0].HasFlavor(FourCC("QEl_")));
  }

  DragPayload outside = payload;
  outside.data.erase(kPrivateDragMimeType);
  const Drag external = DecodeDrag(outside);
  ASSERT_EQ(external.items.size(), 1u);
  EXPECT_FALSE(external.from_this_program);
  EXPECT_FALSE(external.items[0].object);
  EXPECT_EQ(external.items[0].Flavor(kFlavorFileURL), "file:///home/u/Downloads/a%20b.zip");

  EndDragSession(payload);
  EXPECT_EQ(CountDragSessions(), 0);
  EXPECT_EQ(download.use_count(), 1);                   // the session let the object go
  EXPECT_FALSE(DecodeDrag(payload).from_this_program);  // an ended token names nothing
}

TEST(DragPayload, ForeignPayloadsBecomeURLItemsOrOneTextItem) {
  struct Case {
    DragPayload payload;
    std::vector<std::string> urls;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{{{kUriListMimeType, "# comment\r\nhttp://127.0.0.1/1\r\nfile:///tmp/2\n"}}},
       {"http://127.0.0.1/1", "file:///tmp/2"},
       ""},
      {{{{kPlainTextMimeType, "http://127.0.0.1/x\rhttp://127.0.0.1/y"}}},
       {},
       "http://127.0.0.1/x\rhttp://127.0.0.1/y"},
      // A token from elsewhere (or a forged one) is not ours: only the text counts.
      {{{{kPrivateDragMimeType, "1-deadbeef"}, {kPlainTextMimeType, "t"}}}, {}, "t"},
  };
  for (const Case& c : cases) {
    const Drag drag = DecodeDrag(c.payload);
    EXPECT_FALSE(drag.from_this_program);
    std::vector<std::string> urls;
    std::string text;
    for (const DragItem& item : drag.items) {
      EXPECT_FALSE(item.object);
      if (auto u = item.Flavor(kFlavorFileURL)) urls.push_back(*u);
      if (auto t = item.Flavor(kFlavorText)) text += *t;
    }
    EXPECT_EQ(urls, c.urls);
    EXPECT_EQ(text, c.text);
  }
}

// Accepts downloads of this program with `wanted`, and records what it was told.
class DropView : public View {
 public:
  unsigned wanted = kDragActionMove;
  bool refuse_within = false;
  std::vector<std::string> calls;
  std::shared_ptr<Download> received;
  Point drop_point;

  unsigned OnDragEnter(const Drag& drag) override {
    calls.push_back("enter");
    return drag.from_this_program ? wanted : kDragActionNone;
  }
  unsigned OnDragWithin(const Drag& drag) override {
    calls.push_back("within");
    return refuse_within ? kDragActionNone : wanted;
  }
  void OnDragLeave() override { calls.push_back("leave"); }
  bool OnDrop(const Drag& drag) override {
    calls.push_back("drop");
    received = drag.items.at(0).object.As<Download>();
    drop_point = drag.mouse;
    return true;
  }
};

class SourceView : public View {
 public:
  std::vector<unsigned> ended;
  void OnDragEnded(unsigned action) override { ended.push_back(action); }
};

class DragBetweenViews : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = Window::Create({.title = "Drag", .content = {0, 0, 300, 200}});
    window_->AddView({.id = {kApplicationSignature, 1}, .bounds = {0, 0, 100, 100}}, source_);
    window_->AddView({.id = {kApplicationSignature, 2}, .bounds = {150, 0, 100, 100}}, target_);
    previous_ = SetDragPerformer([this](View&, const DragPayload& payload, unsigned allowed) {
      return DeliverDrop(*target_, payload, {12, 34}, 0, allowed);
    });
  }
  void TearDown() override {
    SetDragPerformer(previous_);
    window_->Release();
  }
  std::shared_ptr<Window> window_;
  std::shared_ptr<SourceView> source_ = std::make_shared<SourceView>();
  std::shared_ptr<DropView> target_ = std::make_shared<DropView>();
  DragPerformer previous_;
};

TEST_F(DragBetweenViews, TheObjectArrivesAndTheSourceLearnsTheAction) {
  auto download = std::make_shared<Download>(Download{"x"});
  EXPECT_EQ(source_->StartDrag(DragOfDownload(download)), kDragActionMove);
  EXPECT_EQ(target_->calls, (std::vector<std::string>{"enter", "within", "drop"}));
  EXPECT_EQ(target_->received, download);
  EXPECT_EQ(target_->drop_point, (Point{12, 34}));
  EXPECT_FALSE(target_->IsDragInside());
  EXPECT_EQ(source_->ended, std::vector<unsigned>{kDragActionMove});
  EXPECT_EQ(CountDragSessions(), 0);
}

TEST_F(DragBetweenViews, RefusalsEndTheDragWithNoAction) {
  struct Case {
    unsigned allowed;
    unsigned wanted;
    bool refuse_within;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {kDragActionCopy, kDragActionMove, false, {"enter"}},  // the source does not allow a move
      {kDragActionCopy | kDragActionMove, kDragActionMove, true, {"enter", "within", "leave"}},
  };
  for (const Case& c : cases) {
    target_->calls.clear();
    source_->ended.clear();
    target_->wanted = c.wanted;
    target_->refuse_within = c.refuse_within;
    auto download = std::make_shared<Download>(Download{"x"});
    EXPECT_EQ(source_->StartDrag(DragOfDownload(download, c.allowed)), kDragActionNone);
    EXPECT_EQ(target_->calls, c.calls);
    EXPECT_FALSE(target_->received);
    EXPECT_EQ(source_->ended, std::vector<unsigned>{kDragActionNone});
    EXPECT_EQ(download.use_count(), 1);
  }
}

}  // namespace
}  // namespace toolbox
