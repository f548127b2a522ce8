#pragma once
// The settings that are one plain value under one key: what each is called in the domain,
// where it lives in `Settings`, and whether the store saves it and reloads it. Their
// defaults are the member initialisers of `Settings`.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "app/util/settings/settings_store.h"

namespace util {

enum SettingsKeyFlags : unsigned {
  kSavedKey = 1u,        // written by SavePreferences
  kStartUpOnlyKey = 2u,  // not read again by a reload
};

using SettingsField = std::variant<bool Settings::*, std::int16_t Settings::*, std::uint16_t Settings::*,
                                   std::int32_t Settings::*, std::int64_t Settings::*, float Settings::*,
                                   std::string Settings::*>;

struct SettingsKey {
  std::string_view key;
  SettingsField field;
  unsigned flags;
};

inline constexpr SettingsKey kPlainSettingsKeys[] = {
    // Queue and downloads.
    {"Queue Length", &Settings::queueLength, kSavedKey},
    {"Default Ports", &Settings::defaultPorts, kSavedKey},
    {"autoStartQueue", &Settings::autoStartQueue, kSavedKey},
    {"Start On Launch", &Settings::startOnLaunch, kSavedKey},
    {"Start if Connected", &Settings::startIfConnected, kSavedKey},
    {"Downloads stop with queue", &Settings::downloadsStopWithQueue, kSavedKey},
    {"switchMain", &Settings::switchMain, kSavedKey},
    {"Bring to front", &Settings::bringToFront, kSavedKey},
    {"Post Process", &Settings::postProcess, kSavedKey},
    {"postprocesstypes", &Settings::postProcessTypes, kSavedKey},
    {"limit sim dls", &Settings::limitSimultaneousDownloads, 0},
    {"maxDomainDownloads", &Settings::maxDomainDownloads, kSavedKey},
    {"user agent type", &Settings::userAgentType, 0},
    {"anon ftp password", &Settings::anonFTPPassword, kSavedKey},
    {"discon when done", &Settings::disconnectWhenDone, kSavedKey},
    {"sleep when done", &Settings::sleepWhenDone, kSavedKey},
    {"logout when done", &Settings::logoutWhenDone, kSavedKey},
    {"quit when done", &Settings::quitWhenDone, kSavedKey},
    {"shutdown when done", &Settings::shutdownWhenDone, kSavedKey},
    // Interface and windows.
    {"fontSize", &Settings::fontSize, 0},
    {"Show toolbar", &Settings::showToolbar, 0},
    {"hide on startup", &Settings::hideOnStartup, kSavedKey},
    {"splitpanes", &Settings::splitPanes, 0},
    {"Use help tags", &Settings::useHelpTags, kSavedKey},
    {"Splitter xpos", &Settings::splitterXpos, kStartUpOnlyKey},
    {"floaterAlpha", &Settings::floaterAlpha, kStartUpOnlyKey},
    {"float above all", &Settings::floatAboveAll, kSavedKey | kStartUpOnlyKey},
    {"show servers", &Settings::showServers, kSavedKey},
    {"show filters", &Settings::showFilters, kSavedKey},
    {"show history", &Settings::showHistory, kSavedKey},
    {"show remote", &Settings::showRemote, kSavedKey},
    {"show rendezvous", &Settings::showRendezvous, kSavedKey},
    {"show uploads", &Settings::showUploads, kSavedKey},
    {"show file sharing", &Settings::showFileSharing, kSavedKey},
    {"show received files", &Settings::showReceivedFiles, kSavedKey},
    {"Use Error Log", &Settings::useErrorLog, kSavedKey},
    // Dock.
    {"displaygraphindock", &Settings::displayGraphInDock, kSavedKey},
    {"displayjobsindock", &Settings::displayJobsInDock, kSavedKey},
    {"displayreceivedfilesindock", &Settings::displayReceivedFilesInDock, kSavedKey},
    {"displayuploadcountindock", &Settings::displayUploadCountInDock, kSavedKey},
    // Sharing.
    {"Share port", &Settings::sharePort, kSavedKey},
    {"Share Folders", &Settings::shareFolders, kSavedKey},
    {"Max downloads", &Settings::maxDownloads, kSavedKey},
    {"Max uploads", &Settings::maxUploads, kSavedKey},
    {"requireSecureTransfer", &Settings::requireSecureTransfer, 0},
    {"last upload folder path", &Settings::lastUploadFolderPath, 0},
    // Other.
    {"reconnectAtStart", &Settings::reconnectAtStart, kSavedKey},
    {"Files transfered", &Settings::filesTransferred, kStartUpOnlyKey},
    {"Bytes transfered", &Settings::bytesTransferred, kStartUpOnlyKey},
    {"queue sound", &Settings::queueSound, 0},
    {"download sound", &Settings::downloadSound, 0},
    // Carried.
    {"UsePassiveFTP", &Settings::usePassiveFTP, kSavedKey},
    {"Remove Completed", &Settings::removeCompleted, kSavedKey},
    {"Updates Autocheck", &Settings::updatesAutocheck, kSavedKey},
    {"Use password data", &Settings::usePasswordData, kSavedKey},
    {"Save password data", &Settings::savePasswordData, kSavedKey},
    {"install plugin", &Settings::installPlugin, kSavedKey},
    {"plugin back", &Settings::pluginBack, kSavedKey},
    {"tcpWindowSize", &Settings::tcpWindowSize, kSavedKey},
    {"LastEditedUser", &Settings::lastEditedUser, kSavedKey},
};

}  // namespace util
