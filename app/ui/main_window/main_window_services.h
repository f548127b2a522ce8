#pragma once
// The main window's services, installed at start-up when there is a display: the
// source-list rows of folders and hosts, the filter scope and the badges the queue asks
// for, the simple or advanced interface, and the window's notifications. Installed
// before the main list, which keeps them as the services it does not answer itself.

namespace ui {

void InstallMainWindowServices();
// Puts the defaults back (tests).
void UninstallMainWindowServices();

}  // namespace ui
