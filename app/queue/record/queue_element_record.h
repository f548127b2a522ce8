#pragma once
// A download's record in the queue file's "Elements" array, and back.
//
// Reading corrects what a damaged or older file may hold: a priority other than 0, 1 or 2
// becomes 0, connections are kept within 1 to 32 (missing: the default setting), a record
// without a name, or whose name fails the check of names from servers (a path, "..", a
// control character: engine::StoredFileName) and cannot be cleaned, is called "temp1", one without a UID gets
// a new one, a missing status is On Hold. Credentials are stored plain, or enciphered under "EauthUser" and
// "EauthPassword" when the user asked for that; once the cipher fails during a load, no
// further record of that load reads credentials, and the load tells the user once.
//
// When the user asked for enciphered credentials and the cipher cannot encipher them (none
// installed, or its key cannot be had), they are not written at all, nor a password
// inside a download URL: the records in memory keep them, so the downloads of this run
// still log in, and the transfer log says once per run that they were not saved.

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/values/value.h"

namespace queue {

// `withheld`, when given, is set when credentials were left out for want of a cipher.
values::Value DownloadQueueElementCopyDictionary(const DownloadQueueElement& element,
                                                 bool* withheld = nullptr);

// State shared by the records of one load.
struct RecordLoadState {
  bool cipherFailed = false;
};

WrapperRef DownloadQueueElementCreateFromDictionary(const values::Value& record, RecordLoadState& state);
// The same, taking the record's strings, data and URL entries rather than copy them.
WrapperRef DownloadQueueElementCreateFromDictionary(values::Value&& record, RecordLoadState& state);

// What the transfer log says when credentials were kept out of the queue file.
inline constexpr const char kCredentialsNotSavedMessage[] =
    "Download passwords were not saved with the queue: no cipher for stored passwords is available. "
    "They are kept until Truvane quits.";
// Set once the transfer log has said so (tests clear it to see it said again).
extern bool gCredentialsNotSavedLogged;

}  // namespace queue
