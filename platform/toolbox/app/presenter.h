#pragma once
// Everything modal goes through the presenter: alerts and confirmations, pop-up and
// contextual menus, the choose-folder and put-file dialogs. The application uses the Qt
// presenter; a test installs a scripted one (tests/fakes/scripted_presenter.h) that
// answers from a script and records what was asked, so no test ever blocks on a modal
// window.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolbox/drawing/geometry.h"
#include "platform/toolbox/menus/menu.h"

namespace toolbox {

class Window;

enum class AlertStyle { kInformational, kWarning, kCritical };

struct AlertButton {
  std::string text;
  bool is_default = false;  // answers Return
  bool is_cancel = false;   // answers Escape
  bool operator==(const AlertButton&) const = default;
};

struct AlertRequest {
  AlertStyle style = AlertStyle::kWarning;
  std::string message;
  std::string informative;           // "" = none
  std::vector<AlertButton> buttons;  // left to right as read; an empty list shows one "OK"
  Window* parent = nullptr;          // shown as a sheet of this window when given
};

enum class MenuPlacement { kContextual, kPopUp };

struct MenuRequest {
  MenuRef menu;
  MenuPlacement placement = MenuPlacement::kContextual;
  Window* window = nullptr;  // the window clicked in, when any
  Point where;               // in that window's content, else global
  int current_item = 0;      // pop-ups: the item shown under the mouse
};

struct FileDialogRequest {
  std::string title;
  std::string message;
  std::string directory;  // where to start; "" = the last place or home
  std::string file_name;  // put-file: the name proposed
  Window* parent = nullptr;
};

class Presenter {
 public:
  virtual ~Presenter() = default;
  // The index of the button pressed in `request.buttons`.
  virtual int RunAlert(const AlertRequest& request) = 0;
  virtual MenuSelection ShowMenu(const MenuRequest& request) = 0;
  // The folder's path; nothing when cancelled.
  virtual std::optional<std::string> ChooseFolder(const FileDialogRequest& request) = 0;
  // The chosen file's path; nothing when cancelled.
  virtual std::optional<std::string> PutFile(const FileDialogRequest& request) = 0;
};

// The presenter in force (the Qt one unless a test set another).
Presenter& GetPresenter();
// Installs `presenter` (the Qt one when null) and returns the previous one.
std::unique_ptr<Presenter> SetPresenter(std::unique_ptr<Presenter> presenter);
std::unique_ptr<Presenter> MakeQtPresenter();

}  // namespace toolbox
