#include "app/shell/message_window.h"

#include <algorithm>
#include <vector>

#include "app/ui/main_window/main_window.h"
#include "app/util/desktop/ui_helpers.h"
#include "platform/runtime/event_target.h"
#include "platform/values/localize.h"

namespace shell {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

namespace {

constexpr toolbox::Rect kContent{0, 0, 420, 112};
constexpr toolbox::Rect kTextBounds{20, 20, 380, 40};

// Grows the window from its first size by what the text needs beyond its first bounds
// (never narrower or lower than it was made).
void FitText(toolbox::Window& window, toolbox::Control& text) {
  window.SizeContent(kContent.width, kContent.height);
  const toolbox::Rect bounds = text.Bounds();
  const toolbox::Rect best = text.BestRect();
  if (best.width > bounds.width || best.height > bounds.height) {
    window.SizeContent(kContent.width + std::max(0.0, best.width - bounds.width),
                       kContent.height + std::max(0.0, best.height - bounds.height));
  }
}

// OK releases the window; `dismissed` runs first.
void InstallOK(const std::shared_ptr<toolbox::Window>& window, std::function<void()> dismissed) {
  std::weak_ptr<toolbox::Window> weak = window;
  window->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
                         [weak, dismissed](runtime::HandlerCall&, runtime::Event& event) {
                           if (toolbox::GetCommand(event).id != toolbox::kCommandOK)
                             return runtime::kEventNotHandledErr;
                           if (dismissed) dismissed();
                           if (auto w = weak.lock()) w->Release();
                           return runtime::kNoErr;
                         });
}

struct Gathered {
  std::weak_ptr<toolbox::Window> window;
  std::vector<std::string> messages;  // the newest, oldest first
  std::size_t earlier = 0;            // not shown any more: the log has them
};
Gathered& Gathering() {
  static Gathered g;
  return g;
}

std::string GatheredText(const Gathered& g) {
  std::string out;
  for (std::size_t i = g.messages.size(); i-- > 0;) {
    if (!out.empty()) out += "\n\n";
    out += g.messages[i];
  }
  if (g.earlier > 0) {
    out += "\n\n";
    out += g.earlier == 1 ? values::Localized("kOneEarlierMessageInLog")
                          : values::Format(values::Localized("kEarlierMessagesInLog"),
                                           {static_cast<std::int64_t>(g.earlier)});
  }
  return out;
}

}  // namespace

std::string WithLineBreaks(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
      continue;
    }
    out += '\n';
    if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  return out;
}

std::shared_ptr<toolbox::Window> CreateStandardMessageWindow(toolbox::Window* owner) {
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDialog;
  desc.title = "";
  desc.content = kContent;
  desc.close_box = false;
  desc.parent = owner;
  auto window = toolbox::Window::Create(desc);
  // The text grows with the window in both directions; OK stays in the bottom-right corner.
  window->AddControl(
      {.kind = ControlKind::kStaticText,
       .id = {kApplicationSignature, kMessageTextControlID},
       .bounds = kTextBounds,
       .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight | toolbox::kBindBottom});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, kMessageOKButtonID},
                      .bounds = {316, 74, 84, 24},
                      .text = values::Localized("OK"),
                      .command = toolbox::kCommandOK,
                      .is_default = true,
                      .bindings = toolbox::kBindRight | toolbox::kBindBottom});
  window->Center();
  return window;
}

runtime::Status ShowMessageWindow(toolbox::Window* /*parent*/, std::string_view format,
                                  std::initializer_list<values::FormatArg> args) {
  std::shared_ptr<toolbox::Window> window = CreateStandardMessageWindow();
  if (!window) return runtime::kNoErr;
  window->SetInWindowMenu(false);

  toolbox::Control* text = window->FindControl(kApplicationSignature, kMessageTextControlID);
  if (!text) {
    window->Release();
    return runtime::kNoErr;
  }
  text->SetText(WithLineBreaks(values::Format(format, args)));
  InstallOK(window, nullptr);
  FitText(*window, *text);

  window->Show();
  window->Select();
  util::RequestUserAttention();
  return runtime::kNoErr;
}

void ShowGatheredMessage(const std::string& message) {
  Gathered& g = Gathering();
  std::shared_ptr<toolbox::Window> window = g.window.lock();
  if (window && window->IsReleased()) window.reset();
  if (!window) {
    g.messages.clear();
    g.earlier = 0;
    window = CreateStandardMessageWindow(ui::GetMainWindow());
    if (!window) return;
    window->SetInWindowMenu(false);
    InstallOK(window, [] {
      Gathering().messages.clear();
      Gathering().earlier = 0;
    });
    g.window = window;
  }
  g.messages.push_back(WithLineBreaks(message));
  if (g.messages.size() > kGatheredMessagesShown) {
    g.messages.erase(g.messages.begin());
    ++g.earlier;
  }
  toolbox::Control* text = window->FindControl(kApplicationSignature, kMessageTextControlID);
  if (!text) return;
  text->SetText(GatheredText(g));
  FitText(*window, *text);
  window->Show();
  window->Select();
  util::RequestUserAttention();
}

std::shared_ptr<toolbox::Window> GatheredMessageWindow() {
  std::shared_ptr<toolbox::Window> window = Gathering().window.lock();
  return window && !window->IsReleased() ? window : nullptr;
}

void CloseGatheredMessages() {
  Gathered& g = Gathering();
  if (auto window = g.window.lock()) window->Release();
  g.window.reset();
  g.messages.clear();
  g.earlier = 0;
}

}  // namespace shell
