#pragma once
// The files of a download on disk: the finished file, and the partial package that holds
// an unfinished one.
//
// A partial package is a folder "<name>.partial" (or "<name>.N.partial" when that is taken)
// beside the downloads, holding the data file, the ranges file "downloadInfo" (one received
// range per line, "%lld,%lld\n") and "properties.plist", which lets a package be
// reopened into the queue. Records find their files through aliases, so a file the user
// moved is found again.

#include <optional>
#include <string>
#include <vector>

#include "app/queue/record/download_queue_element.h"
#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"
#include "platform/values/url.h"

namespace queue {

inline constexpr const char kRangesFileName[] = "downloadInfo";
inline constexpr const char kPartialPropertiesFileName[] = "properties.plist";
inline constexpr const char kPartialExtension[] = ".partial";

// The item an alias field names, resolved without asking the user; the stored bytes are
// refreshed when the item was found elsewhere. Nothing when there is no alias or it does
// not resolve.
std::optional<files::FileRef> ResolveAliasField(std::optional<values::Bytes>& alias);
// Alias bytes for an item; nothing when the item cannot be had.
std::optional<values::Bytes> MakeAliasBytes(const files::FileRef& item);

// The finished file's URL, re-checked: when it no longer names an item, the alias of the
// finished file finds it again or, failing that, both are forgotten.
const BoxedOptional<values::Url>& DownloadQueueElementGetCompleteURL(DownloadQueueElement& element);

// The partial package holding the data file: its folder, when the name ends with
// ".partial" and it holds "downloadInfo".
std::optional<files::FileRef> CopyPartialPackageURL(DownloadQueueElement& element);

// Appends the finished file and the partial package of every download of the queue (for
// moving them to the Trash).
void AppendDownloadFileURLs(std::vector<std::string>& paths);

// Writes "properties.plist" beside the data file: "filename", "dataFileName", "uid",
// "URL data" (entries without "fatalError").
files::Status WritePartialProperties(DownloadQueueElement& element);

// A new, empty package folder for `fileName` in `folder`: "<name>.partial", else
// "<name>.1.partial", "<name>.2.partial"... The name is cut, on a character boundary, so
// that the whole folder name fits the file system. A name that is not one path component
// ("", ".", "..", or holding "/") is refused (bdNamErr).
files::Result<files::FileRef> MakePartialPackage(const files::FileRef& folder, const std::string& fileName);

// `name` cut on a UTF-8 character boundary to at most `maxBytes` bytes.
std::string TruncateUTF8(const std::string& name, std::size_t maxBytes);

}  // namespace queue
