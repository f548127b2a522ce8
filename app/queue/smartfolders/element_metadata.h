#pragma once
// The search metadata every finished download carries on its file: the program's own
// attributes (start and end date, size, first URL, name, a from-this-program mark) and the
// list of addresses it came from. Each is an extended attribute "user.<attribute name>"
// whose content is the value as a binary property list, so that saved searches and other
// tools can read them back with their types.
//
// Changes of a download's name, URLs, size or dates (not of its status alone) are noted in
// a pending table; a timer armed at start-up writes them every 1.5 s
// (FlushMetadataChanges). A download whose file is gone is skipped.
//
// Main thread only.

#include <cstdint>
#include <optional>
#include <string>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/files/file_ref.h"
#include "platform/values/value.h"

namespace queue {

inline constexpr const char kMetadataPrefix[] = "com_orbenix_truvane_";
inline constexpr const char kWhereFromsAttribute[] = "kMDItemWhereFroms";

// The attributes for a download, by name (Data model of the metadata).
values::Dictionary CopyElementMetadata(const DownloadQueueWrapper& wrapper);

// Notes a change for the metadata writer (a status change alone schedules nothing unless
// the download already has a pending change that needs a write).
void NoteMetadataChange(DownloadUID uid, std::uint32_t bits);
std::size_t PendingMetadataChanges();
void ClearMetadataChanges();

// Writes the attributes onto `file`, or onto the download's finished file when none is
// given; nothing when there is no file.
void WriteElementMetadata(const WrapperRef& wrapper,
                          const std::optional<files::FileRef>& file = std::nullopt);
void FlushMetadataChanges();
void WriteMetadataForAllElements();
// One attribute: "user.<name>" holding `value` as a binary property list.
bool WriteMetadataXattr(const std::string& name, const values::Value& value, const files::FileRef& file);
// Reads one back (nothing when absent or unreadable).
std::optional<values::Value> ReadMetadataXattr(const std::string& name, const files::FileRef& file);

}  // namespace queue
