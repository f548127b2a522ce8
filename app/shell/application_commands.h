#pragma once
// The commands that reach the application target: those of the menu bar, the tray menu
// and the toolbar that no window took on the way (the front window's chain hands on what
// it does not know). Each command acts on the current view and the main list's
// selection, as the window would; a command whose window or owner is not part of this
// program is not handled.
//
// Also the quit rule: a quit with nothing moving goes ahead at once; while transfers run
// the "warnonquit" setting asks through the quit warning window first ("warnonlyifdl":
// only while downloads run).
//
// Main thread only.

#include "platform/runtime/status.h"
#include "platform/toolbox/app/command.h"

namespace shell {

// Adds the application's lines to the command table (app/ui/commands/command_table.h);
// start-up does it before any window exists.
void RegisterApplicationCommands();

// 'cmds' 1, through the command table: noErr when handled, eventNotHandledErr otherwise (and after a few
// commands that others should see too).
runtime::Status ProcessApplicationCommand(toolbox::FourCharCode command);

// 'cmds' 2: the state of a menu item for the commands the application decides; nothing
// set (and not handled) for the others.
runtime::Status UpdateApplicationCommandStatus(toolbox::FourCharCode command, toolbox::CommandStatus& status);

enum class QuitDecision { kQuitNow, kWarn };
// What a quit request does, from what is moving and the two settings.
QuitDecision DecideQuit(bool receiving, bool uploading, bool downloading, bool warnOnQuit,
                        bool warnOnlyIfDownloading);
// The quit command: quits, or shows the quit warning window.
void RequestQuit();

}  // namespace shell
