#include "app/ui/main_list/list_cells.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "app/browser/services/remote_rows.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/post_download_actions.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/sharing/services/received_files_service.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/views/resource_images.h"
#include "app/upload/services/upload_rows.h"
#include "platform/files/catalog_info.h"
#include "platform/files/file_ref.h"
#include "platform/runtime/main_thread.h"
#include "platform/toolbox/theme/icons.h"
#include "platform/toolbox/theme/theme.h"
#include "platform/toolbox/windows/window.h"
#include "platform/values/clock.h"
#include "platform/values/date_format.h"
#include "platform/values/date_time.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using toolbox::Color;
using toolbox::DrawingContext;
using toolbox::Rect;
using values::FourCharCode;

constexpr double kIconSide = 16;
constexpr double kButtonStep = 18;
constexpr double kStatusIconWidth = 20;
constexpr double kTextInset = 5;
constexpr double kBarHeight = 14;

// The localised text of a key, the English text when no table gives one.
std::string Text(std::string_view key, std::string_view english) {
  std::string s = values::Localized(key);
  return s == key ? std::string(english) : s;
}

std::string CompletedText() {
  return Text("kStatusCompleted", "Completed");
}
std::string PausedText() {
  return Text("kPausedStatus", "Stopped");
}

std::string WithPercent(const std::string& text, std::int64_t received, std::int64_t size) {
  return values::Format(Text("%@ (%.2f%%)", "%@ (%.2f%%)"),
                        {text, static_cast<double>(received) / static_cast<double>(size) * 100.0});
}

std::uint8_t& ProgressPhase() {
  static std::uint8_t phase = 0;
  return phase;
}

ListCommandSink& CommandSink() {
  static ListCommandSink sink;
  return sink;
}

bool IsRemoteBrowserRow(const queue::DownloadQueueElement& e) {
  return (e.hostID & 0x80000000u) != 0;
}
bool IsPeerItem(const queue::DownloadQueueElement& e) {
  return e.hostID != 0 && !IsRemoteBrowserRow(e);
}
bool IsLocal(const queue::DownloadQueueElement& e) {
  return e.hostID == 0;
}
constexpr std::int16_t kOptionDirectTransfer = 8;

queue::WrapperRef WrapperOf(const MainListItem& row) {
  return std::static_pointer_cast<queue::DownloadQueueWrapper>(row.record);
}

bool FiltersViewShown() {
  return queue::GetCurrentViewID() == queue::kFiltersViewID;
}

// A local download whose bytes can be taken up again: the resume button and the status
// icon start it.
bool CanResume(const queue::DownloadQueueElement& e) {
  return IsLocal(e) && e.progress > 0 &&
         !(e.status & (queue::kRunningMask | queue::kStatusCompleted | queue::kStatusVerifying));
}

void RevealDownload(const queue::WrapperRef& w) {
  queue::DownloadQueueElement& e = w->element();
  if (!IsLocal(e)) return;
  if (!queue::DownloadQueueElementGetCompleteURL(e)) return;
  if (auto ref = queue::GetDownloadFileRef(w)) queue::RevealInFinder(*ref);
}

// An upload's or a received file's file; when it cannot be found, the received-files
// folder, when that exists.
void RevealFileOrReceivedFolder(const std::optional<std::string>& path) {
  if (path && !path->empty() && files::Exists(files::FileRef(*path))) {
    queue::RevealInFinder(files::FileRef(*path));
    return;
  }
  if (auto folder = sharing::ReceivedFilesServiceSlot::Get().GetReceivedFilesFolder(false))
    queue::RevealInFinder(files::FileRef(folder->string()));
}

void RevealUpload(const upload::UploadRow& u) {
  RevealFileOrReceivedFolder(u.localPath());
}

sharing::ReceivedFileRow& ReceivedFileOf(const MainListItem& row) {
  return *std::static_pointer_cast<sharing::ReceivedFileRow>(row.record);
}

// A finished received file kept by an alias: it can be revealed and sent.
bool HasReceivedFile(const sharing::ReceivedFileRow& r) {
  return r.status() == sharing::kReceivedFileReceived && r.hasAlias();
}

bool UploadPartlySent(const upload::UploadRow& u) {
  return u.bytesTransferred() > 0 && u.state() != upload::kUploadFinished &&
         u.state() != upload::kUploadUploading;
}

// The cells' text follows the list's own text size: the label size, or the small system
// size when "fontSize" asks for the larger list text.
toolbox::Font CellFont(bool emphasised) {
  toolbox::Font font = toolbox::GetThemeFont(
      toolbox::FontSizePreference() == 1 ? toolbox::ThemeFont::kSmallSystem : toolbox::ThemeFont::kLabel);
  font.bold = emphasised;
  return font;
}

Color TextColor(bool selected, bool active, bool warning) {
  if (warning) return Color{1, 0, 0, 1};
  return selected && active ? Color::White() : Color::Black();
}

void DrawIcon(DrawingContext& ctx, const Rect& r, FourCharCode type, bool pressed) {
  if (type == 0) return;
  auto icon = GetCellIcon(type);
  if (!icon) return;
  if (!pressed) {
    ctx.DrawImage(r, *icon);
    return;
  }
  // The selected transform: the icon darkened, only where it is drawn.
  const toolbox::Image& source = *icon;
  ctx.DrawImage(
      r, toolbox::Image::Render(source.width(), source.height(), toolbox::Origin::kTopLeft,
                                [&source](DrawingContext& dark) {
                                  const Rect all{0, 0, double(source.width()), double(source.height())};
                                  dark.DrawImage(all, source);
                                  dark.SetBlendMode(toolbox::BlendMode::kSourceAtop);
                                  dark.SetFillColor(Color{0, 0, 0, 0.45});
                                  dark.FillRect(all);
                                }));
}

void DrawStatusText(DrawingContext& ctx, const Rect& area, const std::string& text, bool selected,
                    bool active, bool warning, FourCharCode icon) {
  Rect r{area.x + kTextInset, area.y, std::max(0.0, area.width - 2 * kTextInset), area.height};
  if (icon != 0) {
    DrawIcon(
        ctx,
        {r.x - 1, area.y + std::max(0.0, std::floor((area.height - kIconSide) / 2)), kIconSide, kIconSide},
        icon, false);
    r.x += 18;
    r.width = std::max(0.0, r.width - 18);
  }
  toolbox::TextStyle style;
  style.font = CellFont(warning);
  style.color = TextColor(selected, active, warning);
  style.truncation = toolbox::Truncation::kEnd;
  style.center_vertically = true;
  ctx.DrawText(text, r, style);
}

// The short time of the locale, made once.
std::string ShortTime(double t) {
  static const auto formatter =
      values::DateFormatter::WithStyles(values::DateStyle::kNone, values::DateStyle::kShort);
  return formatter ? formatter->Format(t) : std::string();
}
std::string ShortDateTime(double t) {
  static const auto formatter =
      values::DateFormatter::WithStyles(values::DateStyle::kShort, values::DateStyle::kShort);
  return formatter ? formatter->Format(t) : std::string();
}

std::string ScheduledText(double when, double now) {
  const double today = values::DayStart(now);
  const double tomorrow = values::AddDays(today, 1, values::DefaultTimeZone());
  const double after = values::AddDays(today, 2, values::DefaultTimeZone());
  if (when >= today && when < tomorrow)
    return values::Format(Text("%@ %@", "%@ %@"), {Text("Today", "Today"), ShortTime(when)});
  if (when >= tomorrow && when < after)
    return values::Format(Text("%@ %@", "%@ %@"), {Text("kDateTomorrow", "Tomorrow"), ShortTime(when)});
  return ShortDateTime(when);
}

// Our own drawings of the cell icons, for a resource folder without their PNGs.
toolbox::Image DrawnIcon(FourCharCode type) {
  return toolbox::Image::Render(16, 16, toolbox::Origin::kTopLeft, [type](DrawingContext& ctx) {
    const Color grey = Color::FromBytes(110, 110, 110);
    auto circle = [&](Color c) {
      ctx.SetFillColor(c);
      ctx.FillEllipseInRect({1, 1, 14, 14});
    };
    auto ring = [&](const Rect& r) {
      ctx.BeginPath();
      ctx.AddEllipseInRect(r);
      ctx.StrokePath();
    };
    ctx.SetStrokeColor(Color::White());
    ctx.SetLineWidth(2);
    if (type == kCellIconStop || type == kCellIconDelete) {
      circle(type == kCellIconStop ? Color::FromBytes(200, 60, 50) : grey);
      ctx.StrokeLine({5, 5}, {11, 11});
      ctx.StrokeLine({11, 5}, {5, 11});
    } else if (type == kCellIconResume) {
      circle(Color::FromBytes(60, 150, 70));
      ctx.SetFillColor(Color::White());
      ctx.BeginPath();
      ctx.MoveToPoint(6, 4.5);
      ctx.AddLineToPoint(11.5, 8);
      ctx.AddLineToPoint(6, 11.5);
      ctx.ClosePath();
      ctx.FillPath();
    } else if (type == kCellIconReveal) {
      circle(Color::FromBytes(70, 120, 200));
      ctx.SetLineWidth(1.5);
      ring({4.5, 4.5, 5.5, 5.5});
      ctx.StrokeLine({9.5, 9.5}, {12, 12});
    } else if (type == kCellIconUpload || type == kCellIconDirect) {
      const bool up = type == kCellIconUpload;
      circle(up ? Color::FromBytes(230, 140, 40) : Color::FromBytes(60, 150, 70));
      ctx.StrokeLine({8, 4}, {8, 12});
      ctx.StrokeLine({5, up ? 7.0 : 9.0}, {8, up ? 4.0 : 12.0});
      ctx.StrokeLine({11, up ? 7.0 : 9.0}, {8, up ? 4.0 : 12.0});
    } else if (type == kCellIconScheduled) {
      ctx.SetFillColor(Color::White());
      ctx.FillEllipseInRect({1, 1, 14, 14});
      ctx.SetStrokeColor(grey);
      ctx.SetLineWidth(1.5);
      ring({1.5, 1.5, 13, 13});
      ctx.StrokeLine({8, 8}, {8, 4});
      ctx.StrokeLine({8, 8}, {11, 9});
    }
  });
}

}  // namespace

std::optional<toolbox::Image> GetCellIcon(FourCharCode type) {
  static const std::map<FourCharCode, const char*> names = {
      {kCellIconStop, "cancel"},         {kCellIconResume, "resume"},
      {kCellIconReveal, "reveal"},       {kCellIconUpload, "uploadArrow"},
      {kCellIconDelete, "delete_small"}, {kCellIconDirect, "smallDownload"},
      {kCellIconScheduled, "scheduled"},
  };
  if (auto icon = toolbox::FindIcon(kAppCreator, type)) return icon;
  auto name = names.find(type);
  if (name == names.end()) return std::nullopt;
  if (auto icon = toolbox::RegisterIconResource(kAppCreator, type, name->second)) return icon;
  toolbox::RegisterIcon(kAppCreator, type, DrawnIcon(type));
  return toolbox::FindIcon(kAppCreator, type);
}

std::string QueuedOrdinalText(std::int32_t n) {
  const char* key = "Queued (%dth)";
  const char* english = "Queued (%dth)";
  if (n % 10 == 1 && n % 100 == 1) {
    key = english = "Queued (%dst)";
  } else if (n % 10 == 1 && n % 100 != 11) {
    key = "Queued (%dst)2";
    english = "Queued (%dst)";
  } else if (n % 10 == 2 && n % 100 != 12) {
    key = english = "Queued (%dnd)";
  } else if (n % 10 == 3 && n % 100 != 13) {
    key = english = "Queued (%drd)";
  }
  return values::Format(Text(key, english), {n});
}

std::string DownloadStatusText(const queue::DownloadQueueElement& e, double now) {
  std::string text;
  switch (e.status) {
    case queue::kStatusStarting:
      text = Text("Starting", "Starting");
      break;
    case queue::kStatusQueued:
      text = QueuedOrdinalText(e.queuePosition);
      break;
    case queue::kStatusOnHold:
      text = Text("On Hold", "On Hold");
      break;
    case queue::kStatusStopped:
      text = PausedText();
      break;
    case queue::kStatusFailed:
      text = Text("Failed", "Failed");
      break;
    case queue::kStatusCompleted:
      return e.verificationFailed ? Text("Verification failed", "Verification failed") : CompletedText();
    case queue::kStatusVerifying:
      text = Text("Verifying", "Verifying");
      break;
    case queue::kStatusScheduled:
      text = ScheduledText(e.scheduleTime, now);
      break;
    default:
      break;
  }
  if (e.fileSize > 0 && e.progress > 0 && e.progress != e.fileSize)
    text = WithPercent(text, e.progress, e.fileSize);
  return text;
}

bool DownloadStatusIsWarning(const queue::DownloadQueueElement& e) {
  return e.status == queue::kStatusCompleted && e.verificationFailed;
}

std::string CopyUploadStatusText(const upload::UploadRow& u) {
  std::string text;
  switch (u.state()) {
    case 1:
      text = Text("Failed", "Failed");
      break;
    case 2:
      text = Text("Failed (authorisation)", "Failed (authorisation)");
      break;
    case 4:
      text = Text("Cancelled by Server", "Cancelled by Server");
      break;
    case 8:
      text = PausedText();
      break;
    case upload::kUploadWaiting:
      // Out of the waiting list the index is all ones.
      text = u.waitingIndex() == UINT32_MAX
                 ? Text("Idle", "Idle")
                 : QueuedOrdinalText(static_cast<std::int32_t>(u.waitingIndex()) + 1);
      break;
    case upload::kUploadFinished:
      return CompletedText();
    default:
      break;
  }
  if (u.bytesTransferred() > 0 && u.fileSize() > 0)
    text = WithPercent(text, u.bytesTransferred(), u.fileSize());
  return text;
}

std::string ReceivedFileStatusText(std::int32_t status, std::int64_t size, std::int64_t received) {
  if (status == sharing::kReceivedFileReceived) return CompletedText();
  std::string text = status == 2 ? Text("Incomplete", "Incomplete") : std::string();
  if (received > 0 && size > 0) text = WithPercent(text, received, size);
  return text;
}

FourCharCode GetStatusCellIcon(const MainListItem& row) {
  switch (row.kind) {
    case RowKind::kDownload: {
      const auto& e = row.as<queue::DownloadQueueWrapper>().element();
      if (e.status == queue::kStatusDownloading) return kCellIconStop;
      if (e.status == queue::kStatusCompleted && IsLocal(e) && e.completeURL) return kCellIconReveal;
      if (IsLocal(e) && e.progress > 0 && e.status != queue::kStatusCompleted) return kCellIconResume;
      return 0;
    }
    case RowKind::kReceivedFile: {
      const auto& r = row.as<sharing::ReceivedFileRow>();
      if (r.status() == sharing::kReceivedFileReceiving) return kCellIconStop;
      return HasReceivedFile(r) ? kCellIconReveal : 0;
    }
    case RowKind::kUpload: {
      const auto& u = row.as<upload::UploadRow>();
      if (u.state() == upload::kUploadUploading) return kCellIconStop;
      return UploadPartlySent(u) ? kCellIconResume : 0;
    }
    default:
      return 0;
  }
}

FourCharCode GetCellButtonIcon(const MainListItem& row, std::uint32_t property, int button) {
  if (property != kColFile && property != kColRemoteLead) return 0;
  const bool actions = property == kColFile;
  switch (row.kind) {
    case RowKind::kDownload: {
      const auto& e = row.as<queue::DownloadQueueWrapper>().element();
      if (!actions) {
        if (button != 1) return 0;
        if (IsRemoteBrowserRow(e)) return kCellIconDelete;
        if (IsPeerItem(e) && (e.flags & kOptionDirectTransfer)) return kCellIconDirect;
        return 0;
      }
      const bool running = (e.status & queue::kRunningMask) != 0;
      switch (button) {
        case 1:
          if (e.completeFile) return kCellIconReveal;
          return CanResume(e) ? kCellIconResume : 0;
        case 2:
          return e.completeFile ? kCellIconUpload : 0;
        case 3:
          if (running) return kCellIconStop;
          if ((IsLocal(e) && !FiltersViewShown()) || IsRemoteBrowserRow(e)) return kCellIconDelete;
          return 0;
        default:
          return 0;
      }
    }
    case RowKind::kReceivedFile: {
      if (!actions) return 0;
      const auto& r = row.as<sharing::ReceivedFileRow>();
      switch (button) {
        case 1:
          return HasReceivedFile(r) ? kCellIconReveal : 0;
        case 2:
          return HasReceivedFile(r) ? kCellIconUpload : 0;
        case 3:
          return r.status() == sharing::kReceivedFileReceiving ? kCellIconStop : kCellIconDelete;
        default:
          return 0;
      }
    }
    case RowKind::kUpload: {
      if (!actions) return 0;
      const auto& u = row.as<upload::UploadRow>();
      const bool hasFile = u.localPath().has_value();
      switch (button) {
        case 1:
          return hasFile ? kCellIconReveal : 0;
        case 2:
          if (UploadPartlySent(u)) return kCellIconResume;
          return hasFile ? kCellIconUpload : 0;
        case 3:
          return u.state() == upload::kUploadUploading ? kCellIconStop : kCellIconDelete;
        default:
          return 0;
      }
    }
    case RowKind::kFTPNode:
      return button == 1 && !row.as<browser::FTPNodeRow>().hasParent() ? 0
                                                                       : (button == 1 ? kCellIconDelete : 0);
    case RowKind::kDotMacNode:
      return button == 1 && row.as<browser::DotMacNodeRow>().hasParent() ? kCellIconDelete : 0;
    default:
      return 0;
  }
}

Rect CellButtonRect(const Rect& cell, std::uint32_t property, int button) {
  const double least = property == kColRemoteLead ? 20 : 52;
  double x = cell.x + 1;
  if (cell.width - 1 < least) x -= std::floor((least - (cell.width - 1)) / 2);
  const double y = cell.y + (cell.height > kIconSide ? std::floor((cell.height - kIconSide) / 2) : 0);
  return {x + kButtonStep * (button - 1), y, kIconSide, kIconSide};
}

Rect StatusIconRect(const Rect& cell) {
  const double y = cell.y + (cell.height > kIconSide ? std::floor((cell.height - kIconSide) / 2) : 0);
  return {cell.x + 2, y, kIconSide, kIconSide};
}

int ListCellPress(const MainListItem& row, std::uint32_t property, const Rect& cell, toolbox::Point where) {
  if (property == kColFile || property == kColRemoteLead) {
    const int buttons = property == kColFile ? 3 : 1;
    for (int b = 1; b <= buttons; ++b)
      if (GetCellButtonIcon(row, property, b) != 0 && CellButtonRect(cell, property, b).Contains(where))
        return b;
    return toolbox::kCellPressTaken;
  }
  if (property == kColStatus && GetStatusCellIcon(row) != 0 && StatusIconRect(cell).Contains(where))
    return kStatusIconPart;
  return toolbox::kCellPressNormal;
}

void CellButtonClicked(const MainListItem& row, std::uint32_t property, int part) {
  // The row's icons may have changed while the mouse was down: act on what it shows now.
  if (part == kStatusIconPart) {
    if (GetStatusCellIcon(row) == 0) return;
  } else if (GetCellButtonIcon(row, property, part) == 0) {
    return;
  }
  switch (row.kind) {
    case RowKind::kDownload: {
      const queue::WrapperRef w = WrapperOf(row);
      queue::DownloadQueueElement& e = w->element();
      const bool running = (e.status & queue::kRunningMask) != 0;
      if (part == kStatusIconPart) {
        if (running)
          queue::StopDownload(w);
        else if (e.status == queue::kStatusCompleted)
          RevealDownload(w);
        else if (IsLocal(e) && e.progress > 0)
          queue::StartDownload(w);
        return;
      }
      if (property == kColRemoteLead) {
        if (IsRemoteBrowserRow(e))
          PostListCommandForRow(row, values::FourCC("Remo"));
        else if (IsPeerItem(e) && (e.flags & kOptionDirectTransfer))
          PostListCommandForRow(row, values::FourCC("DirT"));
        return;
      }
      switch (part) {
        case 1:
          if (e.completeFile)
            RevealDownload(w);
          else if (CanResume(e))
            queue::StartDownload(w);
          return;
        case 2:
          if (e.completeFile) PostListCommandForRow(row, values::FourCC("SeSf"));
          return;
        case 3:
          if (e.inUse || IsPeerItem(e)) return;
          if (running)
            queue::StopDownload(w);
          else
            PostListCommandForRow(row, values::FourCC("Remo"));
          return;
        default:
          return;
      }
    }
    case RowKind::kUpload: {
      const auto& u = row.as<upload::UploadRow>();
      if (part == kStatusIconPart || part == 3) {
        if (u.state() == upload::kUploadUploading)
          PostListCommandForRow(row, values::FourCC("StoD"));
        else if (part == kStatusIconPart)
          PostListCommandForRow(row, values::FourCC("StaD"));
        else
          PostListCommandForRow(row, values::FourCC("Remo"));
      } else if (part == 1) {
        RevealUpload(u);
      } else if (part == 2) {
        PostListCommandForRow(row, values::FourCC(UploadPartlySent(u) ? "StaD" : "SeSf"));
      }
      return;
    }
    case RowKind::kReceivedFile: {
      sharing::ReceivedFileRow& r = ReceivedFileOf(row);
      const bool arriving = r.status() == sharing::kReceivedFileReceiving;
      if (part == 1 || (part == kStatusIconPart && !arriving)) {
        if (r.status() == sharing::kReceivedFileReceived) RevealFileOrReceivedFolder(r.UpdatePath());
      } else if (part == 2) {
        PostListCommandForRow(row, values::FourCC("SeSf"));
      } else if (part == 3 || part == kStatusIconPart) {
        PostListCommandForRow(row, values::FourCC(arriving ? "StoD" : "Remo"));
      }
      return;
    }
    case RowKind::kFTPNode:
      if (part == 1)
        browser::RemoteRowsServiceSlot::Get().DeleteFTPNodeFromServer(
            std::static_pointer_cast<browser::FTPNodeRow>(row.record));
      return;
    case RowKind::kDotMacNode:
      if (part == 1) PostListCommandForRow(row, values::FourCC("Remo"));
      return;
    default:
      return;
  }
}

void DrawProgressCell(DrawingContext& ctx, const Rect& area, bool selected, bool active, double fraction) {
  Rect bar{area.x + kTextInset, area.y, std::max(0.0, area.width - 2 * kTextInset), area.height};
  if (bar.height > kBarHeight) {
    const double d = std::floor((bar.height - kBarHeight) / 2);
    bar.y += d;
    bar.height -= 2 * d;
  }
  if (!(fraction > 0)) {
    toolbox::DrawIndeterminateProgressBar(ctx, bar, ProgressPhase());
    return;
  }
  fraction = std::min(fraction, 1.0);
  const toolbox::Font font = CellFont(false);
  const double reserve = toolbox::MeasureText("100.00%", font).width + 5;
  const Rect track{bar.x, bar.y, std::max(0.0, bar.width - reserve), bar.height};
  toolbox::DrawProgressBar(ctx, track, std::trunc(fraction * 1000) / 1000);
  toolbox::TextStyle style;
  style.font = font;
  style.color = TextColor(selected, active, false);
  style.truncation = toolbox::Truncation::kEnd;
  style.center_vertically = true;
  const double textX = track.x + track.width + 5;
  ctx.DrawText(values::Format("%.2f%%", {fraction * 100}),
               {textX, area.y, std::max(0.0, area.x + area.width - textX), area.height}, style);
}

void DrawDownloadStatusCell(DrawingContext& ctx, const MainListItem& row,
                            const toolbox::ListCustomDraw& cell) {
  const Rect r = cell.cell;
  ctx.SaveGState();
  ctx.ClipToRect(r);
  if (cell.property == kColFile || cell.property == kColRemoteLead) {
    const int buttons = cell.property == kColFile ? 3 : 1;
    for (int b = 1; b <= buttons; ++b)
      DrawIcon(ctx, CellButtonRect(r, cell.property, b), GetCellButtonIcon(row, cell.property, b),
               cell.pressed_button == b);
    ctx.RestoreGState();
    return;
  }
  if (cell.property != kColStatus) {
    ctx.RestoreGState();
    return;
  }
  DrawIcon(ctx, StatusIconRect(r), GetStatusCellIcon(row), cell.pressed_button == kStatusIconPart);
  const Rect area{r.x + kStatusIconWidth, r.y, std::max(0.0, r.width - kStatusIconWidth), r.height};
  auto fractionOf = [](std::int64_t done, std::int64_t size) {
    return size > 0 ? static_cast<double>(done) / static_cast<double>(size) : -1.0;
  };
  switch (row.kind) {
    case RowKind::kDownload: {
      const auto& e = row.as<queue::DownloadQueueWrapper>().element();
      if (e.status == queue::kStatusDownloading)
        DrawProgressCell(ctx, area, cell.selected, cell.active, fractionOf(e.progress, e.fileSize));
      else
        DrawStatusText(ctx, area, DownloadStatusText(e, values::Now()), cell.selected, cell.active,
                       DownloadStatusIsWarning(e),
                       e.status == queue::kStatusScheduled ? kCellIconScheduled : 0);
      break;
    }
    case RowKind::kUpload: {
      const auto& u = row.as<upload::UploadRow>();
      if (u.state() == upload::kUploadUploading)
        DrawProgressCell(ctx, area, cell.selected, cell.active,
                         fractionOf(u.bytesTransferred(), u.fileSize()));
      else
        DrawStatusText(ctx, area, CopyUploadStatusText(u), cell.selected, cell.active, false, 0);
      break;
    }
    case RowKind::kReceivedFile: {
      const auto& f = row.as<sharing::ReceivedFileRow>();
      if (f.status() == sharing::kReceivedFileReceiving)
        DrawProgressCell(ctx, area, cell.selected, cell.active,
                         fractionOf(f.bytesTransferred(), f.fileSize()));
      else
        DrawStatusText(ctx, area, ReceivedFileStatusText(f.status(), f.fileSize(), f.bytesTransferred()),
                       cell.selected, cell.active, false, 0);
      break;
    }
    default:
      break;
  }
  ctx.RestoreGState();
}

std::string CopyItemHelpTag(const MainListItem& row, std::uint32_t property) {
  if (row.kind == RowKind::kBonjourPeer) {
    if (row.as<sharing::BonjourPeerRow>().connection()) return {};
    return Text("Click to connect to this computer. Option click to force guest authentication",
                "Click to connect to this computer. Option click to force guest authentication");
  }
  if (row.kind != RowKind::kDownload) return {};
  if (property == kColFile) return Text("Reveals this item in the Finder", "Reveals this item in the Finder");
  return queue::CopyElementURLList(row.as<queue::DownloadQueueWrapper>().element());
}

void UpdateStatusColumn() {
  if (MainList* list = GetMainList()) {
    for (std::uint32_t property :
         {std::uint32_t(kColStatus), std::uint32_t(kColQueuePosition), std::uint32_t(kColQueueCheck)})
      list->list().UpdateItems({}, property);
  }
}

bool ColumnsWiderThanBrowser(const toolbox::ListView& list, int listWidth) {
  int total = 0;
  for (auto property : list.Columns()) total += list.ColumnWidth(property).value_or(0);
  // The vertical scroll bar is always shown.
  return total > listWidth - 14;
}

void AdvanceProgressPhase() {
  ++ProgressPhase();
}

ListCommandSink SetListCommandSink(ListCommandSink sink) {
  ListCommandSink previous = std::move(CommandSink());
  CommandSink() = std::move(sink);
  return previous;
}

void PostListCommand(FourCharCode command) {
  if (CommandSink()) {
    CommandSink()(command);
    return;
  }
  // After the click: the handler may change the list the click is still in.
  runtime::PerformOnMainThread([command] {
    if (toolbox::Window* w = GetMainWindow())
      w->ProcessCommand(command);
    else
      toolbox::ProcessCommand(command);
  });
}

void PostListCommandForRow(const MainListItem& row, FourCharCode command) {
  if (MainList* list = GetMainList()) list->SelectRows({row});
  PostListCommand(command);
}

}  // namespace ui
