#pragma once
// The controls the add-download and edit-download windows share, by the numbers both
// windows find them under: the "when done" pop-up with the scripts, the destination folder
// pop-up, the credentials and the schedule, and reading them back.
//
// The destination folder and the chosen file name live in the window's properties
// ('Truv'/'Fold' the folder's path, 'Truv'/'Name' the name), so that the folder dialog,
// a drop and OK all read and write one place.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/event.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

struct FormAlert;

// Controls, {'Truv', id}.
inline constexpr std::int32_t kDownloadOKButton = 1;
inline constexpr std::int32_t kDownloadURLField = 3;
inline constexpr std::int32_t kDownloadConnectionsField = 4;
inline constexpr std::int32_t kDownloadWhenDonePopUp = 7;
inline constexpr std::int32_t kDownloadPathText = 10;
inline constexpr std::int32_t kDownloadSeparateBox = 14;
inline constexpr std::int32_t kEditPositionField = 16;
inline constexpr std::int32_t kAddPositionField = 18;
inline constexpr std::int32_t kDownloadFolderPopUp = 50;
inline constexpr std::int32_t kDownloadUseAuthBox = 5000;
inline constexpr std::int32_t kDownloadUserField = 5001;
inline constexpr std::int32_t kDownloadPasswordField = 5002;
inline constexpr std::int32_t kDownloadSaveCredentialsBox = 5003;
inline constexpr std::int32_t kDownloadScheduleBox = 6000;
inline constexpr std::int32_t kDownloadScheduleDate = 6001;
inline constexpr std::int32_t kDownloadRefererField = 9000;

// Commands.
inline constexpr values::FourCharCode kDownloadOKCommand = values::FourCC("ok  ");
inline constexpr values::FourCharCode kDownloadCancelCommand = values::FourCC("not!");
inline constexpr values::FourCharCode kDownloadCloseCommand = values::FourCC("clos");
inline constexpr values::FourCharCode kDownloadScheduleCommand = values::FourCC("Stld");
inline constexpr values::FourCharCode kDownloadAuthCommand = values::FourCC("Auth");
inline constexpr values::FourCharCode kDownloadChooseFolderCommand = values::FourCC("ChoF");
inline constexpr values::FourCharCode kEditDownloadStartCommand = values::FourCC("Down");
inline constexpr values::FourCharCode kEditDownloadChooseFileCommand = values::FourCC("EDCh");
inline constexpr values::FourCharCode kEditDownloadRevealCommand = values::FourCC("EdRv");

// Window properties, creator 'Truv'.
inline constexpr values::FourCharCode kDownloadFolderProperty = values::FourCC("Fold");
inline constexpr values::FourCharCode kDownloadNameProperty = values::FourCC("Name");

// The names of the scripts a download may run when done: the executable files directly in
// the scripts folder, by name.
std::vector<std::string> ListWhenDoneScripts();

// The "when done" pop-up's items: the fixed ones, then the scripts.
void FillWhenDonePopUp(toolbox::Control& popup, const std::vector<std::string>& scripts);
// The scripts the pop-up lists (its items past the fixed ones).
std::vector<std::string> WhenDonePopUpScripts(const toolbox::Control& popup);

// Item 1 of the folder pop-up shows the folder's name and icon.
void SetFolderPopupItem(toolbox::Control& popup, const std::string& folderPath);

// The folder and name properties.
std::string WindowFolder(const toolbox::Window& window);
void SetWindowFolder(toolbox::Window& window, const std::string& folderPath);
std::string WindowFileName(const toolbox::Window& window);
void SetWindowFileName(toolbox::Window& window, const std::string& name);

// The default download folder's path (the home folder when it cannot be had).
std::string DefaultDownloadFolderPath();
// The alias of the folder; nothing when it is the default download folder (or cannot be
// had), so that the download follows the setting.
std::optional<values::Bytes> DestinationAliasFor(const std::string& folderPath);

// Adds the shared rows at `top`: credentials (with the save box when `withSave`), the
// schedule, the "when done" pop-up and the folder pop-up with its path line. Returns the
// height they took.
double AddSharedDownloadControls(toolbox::Window& window, double top, bool withSave);

// 'Auth' and 'Stld': the credentials and the schedule time follow their boxes.
void UpdateCredentialsEnabled(toolbox::Window& window);
void UpdateScheduleEnabled(toolbox::Window& window);

// The schedule time shown (seconds dropped), and whether the schedule is on.
double ReadScheduleControls(const toolbox::Window& window, bool& schedule);
void SetScheduleTime(toolbox::Window& window, double absoluteTime);

std::string ControlText(const toolbox::Window& window, std::int32_t id);
bool ControlIsOn(const toolbox::Window& window, std::int32_t id);
toolbox::Control* FindDownloadControl(const toolbox::Window& window, std::int32_t id);

// A label at `labelBounds` and the field `field` beside it.
void AddLabelledField(toolbox::Window& window, const toolbox::Rect& labelBounds, const char* label,
                      const toolbox::ControlSpec& field);
// Cancel and OK (the default button, id kDownloadOKButton) at the right of the row `top`.
void AddCancelAndOKButtons(toolbox::Window& window, double top);

// The refused form's alert: over the window, or on its own when the rules say so.
void ShowFormAlert(toolbox::Window& window, const FormAlert& alert);

// What both windows do alike: the text commands are enabled in their fields (status
// asks), and Cancel, close, the schedule and credentials boxes and the folder dialog
// (commands). Not handled: the window's own business.
runtime::Status HandleSharedFormEvent(runtime::Event& event, toolbox::Window& window);

// The folder a dropped item stands for: a folder itself, another item its parent folder.
std::string FolderForDroppedPath(const std::string& path);

// Makes the whole content of the window take dropped files and folders, highlighted while
// such a drag is over it; `dropped` gets the first item's path. Called before the other
// controls are added, so that it lies beneath them.
void AcceptFolderDrops(toolbox::Window& window,
                       std::function<void(toolbox::Window&, const std::string&)> dropped);

}  // namespace ui
