#pragma once
// Uploads to the online disk (host type 5) and to WebDAV servers (6 over http, 7 over
// https).
//
// A file goes up in two requests: PROPFIND (Depth 0) asks whether it is there already
// and how much of it; then PUT sends it, from the start or, after the person chose to
// resume, from the server's size on with a Content-Range. The PUT is written by hand on
// a socket (TLS for https) so that its body goes through the upload throttle. A folder
// goes up depth-first: MKCOL for the folder and each folder inside it (an existing one,
// 405, is fine), PROPFIND and PUT for each file. Symbolic links are passed over.
//
// The small requests run on the worker's loop through the HTTP read stream; every reply
// is logged. A connection dropped while the body goes out is taken up again after 10 s
// and resumes where the server's copy ends, without asking again.
//
// Worker thread of one upload.

#include <cstdint>
#include <string>

#include "app/upload/engine/upload_record.h"

namespace upload {

struct DAVConnection;
struct DAVUploadState;

// Step values of this family.
inline constexpr std::int32_t kDAVStepPropFind = 1;
inline constexpr std::int32_t kDAVStepPut = 2;
inline constexpr std::int32_t kDAVStepMakeCollection = 16;

inline constexpr const char* kDAVPropFindBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<D:propfind "
    "xmlns:D=\"DAV:\">\n<D:prop>\n<D:getlastmodified/>\n"
    "<D:getcontentlength/>\n<D:resourcetype/>\n</D:prop>\n</D:propfind>\n";

int DAVUploadStep(UploadRecord& r);
void DAVApplyConflictAnswer(UploadRecord& r, std::int32_t answer);
// The progress timer's nudge: the PUT's body sender goes on when the socket takes bytes.
void UploadSendDAVData(UploadRecord& r);
void CloseDAVConnection(DAVConnection& c);

// The URL of `name` inside the folder `path` of the destination: line breaks dropped from
// the name, name and path escaped as UTF-8 with "/" kept, one "/" between them. For the
// online disk `host` is its base URL with its scheme; otherwise a host name (with a port).
std::string UploadBuildDestinationURL(const std::string& host, const std::string& path,
                                      const std::string& name, std::int32_t hostType);

}  // namespace upload
