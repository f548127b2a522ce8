#include "app/ui/inspector/download_inspector.h"

#include <map>

#include "app/engine/task/resume_file.h"
#include "app/queue/events/download_events.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/inspector/download_map.h"
#include "app/util/text/byte_count.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

constexpr double kWidth = 440;
constexpr double kLabelWidth = 96;
constexpr double kRowHeight = 18;
constexpr double kMapTop = 4 * kRowHeight + 14;
constexpr double kMapHeight = 120;
constexpr double kCascadeStep = 20;

struct Inspector {
  std::weak_ptr<toolbox::Window> window;
  std::shared_ptr<DownloadProgressView> map;
};

std::map<std::uint32_t, Inspector>& Inspectors() {
  static std::map<std::uint32_t, Inspector> inspectors;
  return inspectors;
}

// The ranges made for downloads that were not running when their inspector opened.
std::map<std::uint32_t, engine::RangeList>& StoredRanges() {
  static std::map<std::uint32_t, engine::RangeList> ranges;
  return ranges;
}

engine::RangeList RangesOfReport(const values::Array& report) {
  engine::RangeList out;
  for (const values::Value& v : report) {
    const values::Array* pair = v.AsArray();
    if (pair == nullptr || pair->size() != 2 || !(*pair)[0].IsNumber() || !(*pair)[1].IsNumber()) continue;
    out.push_back({(*pair)[0].AsNumber()->AsInt64(), (*pair)[1].AsNumber()->AsInt64()});
  }
  // The map walks the ranges in order: a report is a done list already, but it comes
  // through an event and is made one again rather than trusted.
  engine::NormalizeRangeList(out);
  return out;
}

void MakeStoredRanges(queue::DownloadQueueElement& e) {
  if (StoredRanges().contains(e.uid) || queue::DownloadReceivedRanges().contains(e.uid)) return;
  if (e.status == queue::kStatusCompleted) {
    StoredRanges()[e.uid] = {{0, e.progress}};
    return;
  }
  const auto data = queue::ResolveAliasField(e.fileAlias);
  if (!data) return;
  engine::RangeList ranges;
  if (engine::ReadRangesFile(data->Parent().Child(queue::kRangesFileName), e.fileSize, ranges).ok())
    StoredRanges()[e.uid] = std::move(ranges);
}

engine::RangeList CurrentRanges(std::uint32_t uid) {
  if (auto it = queue::DownloadReceivedRanges().find(uid); it != queue::DownloadReceivedRanges().end())
    return RangesOfReport(it->second);
  if (auto it = StoredRanges().find(uid); it != StoredRanges().end()) return it->second;
  return {};
}

toolbox::Control* Field(toolbox::Window& w, std::int32_t id) {
  return w.FindControl(toolbox::kApplicationSignature, id);
}

void SetText(toolbox::Window& w, std::int32_t id, const std::string& text) {
  if (toolbox::Control* c = Field(w, id); c && c->Text() != text) c->SetText(text);
}

void Refresh(toolbox::Window& w, DownloadProgressView& map, const queue::DownloadQueueElement& e) {
  SetText(w, kInspectorNameID, e.filename);
  if (w.Title() != e.filename) w.SetTitle(e.filename);
  SetText(w, kInspectorSizeID, e.fileSize > 0 ? util::CopyByteCountString(e.fileSize) : std::string());
  map.setFileSize(e.fileSize > 0 ? e.fileSize : 0);
  SetText(w, kInspectorProgressID, util::CopyByteCountString(e.progress));
  map.setDownloadedRanges(CurrentRanges(e.uid));
  SetText(w, kInspectorTimeID,
          DownloadInspectorTimeText(static_cast<std::int32_t>(e.status), e.rate, e.fileSize, e.progress));
}

void AddRow(toolbox::Window& w, int row, const char* label, std::int32_t id) {
  const double y = 8 + row * kRowHeight;
  const toolbox::Font font = toolbox::GetThemeFont(toolbox::ThemeFont::kSmallSystem);
  w.AddControl({.kind = toolbox::ControlKind::kStaticText,
                .id = {toolbox::kApplicationSignature, 100 + id},
                .bounds = {8, y, kLabelWidth - 8, kRowHeight},
                .text = values::Localized(label),
                .font = font});
  w.AddControl({.kind = toolbox::ControlKind::kStaticText,
                .id = {toolbox::kApplicationSignature, id},
                .bounds = {kLabelWidth, y, kWidth - kLabelWidth - 8, kRowHeight},
                .font = font,
                .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight});
}

}  // namespace

void DownloadProgressView::Draw(toolbox::DrawingContext& ctx, const toolbox::Rect&) {
  const toolbox::Size size = GetSize();
  DrawDownloadMap(ctx, size.width, size.height, squaresize_, fileSize_, downloadedRanges_);
}

void DownloadProgressView::setFileSize(std::int64_t size) {
  fileSize_ = size;
  Invalidate();
}

void DownloadProgressView::setDownloadedRanges(engine::RangeList ranges) {
  if (ranges == downloadedRanges_) return;
  downloadedRanges_ = std::move(ranges);
  Invalidate();
}

toolbox::Window* FindDownloadInspector(std::uint32_t uid) {
  auto it = Inspectors().find(uid);
  if (it == Inspectors().end()) return nullptr;
  auto w = it->second.window.lock();
  if (!w || w->IsReleased()) {
    Inspectors().erase(it);
    return nullptr;
  }
  return w.get();
}

DownloadProgressView* DownloadInspectorMap(std::uint32_t uid) {
  return FindDownloadInspector(uid) ? Inspectors()[uid].map.get() : nullptr;
}

toolbox::Window* ShowDownloadInspector(queue::DownloadQueueElement& element) {
  if (toolbox::Window* open = FindDownloadInspector(element.uid)) {
    open->Select();
    return open;
  }
  const auto w = toolbox::Window::Create({.kind = toolbox::WindowKind::kDocument,
                                          .title = element.filename,
                                          .content = {0, 0, kWidth, kMapTop + kMapHeight + 8},
                                          .resizable = true});
  AddRow(*w, 0, "Name:", kInspectorNameID);
  AddRow(*w, 1, "Size:", kInspectorSizeID);
  AddRow(*w, 2, "Received:", kInspectorProgressID);
  AddRow(*w, 3, "Time left:", kInspectorTimeID);
  auto map = std::make_shared<DownloadProgressView>();
  w->AddView(
      {.kind = toolbox::ControlKind::kUserPane,
       .id = {toolbox::kApplicationSignature, kInspectorMapID},
       .bounds = {8, kMapTop, kWidth - 16, kMapHeight},
       .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight | toolbox::kBindBottom},
      map);
  w->SetMinimumSize({200, kMapTop + 24});

  const std::uint32_t uid = element.uid;
  std::weak_ptr<toolbox::Window> weak = w;
  w->InstallHandler({{toolbox::kEventClassWindow, toolbox::kEventWindowDispose}},
                    [uid, weak](runtime::HandlerCall&, runtime::Event&) -> runtime::Status {
                      auto it = Inspectors().find(uid);
                      if (it != Inspectors().end() && it->second.window.lock() == weak.lock())
                        Inspectors().erase(it);
                      return runtime::kEventNotHandledErr;
                    });

  // Cascade below the inspectors already open, unless a frame was saved.
  if (!w->SetFrameAutosaveKey(kInspectorAutosaveName)) {
    w->Center();
    const double step = kCascadeStep * static_cast<double>(Inspectors().size() % 10);
    const toolbox::Rect b = w->ContentBounds();
    w->MoveTo(b.x + step, b.y + step);
  } else if (!Inspectors().empty()) {
    const toolbox::Rect b = w->ContentBounds();
    const double step = kCascadeStep * static_cast<double>(Inspectors().size() % 10);
    w->MoveTo(b.x + step, b.y + step);
  }
  Inspectors()[uid] = {w, map};
  MakeStoredRanges(element);
  Refresh(*w, *map, element);
  w->Select();
  return w.get();
}

void UpdateDownloadInspector(std::uint32_t uid) {
  toolbox::Window* w = FindDownloadInspector(uid);
  if (w == nullptr) return;
  const queue::WrapperRef download = queue::LookUpDownloadWrapper(uid);
  if (!download) return;
  Refresh(*w, *Inspectors()[uid].map, download->element());
}

void CloseDownloadInspector(std::uint32_t uid) {
  StoredRanges().erase(uid);
  toolbox::Window* w = FindDownloadInspector(uid);
  if (w == nullptr) return;
  Inspectors().erase(uid);
  w->Release();
}

}  // namespace ui
