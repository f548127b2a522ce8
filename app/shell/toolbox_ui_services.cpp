#include "app/shell/toolbox_ui_services.h"

#include <map>

#include "platform/toolbox/app/application.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/theme/icons.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace shell {
namespace {

std::map<std::string, ToolboxNib::Builder>& Nibs() {
  static std::map<std::string, ToolboxNib::Builder> nibs;
  return nibs;
}

// The icon transform that marks an icon as selected (drawn darker).
constexpr std::int16_t kTransformSelected = 0x4000;

toolbox::Rect FitCentered(const util::CGRect& r, const toolbox::Image& image) {
  if (image.width() <= 0 || image.height() <= 0) return {r.x, r.y, r.width, r.height};
  const double scale = std::min(r.width / image.width(), r.height / image.height());
  const double w = image.width() * scale, h = image.height() * scale;
  return {r.x + (r.width - w) / 2, r.y + (r.height - h) / 2, w, h};
}

// The icon with `tint` laid over its own pixels only (selection, label colour).
toolbox::Image Tinted(const toolbox::Image& image, toolbox::Color tint) {
  return toolbox::Image::Render(
      image.width(), image.height(), toolbox::Origin::kTopLeft, [&](toolbox::DrawingContext& ctx) {
        const toolbox::Rect all{0, 0, double(image.width()), double(image.height())};
        ctx.DrawImage(all, image);
        ctx.SetBlendMode(toolbox::BlendMode::kSourceAtop);
        ctx.SetFillColor(tint);
        ctx.FillRect(all);
      });
}

}  // namespace

void RegisterNib(const std::string& name, ToolboxNib::Builder builder) {
  Nibs()[name] = std::move(builder);
}

ui::OSStatus ToolboxUiServices::FindControl(ui::WindowRef window, values::FourCharCode signature,
                                            std::int32_t id, ui::ControlRef* out) {
  toolbox::Window* w = FromWindowRef(window);
  toolbox::Control* c = w ? w->FindControl(signature, id) : nullptr;
  if (!c) return ui::kErrUnknownControl;
  *out = ToControlRef(c);
  return ui::kNoErr;
}

std::int16_t ToolboxUiServices::RunStandardAlert(ui::AlertType type, const std::string& message,
                                                 const std::optional<std::string>& explanation) {
  toolbox::AlertRequest alert;
  alert.style = type == ui::AlertType::kStop      ? toolbox::AlertStyle::kCritical
                : type == ui::AlertType::kCaution ? toolbox::AlertStyle::kWarning
                                                  : toolbox::AlertStyle::kInformational;
  alert.message = message;
  alert.informative = explanation.value_or("");
  alert.buttons.push_back({values::Localized("OK"), true, false});
  return static_cast<std::int16_t>(toolbox::GetPresenter().RunAlert(alert) + 1);
}

int ToolboxUiServices::CountMenuItems(ui::MenuRef menu) {
  toolbox::Menu* m = FromMenuRef(menu);
  return m ? m->CountItems() : 0;
}

void ToolboxUiServices::SetMenuItemMark(ui::MenuRef menu, int item, char32_t mark) {
  if (toolbox::Menu* m = FromMenuRef(menu)) m->SetItemMark(item, mark);
}

bool ToolboxUiServices::MenuItemIsSeparator(ui::MenuRef menu, int item) {
  toolbox::Menu* m = FromMenuRef(menu);
  const toolbox::MenuItem* i = m ? m->Item(item) : nullptr;
  return i && i->separator;
}

void ToolboxUiServices::AppendMenuItem(ui::MenuRef menu, const std::string& text) {
  if (toolbox::Menu* m = FromMenuRef(menu)) m->AppendItem(text);
}

ui::NibRef ToolboxUiServices::CreateNibReference(const std::string& name) {
  auto it = Nibs().find(name);
  if (it == Nibs().end()) return nullptr;
  return std::make_shared<ToolboxNib>(it->second);
}

util::Rect ToolboxUiServices::GetWindowStructureBounds(ui::WindowRef window) {
  toolbox::Window* w = FromWindowRef(window);
  if (!w) return {};
  const toolbox::Rect r = w->StructureBounds();
  util::Rect out;
  util::SetRectLTRB(out, static_cast<std::int16_t>(r.Left()), static_cast<std::int16_t>(r.Top()),
                    static_cast<std::int16_t>(r.Right()), static_cast<std::int16_t>(r.Bottom()));
  return out;
}

void ToolboxUiServices::SetWindowStructureBounds(ui::WindowRef window, const util::Rect& bounds) {
  if (toolbox::Window* w = FromWindowRef(window))
    w->SetStructureBounds(toolbox::RectFromEdges(bounds.left, bounds.top, bounds.right, bounds.bottom));
}

ui::OSStatus ToolboxUiServices::ConstrainWindowToScreen(ui::WindowRef window, bool may_resize) {
  toolbox::Window* w = FromWindowRef(window);
  if (!w) return ui::kParamErr;
  w->ConstrainToScreen(may_resize);
  return ui::kNoErr;
}

std::string ToolboxUiServices::GetFrameAutosaveName(ui::WindowRef window) {
  toolbox::Window* w = FromWindowRef(window);
  return w ? w->FrameAutosaveKey() : std::string();
}

void ToolboxUiServices::SetFrameAutosaveName(ui::WindowRef window, const std::string& name) {
  if (toolbox::Window* w = FromWindowRef(window)) w->SetFrameAutosaveKey(name);
}

void ToolboxUiServices::CenterWindow(ui::WindowRef window) {
  if (toolbox::Window* w = FromWindowRef(window)) w->Center();
}

ui::OSStatus ToolboxUiServices::GetIconForExtension(const std::string& extension, ui::IconRef* out) {
  *out = std::make_shared<ToolboxIcon>(toolbox::IconForFileExtension(extension, 32));
  return ui::kNoErr;
}

ui::IconRef ToolboxUiServices::RegisterIconResource(values::FourCharCode creator, values::FourCharCode type,
                                                    const std::string& resource_name) {
  auto image = toolbox::RegisterIconResource(creator, type, resource_name);
  if (!image) return nullptr;
  return std::make_shared<ToolboxIcon>(*image);
}

void ToolboxUiServices::SaveGraphicsState(ui::CGContextRef context) {
  if (auto* c = FromContextRef(context)) c->SaveGState();
}
void ToolboxUiServices::RestoreGraphicsState(ui::CGContextRef context) {
  if (auto* c = FromContextRef(context)) c->RestoreGState();
}
void ToolboxUiServices::TranslateContext(ui::CGContextRef context, double dx, double dy) {
  if (auto* c = FromContextRef(context)) c->TranslateCTM(dx, dy);
}
void ToolboxUiServices::ScaleContext(ui::CGContextRef context, double sx, double sy) {
  if (auto* c = FromContextRef(context)) c->ScaleCTM(sx, sy);
}

ui::OSStatus ToolboxUiServices::PlotIcon(ui::CGContextRef context, const util::CGRect& rect,
                                         std::int16_t /*alignment*/, std::int16_t transform,
                                         const std::optional<ui::RGBColor>& label_colour,
                                         std::uint32_t /*flags*/, const ui::Icon& icon) {
  toolbox::DrawingContext* c = FromContextRef(context);
  const auto* toolbox_icon = dynamic_cast<const ToolboxIcon*>(&icon);
  if (!c || !toolbox_icon) return ui::kParamErr;
  toolbox::Image image = toolbox_icon->image;
  if (label_colour) {
    image = Tinted(image, {label_colour->red / 65535.0, label_colour->green / 65535.0,
                           label_colour->blue / 65535.0, 0.5});
  }
  if (transform & kTransformSelected) image = Tinted(image, {0, 0, 0, 0.33});
  c->DrawImage(FitCentered(rect, image), image);
  return ui::kNoErr;
}

std::optional<bool> ToolboxUiServices::IsApplicationFrontmost() {
  if (!toolbox::Application::Exists()) return std::nullopt;
  return toolbox::Application::Shared().IsFrontmost();
}

std::uint64_t ToolboxUiServices::BeginAttentionRequest() {
  toolbox::Application::Shared().RequestAttention();
  return next_attention_++;
}

void ToolboxUiServices::CancelAttentionRequest(std::uint64_t) {
  // The desktop clears the mark itself when the application comes to the front; there
  // is no way to take it back earlier.
}

void ToolboxUiServices::ShowAboutWindow(const std::string& version) {
  static std::weak_ptr<toolbox::Window> about;
  if (auto existing = about.lock(); existing && !existing->IsReleased()) return existing->Select();
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDialog;
  desc.title = values::Localized("About Truvane");
  desc.content = {0, 0, 280, 132};
  auto window = toolbox::Window::Create(desc);
  window->AddControl({.kind = toolbox::ControlKind::kStaticText,
                      .id = {toolbox::kApplicationSignature, 1},
                      .bounds = {20, 24, 240, 22},
                      .text = "Truvane",
                      .font = toolbox::GetThemeFont(toolbox::ThemeFont::kEmphasizedSystem)});
  window->AddControl({.kind = toolbox::ControlKind::kStaticText,
                      .id = {toolbox::kApplicationSignature, 2},
                      .bounds = {20, 54, 240, 20},
                      .text = values::Format(values::Localized("Version %@"), {version}),
                      .font = toolbox::GetThemeFont(toolbox::ThemeFont::kSmallSystem)});
  // OK closes it; Return and Escape press it, as in any other small window.
  window->AddControl({.kind = toolbox::ControlKind::kPushButton,
                      .id = {toolbox::kApplicationSignature, 3},
                      .bounds = {176, 90, 84, 24},
                      .text = values::Localized("OK"),
                      .command = toolbox::kCommandOK,
                      .is_default = true,
                      .is_cancel = true});
  std::weak_ptr<toolbox::Window> weak = window;
  window->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
                         [weak](runtime::HandlerCall&, runtime::Event& event) {
                           if (toolbox::GetCommand(event).id != toolbox::kCommandOK)
                             return runtime::kEventNotHandledErr;
                           if (auto w = weak.lock()) w->Release();
                           return runtime::kNoErr;
                         });
  window->Center();
  window->Select();
  about = window;
}

void InstallToolboxUiServices() {
  ui::UiServicesSlot::Set(std::make_unique<ToolboxUiServices>());
}

}  // namespace shell
