#include "app/ui/upload_windows/upload_conflict_sheet.h"

#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "app/ui/main_window/main_window.h"
#include "app/ui/views/resource_images.h"
#include "app/upload/engine/upload_engine.h"
#include "app/upload/events/upload_event_handler.h"
#include "app/upload/queue/upload_item.h"
#include "app/upload/queue/upload_queue.h"
#include "app/util/helpers/session_helpers.h"
#include "platform/runtime/main_thread.h"
#include "platform/runtime/notification_center.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/theme/font.h"
#include "platform/values/date_format.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/number_format.h"

namespace ui {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

constexpr values::FourCharCode kCommandReplace = values::FourCC("Repl");
constexpr values::FourCharCode kCommandResume = values::FourCC("Resu");
constexpr values::FourCharCode kCommandSkip = values::FourCC("Skip");
constexpr values::FourCharCode kCommandStop = values::FourCC("Stop");
constexpr values::FourCharCode kPropertyUUID = values::FourCC("UUID");

constexpr double kWidth = 580;
constexpr double kHeight = 286;
constexpr double kLabelWidth = 124;
constexpr double kValueLeft = 150;
constexpr double kValueWidth = kWidth - kValueLeft - 20;

struct SheetState {
  std::vector<upload::UploadConflictQuestion> pending;
  std::shared_ptr<toolbox::Window> sheet;
  runtime::Subscription batchObserver;
};

SheetState& State() {
  static SheetState state;
  return state;
}

toolbox::ControlID ID(std::int32_t n) {
  return {kApplicationSignature, n};
}

toolbox::Control* C(toolbox::Window& w, std::int32_t id) {
  return w.FindControl(ID(id));
}

std::string DateText(const std::optional<values::Date>& date) {
  if (!date) return values::Localized("Unknown");
  static const std::optional<values::DateFormatter> formatter =
      values::DateFormatter::WithStyles(values::DateStyle::kMedium, values::DateStyle::kLong);
  if (!formatter) return values::Localized("Unknown");
  return formatter->Format(date->seconds);
}

// The destination's protocol picture, loaded once per host type for the program's life.
std::optional<toolbox::Image> ProtocolPicture(std::int32_t hostType) {
  const char* name = nullptr;
  switch (hostType) {
    case upload::kHostTypeIDisk:
      name = "idisk";
      break;
    case upload::kHostTypeFTP:
      name = "ftp";
      break;
    case upload::kHostTypeFTPS:
      name = "ftp_ssl";
      break;
    case upload::kHostTypeWebDAV:
      name = "webdav";
      break;
    case upload::kHostTypeSecureWebDAV:
      name = "webdav_ssl";
      break;
    default:
      return std::nullopt;
  }
  static std::map<std::int32_t, std::optional<toolbox::Image>> pictures;
  auto found = pictures.find(hostType);
  if (found == pictures.end()) found = pictures.emplace(hostType, CreateImageFromResource(name)).first;
  return found->second;
}

void AddLabel(toolbox::Window& w, double top, const char* text) {
  w.AddControl({.kind = ControlKind::kStaticText,
                .bounds = {20, top, kLabelWidth, 18},
                .text = values::Localized(text),
                .font = toolbox::GetThemeFont(toolbox::ThemeFont::kEmphasizedSystem)});
}

void AddValue(toolbox::Window& w, std::int32_t id, double top, const std::string& text) {
  w.AddControl({.kind = ControlKind::kStaticText,
                .id = ID(id),
                .bounds = {kValueLeft, top, kValueWidth, 18},
                .text = text,
                .font = toolbox::GetThemeFont(toolbox::ThemeFont::kSmallSystem)});
}

std::string PathText(const std::optional<std::string>& path) {
  if (!path) return {};
  return toolbox::TruncateText(*path, toolbox::GetThemeFont(toolbox::ThemeFont::kSmallSystem), kValueWidth,
                               toolbox::Truncation::kMiddle);
}

void StopObservingBatch() {
  State().batchObserver = {};
}

// Hides and releases the sheet and drops the head question.
void CloseSheetAndDropHead() {
  StopObservingBatch();
  SheetState& s = State();
  std::shared_ptr<toolbox::Window> sheet = std::move(s.sheet);
  if (sheet && !sheet->IsReleased()) {
    sheet->RemoveProperty(kApplicationSignature, kPropertyUUID);
    sheet->Release();
  }
  if (!s.pending.empty()) s.pending.erase(s.pending.begin());
}

std::string SheetUid(toolbox::Window& w) {
  const values::Value* uid = w.Property(kApplicationSignature, kPropertyUUID);
  const std::string* text = uid ? uid->AsString() : nullptr;
  return text ? *text : std::string();
}

void Answer(toolbox::Window& w, std::int32_t answer) {
  const std::string uid = SheetUid(w);
  const bool applyToAll = C(w, kConflictApplyToAllID)->Value() != 0;
  StopObservingBatch();
  upload::PostUploadConflictAnswer(answer, uid, applyToAll);
  CloseSheetAndDropHead();
  ShowNextUploadConflictSheet();
}

// The sheet's batch got an answer elsewhere (another sheet's apply to all, the batch
// answered by a script): this question takes it and the sheet goes.
void ObserveBatch(const std::string& batchID) {
  if (batchID.empty()) return;
  State().batchObserver = runtime::NotificationCenter::Default().AddObserver(
      "batchActionChange", {}, [batchID](const runtime::Notification& n) {
        std::string changed;
        n.user_info.GetString("batchID", changed);
        if (changed != batchID) return;
        // After the current dispatch: the observer may not remove itself while it runs.
        runtime::PerformOnMainThread([] {
          if (State().sheet) ShowNextUploadConflictSheet();
        });
      });
}

}  // namespace

std::string UploadConflictSizeText(std::int64_t size, const std::string& locale) {
  if (size <= 0) return values::Localized("Unknown");
  if (size < 1024) return values::Format("%lld B", {static_cast<long long>(size)});
  const std::string bytes = values::FormatGroupedInteger(size, locale);
  if (size < 1048576)
    return values::Format(values::Localized("%lld KB (%@ bytes)"),
                          {static_cast<long long>(size / 1024), bytes});
  if (size <= 1073741823)
    return values::Format(values::Localized("%lld MB (%@ bytes)"),
                          {static_cast<long long>(size / 1048576), bytes});
  return values::Format(values::Localized("%lld GB (%@ bytes)"),
                        {static_cast<long long>(size / 1073741824), bytes});
}

toolbox::Window* GetUploadConflictSheet() {
  const auto& sheet = State().sheet;
  return sheet && !sheet->IsReleased() ? sheet.get() : nullptr;
}

const std::vector<upload::UploadConflictQuestion>& PendingUploadConflicts() {
  return State().pending;
}

void ClearUploadConflicts() {
  CloseSheetAndDropHead();
  State().pending.clear();
}

void QueueUploadConflictSheet(const upload::UploadConflictQuestion& question) {
  SheetState& s = State();
  s.pending.push_back(question);
  if (s.pending.size() == 1) ShowNextUploadConflictSheet();
}

void ShowNextUploadConflictSheet() {
  SheetState& s = State();
  // A sheet still showing belongs to the head; it is replaced only when its question was
  // settled elsewhere (its batch answered).
  if (GetUploadConflictSheet() != nullptr) {
    const upload::UploadItemRef item = upload::FindUploadItemByUUID(s.pending.front().uid);
    if (item && !util::LookupBatchAction(item->batchID)) return;
    StopObservingBatch();
    std::shared_ptr<toolbox::Window> sheet = std::move(s.sheet);
    sheet->RemoveProperty(kApplicationSignature, kPropertyUUID);
    sheet->Release();
  }
  while (!s.pending.empty()) {
    const upload::UploadConflictQuestion head = s.pending.front();
    const upload::UploadItemRef item = upload::FindUploadItemByUUID(head.uid);
    if (!item) {
      s.pending.erase(s.pending.begin());
      continue;
    }
    if (auto remembered = util::LookupBatchAction(item->batchID)) {
      upload::PostUploadConflictAnswer(static_cast<std::int32_t>(*remembered), head.uid, true);
      s.pending.erase(s.pending.begin());
      continue;
    }
    if (ShowUploadConflictSheet(head)) return;
    // No sheet can be shown: the worker must not wait for one.
    upload::PostUploadConflictAnswer(upload::kConflictSkip, head.uid, false);
    s.pending.erase(s.pending.begin());
  }
}

bool ShowUploadConflictSheet(const upload::UploadConflictQuestion& q) {
  toolbox::Window* main = GetMainWindow();
  const upload::UploadItemRef item = upload::FindUploadItemByUUID(q.uid);
  if (main == nullptr || !item) return false;
  const std::string locale = values::DisplayLocale();

  toolbox::WindowSpec frame;
  frame.kind = toolbox::WindowKind::kSheet;
  frame.title = values::Localized(kConflictSheetTitle);
  frame.content = {0, 0, kWidth, kHeight};
  frame.parent = main;
  std::shared_ptr<toolbox::Window> sheet = toolbox::Window::Create(frame);
  toolbox::Window& w = *sheet;

  double questionLeft = 20;
  if (std::optional<toolbox::Image> picture = ProtocolPicture(item->type)) {
    w.AddControl({.kind = ControlKind::kImageView,
                  .id = ID(kConflictPictureID),
                  .bounds = {20, 16, 32, 32},
                  .image = *picture});
    questionLeft = 64;
  }
  w.AddControl({.kind = ControlKind::kStaticText,
                .id = ID(kConflictQuestionID),
                .bounds = {questionLeft, 16, kWidth - questionLeft - 20, 40},
                .text = values::Format(values::Localized("A file named \"%@\" already exists in the "
                                                         "destination. What would you like to do?"),
                                       {q.fileName.value_or(item->name)})});
  AddLabel(w, 68, "Local file:");
  AddValue(w, kConflictLocalPathID, 68, PathText(q.localPath));
  AddValue(w, kConflictLocalSizeID, 88, UploadConflictSizeText(q.localSize, locale));
  AddValue(w, kConflictLocalDateID, 108, DateText(q.localMod));
  AddLabel(w, 138, "Remote file:");
  AddValue(w, kConflictRemotePathID, 138, PathText(q.remotePath));
  AddValue(w, kConflictRemoteSizeID, 158, UploadConflictSizeText(q.remoteSize, locale));
  AddValue(w, kConflictRemoteDateID, 178, DateText(q.remoteMod));
  w.AddControl({.kind = ControlKind::kCheckBox,
                .id = ID(kConflictApplyToAllID),
                .bounds = {20, 206, 320, 26},
                .text = values::Localized("Apply to all files of this batch")});
  struct Button {
    std::int32_t id;
    const char* title;
    values::FourCharCode command;
    bool isDefault;
    bool isCancel;
  };
  const Button buttons[] = {{kConflictStopID, "Stop", kCommandStop, false, true},
                            {kConflictSkipID, "Skip", kCommandSkip, false, false},
                            {kConflictResumeID, "Resume", kCommandResume, false, false},
                            {kConflictReplaceID, "Replace", kCommandReplace, true, false}};
  double left = kWidth - 20 - 4 * 100 - 3 * 8;
  for (const Button& b : buttons) {
    w.AddControl({.kind = ControlKind::kPushButton,
                  .id = ID(b.id),
                  .bounds = {left, kHeight - 44, 100, 26},
                  .text = values::Localized(b.title),
                  .command = b.command,
                  .is_default = b.isDefault,
                  .is_cancel = b.isCancel});
    left += 108;
  }
  // Nothing to resume when the remote file is already as long as the local one.
  if (q.remoteSize >= q.localSize) C(w, kConflictResumeID)->SetEnabled(false);

  w.SetProperty(kApplicationSignature, kPropertyUUID, values::Value(q.uid));
  w.InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
                    {toolbox::kEventClassWindow, toolbox::kEventWindowClose},
                    {toolbox::kEventClassWindow, toolbox::kEventWindowDispose}},
                   UploadConflictSheetHandler);
  State().sheet = sheet;
  toolbox::Application::Shared().RequestAttention();
  ObserveBatch(item->batchID);
  if (w.ShowSheet() != runtime::kNoErr) {
    StopObservingBatch();
    State().sheet.reset();
    sheet->Release();
    return false;
  }
  return true;
}

runtime::Status UploadConflictSheetHandler(runtime::HandlerCall&, runtime::Event& event) {
  if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowDispose)) {
    // Released with its parent at quit: the worker is stopped by the quit itself.
    StopObservingBatch();
    State().sheet.reset();
    return runtime::kEventNotHandledErr;
  }
  toolbox::Window* w = GetUploadConflictSheet();
  if (w == nullptr) return runtime::kEventNotHandledErr;
  if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowClose)) {
    // Closing the sheet without a button gives the answer assumed when none is given.
    Answer(*w, upload::kConflictSkip);
    return runtime::kNoErr;
  }
  if (!event.Is(toolbox::kEventClassCommand, toolbox::kEventCommandProcess))
    return runtime::kEventNotHandledErr;
  const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
  if (command == kCommandReplace) {
    Answer(*w, upload::kConflictReplace);
  } else if (command == kCommandResume) {
    Answer(*w, upload::kConflictResume);
  } else if (command == kCommandSkip) {
    Answer(*w, upload::kConflictSkip);
  } else if (command == kCommandStop) {
    Answer(*w, upload::kConflictStop);
  } else {
    return runtime::kEventNotHandledErr;
  }
  return runtime::kNoErr;
}

}  // namespace ui
