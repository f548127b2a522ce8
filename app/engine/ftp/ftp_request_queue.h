#pragma once
// The request queue of an FTP connection in queue mode.
//
// Requests run one after another on one logged-in connection; each queue operation
// appends a request and starts it at once when the connection is idle. The running
// request is the head of the queue; it ends by `FTPConnectionFinishRequest` (called by the
// client, or by the command client after the last reply of a request), which drops it and
// starts the next. The client follows each request through the callback: kRequestStarting,
// then kTransferAnswered/kFailed for the one-command requests, kDataOpened and the
// transfer messages for listings, kBeginFile/kSizeHandled for each file of an upload.
//
// Every operation strips one leading "/" from its paths: they are relative to the base
// path of the login ("/"), unless they begin with "%2F".

#include <memory>
#include <optional>
#include <string>

#include "app/engine/ftp/ftp_connection.h"

namespace engine {

void FTPConnectionQueueListFolder(FTPConnectionParam& connection, std::string path,
                                  std::shared_ptr<void> client = nullptr);
void FTPConnectionQueueUpload(FTPConnectionParam& connection, std::string remote_path,
                              std::optional<std::string> new_folder_name,
                              std::shared_ptr<void> client = nullptr);
void FTPConnectionQueueCreateFolder(FTPConnectionParam& connection, std::string parent_path, std::string name,
                                    std::shared_ptr<void> parent = nullptr);
// A path that begins with "/" is kept as it is, and so are both when `change_to` is given;
// others get the base path in front, or, before the login found it, when the request starts.
void FTPConnectionQueueMove(FTPConnectionParam& connection, std::string old_path, std::string new_path,
                            std::optional<std::string> change_to, std::shared_ptr<void> client = nullptr,
                            std::shared_ptr<void> old_parent = nullptr,
                            std::shared_ptr<void> new_parent = nullptr);
void FTPConnectionQueueRename(FTPConnectionParam& connection, std::optional<std::string> change_to,
                              std::string old_path, std::string new_path,
                              std::shared_ptr<void> client = nullptr, std::shared_ptr<void> parent = nullptr);
void FTPConnectionQueueChangePermissions(FTPConnectionParam& connection, std::string path, int mode,
                                         std::shared_ptr<void> client = nullptr);
void FTPConnectionQueueDeleteFile(FTPConnectionParam& connection, std::string path,
                                  std::shared_ptr<void> parent = nullptr,
                                  std::shared_ptr<void> item = nullptr);
void FTPConnectionQueueRemoveFolder(FTPConnectionParam& connection, std::string path, bool is_link,
                                    std::shared_ptr<void> parent = nullptr,
                                    std::shared_ptr<void> item = nullptr);

// The running request is done: closes the data connection, drops the head of the queue
// and starts the next request. A second call for the same request does nothing.
void FTPConnectionFinishRequest(FTPConnectionParam& connection);
// Starts the head request when the connection is idle.
void FTPConnectionStartNextRequest(FTPConnectionParam& connection);

}  // namespace engine
