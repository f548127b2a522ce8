#pragma once
// The file-exists sheet: an upload found a file of the same name at its destination and
// its worker waits, connection held, for an answer on its own queue. The questions wait
// here in arrival order; the head one is shown as a sheet of the main window with the
// local and the remote file side by side, and answered with Replace, Resume, Skip or Stop.
// An answer given with "Apply to all" is remembered for the upload's batch, and every
// question of that batch (those already waiting and those still to come) takes it
// without a sheet.
//
// A question whose upload went away while it waited is dropped. When no sheet can be
// shown (no main window) the question is answered with Skip, the answer assumed when
// none is given, so that the worker never waits for a sheet that will not come.
//
// Main thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "app/upload/upload_hooks.h"
#include "platform/runtime/event.h"
#include "platform/runtime/event_target.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

// Control numbers (signature 'Truv').
inline constexpr std::int32_t kConflictQuestionID = 1;
inline constexpr std::int32_t kConflictLocalPathID = 2;
inline constexpr std::int32_t kConflictLocalSizeID = 3;
inline constexpr std::int32_t kConflictLocalDateID = 4;
inline constexpr std::int32_t kConflictRemotePathID = 5;
inline constexpr std::int32_t kConflictRemoteSizeID = 6;
inline constexpr std::int32_t kConflictRemoteDateID = 7;
inline constexpr std::int32_t kConflictApplyToAllID = 8;
inline constexpr std::int32_t kConflictReplaceID = 9;
inline constexpr std::int32_t kConflictSkipID = 10;
inline constexpr std::int32_t kConflictStopID = 11;
inline constexpr std::int32_t kConflictResumeID = 12;
inline constexpr std::int32_t kConflictPictureID = 13;

inline constexpr const char kConflictSheetTitle[] = "File Exists";

// Appends the question; shows its sheet at once when it is the only one waiting.
void QueueUploadConflictSheet(const upload::UploadConflictQuestion& question);
// From the head: drops questions whose upload is gone, answers those whose batch has a
// remembered answer, and shows the sheet of the first one left.
void ShowNextUploadConflictSheet();
// Builds and shows the sheet of this question; false when it could not be shown.
bool ShowUploadConflictSheet(const upload::UploadConflictQuestion& question);
// The sheet's handler: the four answers and the window closing.
runtime::Status UploadConflictSheetHandler(runtime::HandlerCall& call, runtime::Event& event);

// The sheet while it shows, else nullptr.
toolbox::Window* GetUploadConflictSheet();
// The questions waiting, the shown one first.
const std::vector<upload::UploadConflictQuestion>& PendingUploadConflicts();
// Closes the sheet and forgets every waiting question (tests, quitting).
void ClearUploadConflicts();

// "Unknown" at 0 or less; "1023 B"; "1 KB (1,536 bytes)" with the byte count grouped as
// the locale groups digits; MB from 1 MiB, GB from 1 GiB.
std::string UploadConflictSizeText(std::int64_t size, const std::string& locale);

}  // namespace ui
