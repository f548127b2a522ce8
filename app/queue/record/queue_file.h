#pragma once
// The queue file "Truvane Queue.plist" in the application-support folder: an XML property
// list {"Elements": [download records], "Folders": [folder records]}.
//
// Nothing the user queued may be lost to a failed write or a damaged file:
// - a save takes a snapshot of the records on the main thread, writes it record by record
//   to "Truvane Queue.plist.new", flushes it to disk, reads it back to check that the file
//   holds exactly the bytes written, and only then renames it over the old file (the
//   rename is atomic, so the file on disk is always one whole queue);
// - the saves made while downloads start and run (SaveQueueFileSoon) write on a worker
//   thread, so their cost does not grow the main thread's with the queue: the text of
//   every download's last save is kept (record_text_store.h), downloads note themselves
//   when first written to after it (record_change_log.h), and the snapshot makes anew only
//   the texts of those noted, without looking at the others; saves asked for while one
//   runs make one more save once it ends, from the state at that time. A synchronous save
//   (quitting, SaveQueueFile) waits for the worker's first, and makes every text anew;
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
// A load reads the file piece by piece and makes each record as it comes, so that a large
// queue never has its whole text and all its records in memory at once.
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

// Saves now, on the calling (main) thread; a failure is reported and keeps the queue
// marked changed.
files::Status SaveQueueFile();
// Saves on the worker: the snapshot is taken now, the writing happens meanwhile; a
// failure is reported on the main thread when the worker is done.
void SaveQueueFileSoon();
// Waits for a save running on the worker and takes in its outcome.
void FinishQueueFileSaves();
// Makes the saved text of every download now, so that the first save while downloads run
// does not: at start-up, once the queue, the credentials' cipher and the history are in.
void PrepareQueueFileSaves();
files::Status LoadQueueFile();

// Set when an unreadable queue file could not be moved aside; saving is then refused.
bool QueueFileSaveBlocked();

}  // namespace queue
