#pragma once
// The desktop's workspace: opening documents and web pages with the user's programs,
// starting a message in the user's mail program, showing an item in the file manager,
// copying items, and moving them to the Trash.
//
// The Linux default opens through xdg-open (the user's associations in mimeapps.list),
// starts messages through xdg-email (the user's mail program, webmail included),
// shows an item by opening its folder, copies whole trees, and trashes by the
// freedesktop.org Trash layout, so the file manager can restore what was trashed.
// Tests install a recording stand-in with WorkspaceSlot::Set.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/service_slot.h"

namespace desktop {

class Workspace {
 public:
  virtual ~Workspace() = default;
  // A web page, a file URL or any URL the desktop knows a program for.
  virtual bool OpenURL(const std::string& url) = 0;
  virtual bool OpenFile(const std::string& path) = 0;
  // A new message in the user's mail program, filled from a "mailto:" URL (address,
  // subject and body); false when it is not such a URL or no mail program can start.
  virtual bool ComposeMail(const std::string& mailto_url) = 0;
  // Shows the item in the file manager (its folder opened).
  virtual bool RevealItem(const std::string& path) = 0;
  // Copies the item (a whole folder with its contents) into the folder under its own
  // name; false when that name is taken there or the copy fails.
  virtual bool CopyItem(const std::string& path, const std::string& destination_folder) = 0;
  // Moves the named items of one folder to the Trash; true when every one went.
  virtual bool RecycleItems(const std::string& folder, const std::vector<std::string>& names) = 0;
  // Whether a desktop session is there to show what would be opened: without one, opening
  // a document only starts a chain of helpers that have nowhere to draw.
  virtual bool HasDisplay() const = 0;
};

// Runs a helper program with these arguments, without waiting; false when it cannot start.
using CommandRunner = std::function<bool(const std::vector<std::string>& argv)>;

class LinuxWorkspace : public Workspace {
 public:
  // `runner` starts xdg-open and xdg-email; by default LaunchDetached.
  explicit LinuxWorkspace(CommandRunner runner = nullptr);
  bool OpenURL(const std::string& url) override;
  bool OpenFile(const std::string& path) override;
  bool ComposeMail(const std::string& mailto_url) override;
  bool RevealItem(const std::string& path) override;
  bool CopyItem(const std::string& path, const std::string& destination_folder) override;
  bool RecycleItems(const std::string& folder, const std::vector<std::string>& names) override;
  // An X11 or Wayland display named in the environment.
  bool HasDisplay() const override;

 private:
  CommandRunner runner_;
};

using WorkspaceSlot = runtime::ServiceSlot<Workspace, LinuxWorkspace>;

}  // namespace desktop
