#include "app/ui/download_windows/download_form_controls.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/queue/events/post_download_actions.h"
#include "app/queue/record/download_files.h"
#include "app/ui/download_windows/add_download_window.h"
#include "app/ui/download_windows/download_form_rules.h"
#include "app/util/settings/download_folder.h"
#include "platform/files/file_ref.h"
#include "platform/runtime/run_loop.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/theme/icons.h"
#include "platform/toolbox/views/view.h"
#include "platform/values/localize.h"
#include "platform/values/url.h"

namespace ui {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

// The texts of the fixed "when done" items, in the order of their completion types.
constexpr const char* kWhenDoneTexts[kWhenDoneFixedItems] = {
    "Do nothing", "Start the queue", "Stop the queue", "Shut down", "Sleep", "Log out", "Quit Truvane"};

constexpr double kLabelWidth = 124;
constexpr double kFieldLeft = 144;

void Label(toolbox::Window& w, toolbox::Rect bounds, const char* text) {
  w.AddControl({.kind = ControlKind::kStaticText, .bounds = bounds, .text = values::Localized(text)});
}

// The window's content behind its controls: a file or folder dragged there chooses the
// destination folder.
class FolderDropView : public toolbox::View {
 public:
  explicit FolderDropView(std::function<void(toolbox::Window&, const std::string&)> dropped)
      : dropped_(std::move(dropped)) {}
  int HitTest(toolbox::Point) override { return 0; }
  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect&) override {
    if (!IsDragInside()) return;
    const toolbox::Size size = GetSize();
    ctx.SetStrokeColor({0.23, 0.47, 0.85, 1});
    ctx.SetLineWidth(3);
    ctx.StrokeRect({1.5, 1.5, size.width - 3, size.height - 3});
  }
  unsigned OnDragEnter(const toolbox::Drag& drag) override {
    return FirstPath(drag) ? toolbox::kDragActionCopy : toolbox::kDragActionNone;
  }
  void OnDragLeave() override { Invalidate(); }
  bool OnDrop(const toolbox::Drag& drag) override {
    Invalidate();
    auto path = FirstPath(drag);
    if (!path || !window()) return false;
    dropped_(*window(), *path);
    return true;
  }

 private:
  static std::optional<std::string> FirstPath(const toolbox::Drag& drag) {
    for (const toolbox::DragItem& item : drag.items) {
      auto text = item.Flavor(toolbox::kFlavorFileURL);
      if (!text || text->size() > 8192) continue;
      auto url = values::Url::Create(*text);
      if (!url) continue;
      if (auto path = values::PathFromFileUrl(*url)) return path;
    }
    return std::nullopt;
  }
  std::function<void(toolbox::Window&, const std::string&)> dropped_;
};

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}

std::string StringProperty(const toolbox::Window& window, values::FourCharCode tag) {
  const values::Value* v = window.Property(kApplicationSignature, tag);
  return v && v->IsString() ? *v->AsString() : std::string();
}

}  // namespace

std::vector<std::string> ListWhenDoneScripts() {
  std::vector<std::string> names;
  const files::FileRef folder = queue::ScriptsFolder();
  if (folder.empty()) return names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder.Path(), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code kind;
    if (!it->is_regular_file(kind)) continue;
    if (::access(it->path().c_str(), X_OK) != 0) continue;
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void FillWhenDonePopUp(toolbox::Control& popup, const std::vector<std::string>& scripts) {
  toolbox::MenuRef menu = popup.PopUpMenu();
  if (!menu) return;
  while (menu->CountItems() > 0) menu->DeleteItem(menu->CountItems());
  for (const char* text : kWhenDoneTexts) menu->AppendItem(values::Localized(text));
  for (const std::string& script : scripts) menu->AppendItem(script);
  popup.RefreshMenu();
  popup.SetMinimum(1);
  popup.SetMaximum(menu->CountItems());
  popup.SetValue(1);
}

std::vector<std::string> WhenDonePopUpScripts(const toolbox::Control& popup) {
  std::vector<std::string> scripts;
  toolbox::MenuRef menu = popup.PopUpMenu();
  if (!menu) return scripts;
  for (int i = kWhenDoneFixedItems + 1; i <= menu->CountItems(); ++i) scripts.push_back(menu->Item(i)->text);
  return scripts;
}

void SetFolderPopupItem(toolbox::Control& popup, const std::string& folderPath) {
  toolbox::MenuRef menu = popup.PopUpMenu();
  if (!menu || folderPath.empty()) return;
  std::error_code ec;
  if (!std::filesystem::is_directory(folderPath, ec)) return;
  std::string name = folderPath;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  if (const std::size_t slash = name.rfind('/'); slash != std::string::npos && name.size() > 1) {
    name = name.substr(slash + 1);
  }
  toolbox::MenuItem item;
  item.text = name;
  item.icon = toolbox::IconForFolder(16);
  if (menu->CountItems() == 0) {
    menu->AppendItem(item);
    toolbox::MenuItem separator;
    separator.separator = true;
    menu->AppendItem(separator);
    toolbox::MenuItem other;
    other.text = values::Localized("Other...");
    menu->AppendItem(other);
  } else {
    menu->DeleteItem(1);
    menu->InsertItem(0, item);
  }
  popup.RefreshMenu();
  popup.SetMinimum(1);
  popup.SetMaximum(menu->CountItems());
  popup.SetValue(1);
}

std::string WindowFolder(const toolbox::Window& window) {
  return StringProperty(window, kDownloadFolderProperty);
}
void SetWindowFolder(toolbox::Window& window, const std::string& folderPath) {
  window.SetProperty(kApplicationSignature, kDownloadFolderProperty, values::Value(folderPath));
}
std::string WindowFileName(const toolbox::Window& window) {
  return StringProperty(window, kDownloadNameProperty);
}
void SetWindowFileName(toolbox::Window& window, const std::string& name) {
  window.SetProperty(kApplicationSignature, kDownloadNameProperty, values::Value(name));
}

std::string DefaultDownloadFolderPath() {
  files::FileRef folder;
  return util::GetDefaultDownloadFolder(folder) ? folder.Path() : HomeFolder();
}

std::optional<values::Bytes> DestinationAliasFor(const std::string& folderPath) {
  if (folderPath.empty()) return std::nullopt;
  std::error_code ec;
  const auto chosen = std::filesystem::weakly_canonical(folderPath, ec);
  const auto standard = std::filesystem::weakly_canonical(DefaultDownloadFolderPath(), ec);
  if (chosen == standard) return std::nullopt;
  return queue::MakeAliasBytes(files::FileRef(folderPath));
}

double AddSharedDownloadControls(toolbox::Window& w, double top, bool withSave) {
  const toolbox::Rect content = w.ContentBounds();
  const double right = content.width - 16;
  double y = top;

  w.AddControl({.kind = ControlKind::kCheckBox,
                .id = {kApplicationSignature, kDownloadUseAuthBox},
                .bounds = {16, y, 260, 26},
                .text = values::Localized("Use authentication"),
                .command = kDownloadAuthCommand});
  if (withSave) {
    w.AddControl({.kind = ControlKind::kCheckBox,
                  .id = {kApplicationSignature, kDownloadSaveCredentialsBox},
                  .bounds = {280, y, right - 280, 26},
                  .text = values::Localized("Save the password")});
  }
  y += 28;
  Label(w, {32, y + 4, 100, 20}, "User:");
  w.AddControl({.kind = ControlKind::kEditText,
                .id = {kApplicationSignature, kDownloadUserField},
                .bounds = {kFieldLeft, y, 150, 24}});
  Label(w, {304, y + 4, 100, 20}, "Password:");
  w.AddControl({.kind = ControlKind::kPasswordText,
                .id = {kApplicationSignature, kDownloadPasswordField},
                .bounds = {406, y, right - 406, 24}});
  y += 36;

  w.AddControl({.kind = ControlKind::kCheckBox,
                .id = {kApplicationSignature, kDownloadScheduleBox},
                .bounds = {16, y - 1, kLabelWidth, 26},
                .text = values::Localized("Schedule:"),
                .command = kDownloadScheduleCommand});
  w.AddControl({.kind = ControlKind::kDateTime,
                .id = {kApplicationSignature, kDownloadScheduleDate},
                .bounds = {kFieldLeft, y, 230, 24}});
  y += 36;

  Label(w, {16, y + 4, kLabelWidth, 20}, "When done:");
  w.AddControl({.kind = ControlKind::kPopUpButton,
                .id = {kApplicationSignature, kDownloadWhenDonePopUp},
                .bounds = {kFieldLeft, y, 220, 24},
                .value = 1,
                .minimum = 1,
                .maximum = 1,
                .menu = toolbox::Menu::Create(0)});
  y += 36;

  Label(w, {16, y + 4, kLabelWidth, 20}, "Save to:");
  w.AddControl({.kind = ControlKind::kPopUpButton,
                .id = {kApplicationSignature, kDownloadFolderPopUp},
                .bounds = {kFieldLeft, y, 240, 24},
                .value = 1,
                .minimum = 1,
                .maximum = 1,
                .menu = toolbox::Menu::Create(0)});
  y += 28;
  w.AddControl({.kind = ControlKind::kStaticText,
                .id = {kApplicationSignature, kDownloadPathText},
                .bounds = {kFieldLeft, y, right - kFieldLeft, 20}});
  y += 24;

  toolbox::Window* raw = &w;
  if (toolbox::Control* folder = FindDownloadControl(w, kDownloadFolderPopUp)) {
    // Choosing "Other..." asks for a folder; the pop-up then shows the folder again.
    folder->SetValueChangedHandler([raw](toolbox::Control& c) {
      if (c.Value() == 1) return;
      c.SetValue(1);
      raw->ProcessCommand(kDownloadChooseFolderCommand);
    });
  }
  if (toolbox::Control* popup = FindDownloadControl(w, kDownloadWhenDonePopUp)) {
    FillWhenDonePopUp(*popup, ListWhenDoneScripts());
  }
  return y - top;
}

void UpdateCredentialsEnabled(toolbox::Window& window) {
  const bool on = ControlIsOn(window, kDownloadUseAuthBox);
  for (std::int32_t id : {kDownloadUserField, kDownloadPasswordField, kDownloadSaveCredentialsBox}) {
    if (toolbox::Control* c = FindDownloadControl(window, id)) c->SetEnabled(on);
  }
}

void UpdateScheduleEnabled(toolbox::Window& window) {
  if (toolbox::Control* c = FindDownloadControl(window, kDownloadScheduleDate)) {
    c->SetEnabled(ControlIsOn(window, kDownloadScheduleBox));
  }
}

double ReadScheduleControls(const toolbox::Window& window, bool& schedule) {
  schedule = ControlIsOn(window, kDownloadScheduleBox);
  const toolbox::Control* date = FindDownloadControl(window, kDownloadScheduleDate);
  if (!date) return 0;
  const std::int64_t seconds = date->Value();
  // A schedule is to the minute: the seconds shown are dropped.
  return static_cast<double>(seconds - ((seconds % 60) + 60) % 60);
}

void SetScheduleTime(toolbox::Window& window, double absoluteTime) {
  if (toolbox::Control* c = FindDownloadControl(window, kDownloadScheduleDate)) {
    const auto seconds = static_cast<std::int64_t>(absoluteTime);
    c->SetValue(static_cast<std::int32_t>(seconds - ((seconds % 60) + 60) % 60));
  }
}

toolbox::Control* FindDownloadControl(const toolbox::Window& window, std::int32_t id) {
  return window.FindControl(kApplicationSignature, id);
}

std::string ControlText(const toolbox::Window& window, std::int32_t id) {
  const toolbox::Control* c = FindDownloadControl(window, id);
  return c ? c->Text() : std::string();
}

bool ControlIsOn(const toolbox::Window& window, std::int32_t id) {
  const toolbox::Control* c = FindDownloadControl(window, id);
  return c && c->Value() != 0;
}

void AcceptFolderDrops(toolbox::Window& window,
                       std::function<void(toolbox::Window&, const std::string&)> dropped) {
  const toolbox::Rect content = window.ContentBounds();
  window.AddView(
      {.kind = ControlKind::kUserPane,
       .bounds = {0, 0, content.width, content.height},
       .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight | toolbox::kBindBottom},
      std::make_shared<FolderDropView>(std::move(dropped)));
}

std::string FolderForDroppedPath(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return path;
  return std::filesystem::path(path).parent_path().string();
}

void AddLabelledField(toolbox::Window& w, const toolbox::Rect& labelBounds, const char* label,
                      const toolbox::ControlSpec& field) {
  w.AddControl({.kind = ControlKind::kStaticText, .bounds = labelBounds, .text = values::Localized(label)});
  w.AddControl(field);
}

void AddCancelAndOKButtons(toolbox::Window& w, double top) {
  const double width = w.ContentBounds().width;
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, 2},
                .bounds = {width - 212, top, 96, 28},
                .text = values::Localized("Cancel"),
                .command = kDownloadCancelCommand,
                .is_cancel = true});
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, kDownloadOKButton},
                .bounds = {width - 112, top, 96, 28},
                .text = values::Localized("OK"),
                .command = kDownloadOKCommand,
                .is_default = true});
}

void ShowFormAlert(toolbox::Window& window, const FormAlert& alert) {
  toolbox::AlertRequest request;
  request.style = toolbox::AlertStyle::kInformational;
  request.message = values::Localized(alert.text);
  request.parent = alert.messageWindow ? nullptr : &window;
  toolbox::GetPresenter().RunAlert(request);
}

runtime::Status HandleSharedFormEvent(runtime::Event& event, toolbox::Window& window) {
  if (event.Is(toolbox::kEventClassCommand, toolbox::kEventCommandUpdateStatus)) {
    const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
    for (values::FourCharCode code : {values::FourCC("copy"), values::FourCC("clea"), values::FourCC("cut "),
                                      values::FourCC("past"), values::FourCC("clos")}) {
      if (command == code) return toolbox::SetCommandEnabled(event, true), runtime::kNoErr;
    }
    return runtime::kEventNotHandledErr;
  }
  if (!event.Is(toolbox::kEventClassCommand, toolbox::kEventCommandProcess))
    return runtime::kEventNotHandledErr;
  const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
  if (command == kDownloadCancelCommand || command == kDownloadCloseCommand) {
    window.Release();
  } else if (command == kDownloadScheduleCommand) {
    UpdateScheduleEnabled(window);
  } else if (command == kDownloadAuthCommand) {
    UpdateCredentialsEnabled(window);
  } else if (command == kDownloadChooseFolderCommand) {
    // The dialog runs once this command's event has returned.
    std::weak_ptr<toolbox::Window> weak = window.weak_from_this();
    auto timer =
        runtime::Timer::Create(runtime::Nanoseconds(0), runtime::Nanoseconds(0), [weak](runtime::Timer& t) {
          t.Invalidate();
          if (auto w = weak.lock(); w && !w->IsReleased()) ChooseDownloadFolder(*w);
        });
    runtime::RunLoop::Main()->AddTimer(timer);
  } else {
    return runtime::kEventNotHandledErr;
  }
  return runtime::kNoErr;
}

}  // namespace ui
