#pragma once
// FTP and FTPS uploads (host types 1 and 4) on the program's FTP command client.
//
// The engine does not speak FTP: it registers itself as the client of one connection
// (a single-file store, or the request queue of a folder upload) and reacts to the
// client's messages. Its own work: the URL, the credentials, the file data through the
// bandwidth limiter into the data connection (TLS on the data channel for FTPS, resuming
// the control connection's session as servers require), resuming with APPE after the
// size the server reports, the file-exists question, the folder walk, and turning replies
// into end codes (530 credentials, 550 folder or permission, 553 permission denied,
// anything else the server's text in the log and "failed").
//
// Names with a CR or LF are refused by the client before anything is sent.

#include <cstdint>

#include "app/upload/engine/upload_record.h"

namespace upload {

int FTPUploadStep(UploadRecord& r);
void FTPApplyConflictAnswer(UploadRecord& r, std::int32_t answer);
void UploadSendFTPData(UploadRecord& r);

// The URL text of a single file or a folder upload (exposed for tests).
std::string FTPUploadURLText(const std::string& host, std::int32_t hostType, const std::string& uploadPath,
                             const std::string* fileName);

}  // namespace upload
