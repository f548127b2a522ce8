#pragma once
// What the add-download and edit-download windows do with what a person typed, apart from
// the windows themselves.
//
// Adding is split in two: PlanAddDownloads turns the form's values into the list of
// downloads to add (each an AddDownload request, with its schedule and fixed name), the
// renumbering the queue needs afterwards and the undo step's name, or into the alert that
// says why nothing is added; AddPlannedDownloads then makes those calls on the queue.
// Editing likewise: PlanDownloadEdits gives the values to write into each edited download
// or the alert, ApplyPlannedEdits writes them. The planners read nothing but their
// arguments, so the rules are tested as tables without a window or a queue.
//
// Main thread only (the executors change the queue).

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/queue/adding/add_download.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "platform/values/value.h"

namespace ui {

inline constexpr const char kInvalidURLAlert[] = "The url entered is invalid.";
inline constexpr const char kScheduledTimeInPastAlert[] = "kScheduledTimeInPast";
inline constexpr const char kEditDownloadTitlePrefix[] = "Edit Download: ";
inline constexpr const char kAddDownloadUndoName[] = "Add Download";
inline constexpr const char kAddDownloadsUndoName[] = "Add %d downloads";
// A schedule must lie further ahead than this, in seconds, to be taken.
inline constexpr double kScheduleLeadSeconds = 15;
// Above this many downloads one OK adds them without updating the list row by row.
inline constexpr std::size_t kQuietAddThreshold = 5;
// The fixed items of the "when done" pop-up; the scripts follow them.
inline constexpr int kWhenDoneFixedItems = 7;

// The completion type and argument for a 1-based "when done" item; items past the fixed
// ones name the script of that place in `scripts`.
struct WhenDoneChoice {
  std::int32_t completionType = 0;
  std::optional<std::string> argument;
};
WhenDoneChoice CompletionForWhenDoneItem(int item, const std::vector<std::string>& scripts);
// The item that shows a download's completion type and argument: for a script the first
// item whose text equals the argument, item 1 when none does.
int WhenDoneItemForCompletion(std::int32_t completionType, const std::optional<std::string>& argument,
                              const std::vector<std::string>& scripts);

// The referer field's text made into a referer: escaped, and kept only when it is at least
// 8 characters long and holds a "."; nothing otherwise.
std::optional<std::string> RefererFromField(const std::string& text);

// The number a digits field holds, read as a decimal number from its first `maxLength`
// characters (leading blanks and a sign allowed, reading stops at the first other
// character); 0 when it holds none.
std::int32_t ReadNumberField(const std::string& text, std::size_t maxLength);

struct FormAlert {
  std::string text;
  // A message window rather than an alert.
  bool messageWindow = false;
  friend bool operator==(const FormAlert&, const FormAlert&) = default;
};

struct AddDownloadForm {
  std::string urls;         // one URL (or pattern) per line
  std::string connections;  // the connections field's text
  int whenDoneItem = 1;
  std::optional<std::string> referer;  // the referer field's text; nothing without the field
  bool separateDownloads = true;
  std::string queuePosition;  // the queue position field's text
  bool useAuth = false;
  bool saveCredentials = false;
  std::string user;
  std::string password;
  bool schedule = false;
  double scheduleTime = 0;  // absolute time
  std::string chosenName;   // picked in the save dialog; empty when none was
  // Alias of the destination folder; nothing when it is the default download folder.
  std::optional<values::Bytes> destination;
};

struct AddFormContext {
  double now = 0;
  std::int32_t defaultConnections = 3;
  std::int32_t queuedCount = 0;
  std::vector<std::string> scripts;
  std::string batchID;
};

struct PlannedDownload {
  queue::AddDownloadRequest request;
  // Given to the new download, its name then fixed, when it differs from the URL's name.
  std::optional<std::string> fixedName;
};

struct AddDownloadPlan {
  std::vector<PlannedDownload> downloads;
  std::optional<double> scheduleAt;  // each added download is held and scheduled then
  // After a quiet add to a given place: the queue is renumbered from this place on.
  std::int32_t renumberFrom = 0;
  bool rebuildList = false;
  std::string undoName;
};

std::variant<AddDownloadPlan, FormAlert> PlanAddDownloads(const AddDownloadForm& form,
                                                          const AddFormContext& context);

// Adds the planned downloads in order; the first one the queue refuses ends the loop.
// Returns the UIDs of those added. Names the undo step, marks the queue changed when
// any was added, renumbers the queue after a quiet add and refreshes the list's queue
// position and status columns.
std::vector<queue::DownloadUID> AddPlannedDownloads(const AddDownloadPlan& plan);

struct EditDownloadForm {
  std::string urls;  // one download only: one URL per line
  std::string connections;
  int whenDoneItem = 1;
  std::optional<std::string> referer;  // nothing without the field
  std::string queuePosition;           // one download only
  bool useAuth = false;
  std::string user;
  std::string password;
  bool schedule = false;
  double scheduleTime = 0;
  std::optional<std::string> chosenName;  // set when a name was picked in the save dialog
  std::optional<values::Bytes> destination;
};

struct EditFormContext {
  double now = 0;
  std::vector<std::string> scripts;
};

// What an edited download holds before the edit.
struct EditedDownloadValues {
  values::Array urlData;
  std::string filename;
  std::int16_t flags = 0;
  std::int32_t queuePosition = 0;
};

struct DownloadEdit {
  std::optional<values::Array> urlData;  // a new list of mirrors
  std::optional<std::vector<std::string>> domains;
  std::optional<std::string> filename;
  std::optional<bool> nameFixed;
  bool clearRelativeLocation = false;
  std::int32_t moveToPosition = 0;  // above 0: moved to this place
};

struct EditDownloadPlan {
  std::vector<DownloadEdit> items;  // in the order of the edited downloads
  bool useAuth = false;
  std::string user;
  std::string password;
  std::int32_t connections = 1;
  WhenDoneChoice completion;
  std::optional<values::Bytes> destination;
  std::optional<double> scheduleAt;  // nothing: the schedule is off
};

std::variant<EditDownloadPlan, FormAlert> PlanDownloadEdits(const EditDownloadForm& form,
                                                            const EditFormContext& context,
                                                            const std::vector<EditedDownloadValues>& items);

// The values a download holds, for PlanDownloadEdits.
EditedDownloadValues ValuesOfDownload(const queue::DownloadQueueElement& element);

// Writes the plan into the downloads (those no longer in the queue are skipped), then
// holds, schedules or unschedules them, refreshes their rows and marks the queue changed.
void ApplyPlannedEdits(const EditDownloadPlan& plan, const std::vector<queue::WrapperRef>& wrappers);

}  // namespace ui
