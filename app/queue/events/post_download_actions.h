#pragma once
// What may happen after a download, or after all of them: a download's own completion
// action, the system-wide "when done" action, the scripts both may run, the system
// actions, post-processing of a finished file by type, and showing or opening items in
// the file manager.
//
// Scripts are executable files in the "Scripts" folder of the application's resources
// ("Scripts/Disconnect Modem", or the name a download gives); each runs as a program of
// its own, without a shell and without waiting. A script of 1,048,576 bytes or more is
// refused (memFullErr), as a script that size is not a script. A missing script runs
// nothing and is no error.
//
// The system actions go to the desktop's SystemActions (logind); quitting goes to the
// application's quit handler (the application event loop's quit by default).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/queue/record/download_queue_element.h"
#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"

namespace queue {

// A download's own action (its `completionType`, with the script name in `completion`).
enum CompletionType : std::int32_t {
  kCompletionNone = 0,
  kCompletionStartQueue = 1,
  kCompletionStopQueue = 2,
  kCompletionQuit = 3,
  kCompletionShutDown = 4,
  kCompletionRunScript = 5,
  kCompletionSleep = 6,
  kCompletionLogOut = 7,
};

// The setting "post download action", run when "take action when done" is on.
enum PostDownloadAction : std::int32_t {
  kPostActionNone = 0,
  kPostActionDisconnectModem = 1,
  kPostActionQuit = 2,
  kPostActionShutDown = 3,
  kPostActionSleep = 4,
  kPostActionLogOut = 5,
};

inline constexpr std::int64_t kMaxScriptSize = 1048576;
inline constexpr const char kDisconnectModemScript[] = "Disconnect Modem";

// Values outside 1 to 7 do nothing.
void PerformCompletionAction(const std::optional<std::string>& scriptName, std::int32_t completionType);
// Values outside 1 to 5 do nothing.
void RunPostDownloadAction(std::int32_t action);

// The folder of the scripts: $TRUVANE_RESOURCES/Scripts when that is set, else
// "share/truvane/Scripts" beside the program's folder; SetScriptsFolder overrides (tests).
files::FileRef ScriptsFolder();
void SetScriptsFolder(std::optional<std::string> folder);
// Runs "Scripts/<name>": 0 when there is no such file (nothing runs) or it started.
files::OSErr RunScriptResource(const std::string& name);
files::OSErr RunDisconnectModemScript();
// Runs an executable file: memFullErr (-108) for 1,048,576 bytes or more, fnfErr when it
// is missing or no folder, ioErr when it cannot be started.
files::OSErr RunScriptFile(const files::FileRef& script);
// Starts a program without waiting; replaced by tests.
using ScriptLauncher = std::function<bool(const std::vector<std::string>& argv)>;
void SetScriptLauncher(ScriptLauncher launcher);  // nullptr: the default

// Ends the application event loop (shut-down follows); replaced by the application.
void QuitApplication();
void SetQuitApplicationHandler(std::function<void()> handler);  // nullptr: the default
files::OSErr ShutDownComputer();
files::OSErr SleepComputer();
files::OSErr LogOutUser();

// Post-processing: when allowed and "Post Process" is on, a file whose name ends with one
// of the ";"-separated pieces of "postprocesstypes" is opened with the desktop's program
// for it. Types and creators have no meaning here, so none are set. Without a display
// nothing is opened, and the download's log (the one with `uid`) says so.
void ApplyFileTypeAndPostProcess(const files::FileRef& file, bool postProcess, const std::string& fileName,
                                 const std::string& fallbackName, std::uint32_t uid = 0);

// Shows the item in the file manager; a folder is opened instead.
files::OSErr RevealInFinder(const files::FileRef& item);
// Opens the items with the desktop's programs; paramErr (-50) for none.
files::OSErr FinderOpenItems(const std::vector<files::FileRef>& items);

}  // namespace queue
