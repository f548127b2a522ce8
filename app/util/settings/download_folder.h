#pragma once
// Where downloads go when the user has chosen no folder for them, and where the program
// keeps its own files.
//
// The default download folder is remembered as an alias ("Default folder alias"), so it
// is found again after the user renames or moves it. When the alias no longer resolves,
// the folder's last known path is used (created again when missing), then the user's
// Downloads folder, or "Truvane 5" in Documents where no Downloads folder is to be used.
// Whatever folder is found, its alias is written back to the preferences at once.
//
// With "downloadMode" 2 the user is asked for a folder, at most once per session: a
// session is one pass of the main run loop, that is one user action or one Apple event,
// so every item of one command shares the answer (ResetSessionState, run before each
// pass, starts a new session; session_helpers.h).
//
// Main thread only.

#include <optional>

#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"
#include "platform/values/value.h"

namespace util {

// Set at start-up when the system's Downloads folder is to be used for downloads; always
// so on this platform, where every desktop has one.
extern bool gSystemIs105OrLater;

// The folder made inside Documents when there is no Downloads folder to use.
inline constexpr const char kFallbackDownloadFolderName[] = "Truvane 5";

// The folder used when no other is known: Downloads (made when missing), else "Truvane 5"
// in Documents (made with its parents when missing). False when neither can be had.
bool FindDefaultDownloadFolder(files::FileRef& folder);

// The current default download folder; keeps the alias and its preference up to date.
// False (and no alias) when no folder can be found at all.
bool GetDefaultDownloadFolder(files::FileRef& folder);

// The default folder, or with "downloadMode" 2 the folder the user chooses, starting at the
// default one. Answers true when the user cancelled; when the dialog cannot be shown the
// default folder stands and the answer is false.
bool ChooseDefaultDownloadFolder(files::FileRef& folder);

// ChooseDefaultDownloadFolder asked once per session, its folder and its cancelled answer
// remembered for the rest of the session.
bool GetSessionDownloadFolder(files::FileRef& folder);

// The application's support folder ($XDG_DATA_HOME/Truvane), made when missing; noErr
// or the file system's error, unchanged.
files::OSErr GetAppSupportFolder(files::FileRef* folder);

// The default-folder alias, shared with the settings store (which loads it at start-up and
// saves it) and the preferences window (which replaces it when the user picks a folder).
void LoadDefaultFolderAlias(const std::optional<values::Bytes>& bytes);
std::optional<values::Bytes> CopyDefaultFolderAliasBytes();
// Makes the alias of `folder` the default folder and stores it.
bool SetDefaultDownloadFolder(const files::FileRef& folder);
// Forgets the alias (at shut-down).
void DisposeDefaultFolderAlias();

}  // namespace util
