#include "app/util/text/english_texts.h"

#include <array>

#include "platform/values/localize.h"

namespace util {
namespace {

constexpr std::pair<std::string_view, std::string_view> kTexts[] = {
    // Sections of the source list.
    {"kLibraryFolderLabel", "LIBRARY"},
    {"kSearchForFolderLabel", "SEARCH FOR"},
    {"kRemoteServersFolderLabel", "REMOTE SERVERS"},
    {"kMyFoldersFolderLabel", "MY FOLDERS"},
    // The toolbar, the status line and the bandwidth menu.
    {"kToolbarUploadRapidShare", "Upload to File Host"},
    {"kToolbarUploadRapidShareHelp", "Upload the selected file to a file-hosting service."},
    {"kItemCountSummary", "%@ in %d items"},
    {"kLimitFormat", "Limit to %.1f KB/s"},
    // The status log of the add-files-from-URL window.
    {"kScanForURLsComplete", "Scan complete.\n"},
    // The add and edit download windows.
    {"kScheduledTimeInPast", "The scheduled time must be at least 15 seconds in the future."},
    // The filter bar.
    {"kSearchBarAllLabel", "All"},
    {"kSearchBarInProgressLabel", "In Progress"},
    {"kSearchBarQueuedLabel", "Queued"},
    {"kSearchBarPausedLabel", "Paused"},
    {"kSearchBarCompletedLabel", "Completed"},
    {"kSearchBarIncompleteLabel", "Incomplete"},
    // The main list's cells and contextual menu.
    {"kStatusCompleted", "Completed"},
    {"kPausedStatus", "Stopped"},
    {"kDateTomorrow", "Tomorrow"},
    {"kNewFolder", "New Folder"},
    {"kCopyKillURL", "Copy Kill URL To Clipboard"},
    {"kCopyKillURLs", "Copy Kill URLs To Clipboard"},
    // Window layout and row menus.
    {"kHideLeftPane", "Hide Sources"},
    {"kShowLeftPane", "Show Sources"},
    {"kHideFilterBar", "Hide Filter Bar"},
    {"kShowFilterBar", "Show Filter Bar"},
    {"kRemoveOrphaned", "Remove Orphaned Downloads..."},
    {"kContextualRemoveInactiveUploads", "Remove Finished Uploads..."},
    {"kContextualRemoveCancelledUploads", "Remove Cancelled Uploads..."},
    {"kViewAsList", "View as List"},
    {"kViewInSplitPane", "View in Split Pane"},
    {"kShowInvisibles", "Show Invisible Files"},
    {"kHideInvisibles", "Hide Invisible Files"},
    // The tray icon's menu.
    {"kDockMenuDockMenu", "Tray Icon"},
    {"kDockMenuShowSpeeds", "Show Speeds"},
    {"kDockMenuShowItems", "Show Item Counts"},
    {"kDockMenuShowBandwidthUsage", "Show Bandwidth Graph"},
    // Column titles of the main list.
    {"kSpeedLabel", "Speed"},
    {"kEstimatedTimeLabel", "Time Left"},
    {"kNumberOfConnectionsLabel", "Connections"},
    {"kPercentageLabel", "Percentage"},
    // Items of the column chooser.
    {"kSelectAll", "Show All"},
    {"kSelectNone", "Hide All"},
    {"kConnectToServer", "Connect to Server"},
    // Names of the built-in smart folders.
    {"kTodayFolderLabel", "Today"},
    {"kYesterdayFolderLabel", "Yesterday"},
    {"kPastWeekFolderLabel", "Past Week"},
    {"kPastMonthFolderLabel", "Past Month"},
    {"kAllApplications", "Applications"},
    {"kAllDocuments", "Documents"},
    {"kAllMusic", "Music"},
    {"kAllPDF", "PDF Files"},
    {"kAllPictures", "Pictures"},
    {"kAllPresentations", "Presentations"},
    {"kDownloadStartPerms",
     "Truvane cannot write to the download folder. Check the folder's permissions, or choose another "
     "download folder in the preferences."},
    // One floating-point argument: the size in gigabytes.
    {"kGigabyteFormat", "%.2f GB"},
    // One argument: the host name.
    {"kCertificateChanged",
     "The certificate for %@ is not the one you accepted before. Do you still want to connect?"},
    {"kConfirmClearupQueueString", "Do you want to clean up the queue?"},
    {"kConfirmClearupQueueInfoString",
     "Completed and cancelled downloads whose files can no longer be found will be removed from the list."},
    {"kActionNameClearCancelledString", "Clear Cancelled Downloads"},
    // A download that failed on every address: its last reason, in words, stands apart from the colon.
    {"The download of \r%@\r failed because no urls were valid. Last error:%@.",
     "The download of \r%@\r failed because no urls were valid. Last error: %@."},
    {"The download of \r%@\rfailed because no urls were valid. Last error:%@\nThe last message from the "
     "server was: %@.",
     "The download of \r%@\rfailed because no urls were valid. Last error: %@\nThe last message "
     "from the server was: %@."},
    // Places of the other desktop named as this one's (listed in the README).
    {"Reveal in Finder", "Show in Folder"},
    {"Create Finder Smart Folder...", "Save as Search File..."},
    {"Reveals this item in the Finder", "Shows this item in its folder"},
    {"Reveal the selected file(s) in the Finder.", "Show the selected file(s) in their folder."},
    {"Open the upload folder in the Finder.", "Open the upload folder in the file manager."},
    // The window that gathers failures: one argument, how many older ones it no longer shows.
    {"kOneEarlierMessageInLog", "One earlier message is not shown here: Window > View Log lists it."},
    {"kEarlierMessagesInLog", "%lld earlier messages are not shown here: Window > View Log lists them."},
    // The file manager's upload command (the menu plug-in carries the same texts).
    {"kUploadNamedToRapidShare", "Upload \xE2\x80\x9C%@\xE2\x80\x9D to RapidShare"},
    {"kUploadMultipleToRapidShare", "Upload %d Items to RapidShare"},
};

}  // namespace

std::span<const std::pair<std::string_view, std::string_view>> EnglishTextsOfSymbolicKeys() {
  return kTexts;
}

void RegisterEnglishTexts() {
  for (const auto& [key, text] : kTexts) values::RegisterLocalizedString(std::string(key), std::string(text));
}

}  // namespace util
