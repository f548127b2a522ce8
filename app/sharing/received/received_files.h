#pragma once
// The files other copies sent to this one, finished or still arriving: one ReceivedFile per
// transfer, in a list keyed by the transfer's UUID text. The list is what the Received Files
// row shows, what the sharing server lists (RECV) and the file server serves, and it is
// saved in the uploads file ("received files").
//
// The list is changed on the main thread (the file server's 'S_se' events, commands,
// adoption) and copied from any thread, always under the list's own recursive lock.
// Removing is refused while a file is being received, and is undoable (the undo is
// registered through ReceivedFileHooks, installed at start-up).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/sharing/fileserver/transfer_cancel_source.h"
#include "app/sharing/services/sharing_rows.h"
#include "platform/runtime/event.h"
#include "platform/runtime/hook_slot.h"
#include "platform/values/value.h"

namespace sharing {

inline constexpr std::int32_t kReceivedFileIncomplete = 2;
inline constexpr char kReceivedFilesFolderName[] = "Received Files";

class ReceivedFile : public ReceivedFileRow {
 public:
  std::optional<std::string> name() const override;
  std::int64_t fileSize() const override;
  std::int64_t bytesTransferred() const override;
  float speed() const override;
  std::int32_t status() const override;
  double dateReceived() const override;
  std::string userAtHost() const override;
  std::string remoteHost() const override;
  bool hasAlias() const override;
  std::optional<std::string> UpdatePath() override;
  std::string uidString() const;

  struct Fields {
    std::optional<std::string> path;
    values::Bytes alias;
    std::string name, uidString, user, host;
    double dateReceived = 0;  // absolute time; NaN while incomplete
    std::int64_t fileSize = 0, dataForkSize = 0, bytesTransferred = 0;
    std::int32_t status = kReceivedFileIncomplete;
    float speed = 0;
    std::shared_ptr<TransferCancelSource> cancel;
  };
  explicit ReceivedFile(Fields f) : f_(std::move(f)) {}
  Fields Copy() const;

 private:
  friend struct ReceivedFileAccess;
  Fields f_;  // under the list's lock
};

using ReceivedFileRef = std::shared_ptr<ReceivedFile>;

struct ReceivedFileHooks {
  // A file left the list by the user's removal (not by undo).
  std::function<void(const ReceivedFileRef&)> registerUndoRemoved;
  // The list or a file's state changed: rows, status bar and the uploads file's autosave.
  std::function<void()> listChanged;
};
using ReceivedFileHooksSlot = runtime::HookSlot<ReceivedFileHooks>;

// The list.
ReceivedFileRef ReceivedFileAddPartial(const std::string& partialPath, const std::string& name,
                                       const std::string& user, const std::string& host,
                                       const std::string& uid, std::int64_t dataForkSize,
                                       std::int64_t wholeSize, std::shared_ptr<TransferCancelSource> cancel);
ReceivedFileRef ReceivedFileAddComplete(const std::string& path, const std::string& user,
                                        const std::string& host, const std::string& uid);
ReceivedFileRef ReceivedFileFindByUUID(const std::string& uid);
std::vector<ReceivedFileRef> ReceivedFilesCopyArray();
std::size_t ReceivedFilesCount();
void ReceivedFileSetCancelSource(const ReceivedFileRef& file, std::shared_ptr<TransferCancelSource> cancel);
void ReceivedFileCancel(const ReceivedFileRef& file);
void ReceivedFilesCancelAll();
void ReceivedFileSetBytesTransferred(const ReceivedFileRef& file, std::int64_t bytes);
void ReceivedFileSetSpeed(const ReceivedFileRef& file, float speed);
// Back into the list (undo of a removal).
void ReceivedFileAddToList(const ReceivedFileRef& file);
// False (and nothing done) while the file is being received.
bool ReceivedFileRemove(const ReceivedFileRef& file, bool undoable = true);
void ReceivedFilesRemoveAll(bool moveToTrash);
void ClearReceivedFilesForTests();

// The uploads file's "received files": an array of dictionaries with the keys "alias",
// "path", "name", "uidString", "user", "host", "dateReceived", "fileSize", "dataForkSize",
// "bytesTransferred", "status", "speed". Reading trusts nothing: entries without a uid or
// of the wrong shape are skipped, and one being received comes back as incomplete.
values::Value ArchiveReceivedFiles();
void UnarchiveReceivedFiles(const values::Value& files);

// The received-files folder: the incoming-folder alias when it resolves; with create, else
// "Received Files" in the default download folder (made when missing), its alias then stored.
std::optional<std::filesystem::path> GetReceivedFilesFolder(bool create);

// Adds every visible file in the received-files folder (packages and hidden folders left
// out) that no entry points to, as sent by "Guest" from "localhost".
void AdoptUnlistedReceivedFiles();

// The main thread's side of the file server's 'S_se' kinds 5, 6 and 7.
void HandleFileServerEvent(const runtime::Event& event);

}  // namespace sharing
