#pragma once
// The queue file "Truvane Queue.plist" in the application-support folder: an XML property
// list {"Elements": [download records], "Folders": [folder records]}.
//
// Nothing the user queued may be lost to a failed write or a damaged file:
// - a save serialises the whole queue in memory, writes it to "Truvane Queue.plist.new",
//   flushes it to disk, reads it back and parses it to check it, and only then renames it
//   over the old file (the rename is atomic, so the file on disk is always one whole queue);
// - a value the file cannot hold (text that is not UTF-8, a character XML forbids) is left
//   out of its record's saved copy, once reported in the transfer log, so that one bad
//   record never keeps the rest of the queue from being saved;
// - a file that cannot be read or parsed is moved aside ("Truvane Queue.plist.unreadable",
//   ".unreadable.1", ...) before the queue starts empty, and when even that fails, saving
//   is refused for the rest of the run rather than overwrite it;
// - records that share a UID keep the first and give each later one a new UID.
//
// When the file is missing, the older "Truvane 3 Queue.plist" in the preferences folder is
// read and the queue marked changed, so the next save writes the current file.
//
// At load no download is running: those that were become Queued at the head of the queue,
// in file order; Scheduled ones without a time are put On Hold.

#include <string>

#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"

namespace queue {

inline constexpr const char kQueueFileName[] = "Truvane Queue.plist";
inline constexpr const char kOlderQueueFileName[] = "Truvane 3 Queue.plist";

// The queue file's path (the folder is made when missing).
files::Result<files::FileRef> QueueFileRef();

files::Status SaveQueueFile();
files::Status LoadQueueFile();

// Set when an unreadable queue file could not be moved aside; saving is then refused.
bool QueueFileSaveBlocked();

}  // namespace queue
