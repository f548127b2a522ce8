#include "app/ui/transfer_log/transfer_info_window.h"

#include "app/engine/log/transfer_log.h"
#include "app/queue/record/queue_tables.h"
#include "platform/desktop/workspace.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/url_escape.h"

namespace ui {
namespace {

constexpr double kWindowSize = 400;
constexpr double kPlacardHeight = 28;

// The view shows Linux lines; the log keeps "\r".
std::string ShownText(std::string_view log) {
  return engine::LogTextForFile(log);
}

toolbox::Control* TextViewOf(toolbox::Window& w) {
  return w.FindControl(toolbox::kApplicationSignature, kTransferInfoTextID);
}

std::uint32_t UIDOf(const toolbox::Window& w) {
  const values::Value* uid = w.Property(kTransferInfoCreator, kTransferInfoUIDProperty);
  return uid && uid->IsNumber() ? static_cast<std::uint32_t>(uid->AsNumber()->AsInt64()) : 0;
}

runtime::Status ServeRedraw(toolbox::Window& w) {
  toolbox::Control* view = TextViewOf(w);
  auto unshown = engine::TakeUnshownTransferLog(UIDOf(w));
  if (view == nullptr || !unshown) return runtime::kNoErr;
  if (unshown->replace)
    view->SetText(ShownText(unshown->text));
  else
    view->AppendText(ShownText(unshown->text));
  view->ScrollToEnd();
  return runtime::kNoErr;
}

void EmailLog(const toolbox::Window& w) {
  const queue::WrapperRef download = queue::LookUpDownloadWrapper(UIDOf(w));
  if (!download || !download->element().transferLog.log) return;
  if (auto url = TransferLogMailtoURL(*download->element().transferLog.log))
    desktop::WorkspaceSlot::Get().ComposeMail(*url);
}

// The download forgets a window that goes, unless a newer one replaced it already.
void ForgetWindow(const toolbox::Window& w) {
  if (engine::TransferLogRecord* record = queue::FindDownloadTransferLog(UIDOf(w)))
    if (record->window == w.serial()) record->window = 0;
}

}  // namespace

toolbox::Window* ShowTransferInfoWindow(queue::DownloadQueueElement& element) {
  const auto w = toolbox::Window::Create({.kind = toolbox::WindowKind::kDocument,
                                          .title = std::string(),
                                          .content = {0, 0, kWindowSize, kWindowSize},
                                          .resizable = true});
  std::weak_ptr<toolbox::Window> weak = w;
  w->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
                     {kEventClassTruvane, kEventTransferLogChanged},
                     {toolbox::kEventClassWindow, toolbox::kEventWindowDispose}},
                    [weak](runtime::HandlerCall&, runtime::Event& e) -> runtime::Status {
                      auto win = weak.lock();
                      if (!win) return runtime::kEventNotHandledErr;
                      if (e.event_class() == kEventClassTruvane) return ServeRedraw(*win);
                      if (e.event_class() == toolbox::kEventClassWindow) {
                        ForgetWindow(*win);
                        return runtime::kEventNotHandledErr;
                      }
                      if (toolbox::GetCommand(e).id != kCommandEmailTransferLog)
                        return runtime::kEventNotHandledErr;
                      EmailLog(*win);
                      return runtime::kNoErr;
                    });
  w->SetProperty(kTransferInfoCreator, kTransferInfoUIDProperty,
                 values::Value(values::Number::Int64(element.uid)));

  w->AddControl({.kind = toolbox::ControlKind::kPlacard,
                 .id = {toolbox::kApplicationSignature, kTransferInfoPlacardID},
                 .bounds = {0, 0, kWindowSize, kPlacardHeight},
                 .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight});
  w->AddControl({.kind = toolbox::ControlKind::kBevelButton,
                 .id = {toolbox::kApplicationSignature, kTransferInfoButtonID},
                 .bounds = {4, 4, 136, 20},
                 .text = values::Localized("Copy to email"),
                 .command = kCommandEmailTransferLog,
                 .font = toolbox::GetThemeFont(toolbox::ThemeFont::kSmallSystem)});
  engine::TransferLogRecord& record = element.transferLog;
  w->AddControl(
      {.kind = toolbox::ControlKind::kTextView,
       .id = {toolbox::kApplicationSignature, kTransferInfoTextID},
       .bounds = {0, kPlacardHeight, kWindowSize, kWindowSize - kPlacardHeight},
       .text = ShownText(engine::TransferInfoWindowText(record)),
       .font = toolbox::GetThemeFont(toolbox::ThemeFont::kSmallSystem),
       .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight | toolbox::kBindBottom});

  w->Center();
  w->SetTitle(values::Format(values::Localized("Transfer information for %@"), {element.filename}));
  w->Select();
  if (toolbox::Control* view = TextViewOf(*w)) view->SetFocus();
  record.window = w->serial();
  return w.get();
}

toolbox::Window* FindTransferInfoWindow(engine::TransferInfoWindowId window) {
  if (window == 0) return nullptr;
  for (const auto& w : toolbox::Window::AllWindows())
    if (w->serial() == window && UIDOf(*w) != 0) return w.get();
  return nullptr;
}

void SendTransferLogChanged(engine::TransferInfoWindowId window) {
  toolbox::Window* w = FindTransferInfoWindow(window);
  if (w == nullptr) return;
  auto event = runtime::Event::Create(kEventClassTruvane, kEventTransferLogChanged);
  runtime::SendEventToEventTarget(*event, *w->target());
}

std::optional<std::string> TransferLogMailtoURL(std::string_view log) {
  if (log.size() > kMailedLogLimit) {
    // The tail, from the first line start within the limit ("\r" is never inside a
    // UTF-8 sequence); a tail without a line end starts at a character start.
    std::size_t cut = log.size() - kMailedLogLimit;
    const std::size_t lineEnd = log.find_first_of("\r\n", cut);
    if (lineEnd != std::string_view::npos && lineEnd + 1 < log.size()) {
      cut = lineEnd + 1;
    } else {
      while (cut < log.size() && (static_cast<unsigned char>(log[cut]) & 0xC0) == 0x80) ++cut;
    }
    log.remove_prefix(cut);
  }
  const auto escaped = values::PercentEscape(log, {}, "?&=+");
  if (!escaped) return std::nullopt;
  return std::string("mailto:") + kSupportMailAddress + "?subject=Transfer%20Log&Body=" + *escaped;
}

}  // namespace ui
