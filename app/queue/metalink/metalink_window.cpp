#include "app/queue/metalink/metalink_window.h"

#include <algorithm>

#include "app/util/text/byte_count.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/localize.h"

namespace queue {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

constexpr double kWidth = 520;
constexpr double kRowHeight = 22;
constexpr std::int32_t kFirstFileControl = 100;
// Rows shown before the window stops growing; the rest of a long list is reached by
// growing the window (it is resizable).
constexpr std::size_t kRowsShown = 16;

}  // namespace

std::string MetalinkFileLabel(const TRMetalinkFile& f) {
  std::string label = f.fileName().empty() ? f.urls().front().String() : f.fileName();
  if (f.fileSize() > 0) label += "  (" + util::CopyByteCountString(f.fileSize()) + ")";
  std::vector<std::string> details;
  for (const std::string* d : {&f.platform(), &f.language(), &f.version()})
    if (!d->empty()) details.push_back(*d);
  if (!details.empty()) {
    label += "  [";
    for (std::size_t i = 0; i < details.size(); ++i) label += (i ? ", " : "") + details[i];
    label += "]";
  }
  return label;
}

TRMetalinkController::TRMetalinkController(std::unique_ptr<TRMetalink> metalink)
    : metalink_(std::move(metalink)) {}

TRMetalinkController::~TRMetalinkController() {
  if (window_ && !window_->IsReleased()) window_->Release();
}

toolbox::Control* TRMetalinkController::FileCheckBox(std::size_t index) const {
  if (!window_) return nullptr;
  return window_->FindControl(kApplicationSignature, kFirstFileControl + static_cast<std::int32_t>(index));
}

void TRMetalinkController::Show() {
  const auto& files = metalink_->files();
  const double listHeight = static_cast<double>(std::min(files.size(), kRowsShown)) * kRowHeight;
  const double descriptionHeight = metalink_->description().empty() ? 0 : 40;
  const double top = 16 + 20 + descriptionHeight;
  const double height = top + listHeight + 16 + 24 + 16;
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDialog;
  desc.title = values::Localized("Metalink");
  desc.content = {0, 0, kWidth, height};
  desc.resizable = true;
  window_ = toolbox::Window::Create(desc);
  window_->AddControl({.kind = ControlKind::kStaticText,
                       .id = {kApplicationSignature, 1},
                       .bounds = {20, 16, kWidth - 40, 20},
                       .text = values::Localized("Choose the files to download:"),
                       .font = toolbox::GetThemeFont(toolbox::ThemeFont::kEmphasizedSystem)});
  if (!metalink_->description().empty()) {
    window_->AddControl({.kind = ControlKind::kStaticText,
                         .id = {kApplicationSignature, 2},
                         .bounds = {20, 38, kWidth - 40, descriptionHeight - 4},
                         .text = metalink_->description()});
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    toolbox::Control* box = window_->AddControl(
        {.kind = ControlKind::kCheckBox,
         .id = {kApplicationSignature, kFirstFileControl + static_cast<std::int32_t>(i)},
         .bounds = {20, top + static_cast<double>(i) * kRowHeight, kWidth - 40, kRowHeight - 2},
         .text = MetalinkFileLabel(files[i]),
         .value = files[i].enabled() ? 1 : 0});
    box->SetValueChangedHandler(
        [this, i](toolbox::Control& c) { metalink_->files()[i].setEnabled(c.Value() != 0); });
  }
  const double buttons = height - 16 - 24;
  window_->AddControl({.kind = ControlKind::kPushButton,
                       .id = {kApplicationSignature, 3},
                       .bounds = {kWidth - 20 - 90 - 8 - 90, buttons, 90, 24},
                       .text = values::Localized("Cancel"),
                       .command = toolbox::kCommandCancel,
                       .is_cancel = true,
                       .bindings = toolbox::kBindRight | toolbox::kBindBottom});
  window_->AddControl({.kind = ControlKind::kPushButton,
                       .id = {kApplicationSignature, 4},
                       .bounds = {kWidth - 20 - 90, buttons, 90, 24},
                       .text = values::Localized("OK"),
                       .command = toolbox::kCommandOK,
                       .is_default = true,
                       .bindings = toolbox::kBindRight | toolbox::kBindBottom});
  std::weak_ptr<TRMetalinkController> weak = shared_from_this();
  window_->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
                           {toolbox::kEventClassWindow, toolbox::kEventWindowActivated},
                           {toolbox::kEventClassWindow, toolbox::kEventWindowDispose}},
                          [weak](runtime::HandlerCall&, runtime::Event& event) -> runtime::Status {
                            auto self = weak.lock();
                            if (!self) return runtime::kEventNotHandledErr;
                            if (event.Is(toolbox::kEventClassCommand, toolbox::kEventCommandProcess)) {
                              const auto command = toolbox::GetCommand(event).id;
                              if (command == toolbox::kCommandOK) {
                                self->ok();
                                return runtime::kNoErr;
                              }
                              if (command == toolbox::kCommandCancel) {
                                self->cancel();
                                return runtime::kNoErr;
                              }
                              return runtime::kEventNotHandledErr;
                            }
                            if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowActivated)) {
                              // From the second activation on the window is also brought
                              // to the front.
                              if (!self->first_ && self->window_) self->window_->Select();
                              self->first_ = false;
                              return runtime::kEventNotHandledErr;
                            }
                            // Dispose: the controller lets itself go with its window.
                            self->self_.reset();
                            return runtime::kEventNotHandledErr;
                          });
  if (!window_->SetFrameAutosaveKey("Metalink WindowFrame")) window_->Center();
  self_ = shared_from_this();
  window_->Select();
}

void TRMetalinkController::ok() {
  metalink_->addEnabledFiles();
  close();
}

void TRMetalinkController::cancel() {
  close();
}

void TRMetalinkController::close() {
  auto keep = shared_from_this();
  if (window_ && !window_->IsReleased()) window_->Release();
  self_.reset();
}

std::shared_ptr<TRMetalinkController> ShowMetalinkWindow(std::unique_ptr<TRMetalink> metalink) {
  auto controller = std::make_shared<TRMetalinkController>(std::move(metalink));
  controller->Show();
  return controller;
}

std::shared_ptr<TRMetalinkController> PresentMetalink(std::unique_ptr<TRMetalink> metalink) {
  if (!metalink) return nullptr;
  if (!toolbox::Application::Exists() || toolbox::Application::Shared().IsOffscreen()) {
    for (auto& f : metalink->files()) f.setEnabled(true);
    metalink->addEnabledFiles();
    return nullptr;
  }
  return ShowMetalinkWindow(std::move(metalink));
}

}  // namespace queue
