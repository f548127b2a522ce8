#pragma once
// The keys of a URL entry beyond its URL and referer (url_list.h), and the states an
// entry is in for the download task.
//
// An entry is a dictionary value; "url" holds the URL's text. What the program learns
// about a mirror while downloading is kept in the entry itself, so it travels with the
// download into the queue file and the partial package. Keys that only hold run-time
// state are cleared by the task when it starts or ends, and by the queue when it starts a
// download (see `kRunTimeOnlyEntryKeys`, `kFreshStartEntryKeys`).

#include <array>
#include <string_view>

#include "platform/values/value.h"

namespace engine {

inline constexpr const char* kEntryCookie = "cookie";                            // dictionary name -> value
inline constexpr const char* kEntryFormData = "formdata";                        // data: body of a POST
inline constexpr const char* kEntryJavaScriptPriority = "java script priority";  // entry cookies win
inline constexpr const char* kEntryNoRestarts =
    "norestarts";  // cannot resume or split: one connection from 0
inline constexpr const char* kEntryFatalError = "fatalError";    // failed for good in this run
inline constexpr const char* kEntryUnreachable = "Unreachable";  // host currently unreachable
inline constexpr const char* kEntryValidated = "validated";      // answered once in this run
inline constexpr const char* kEntryUseIfRange = "useIfRange";    // send If-Range with ranges
inline constexpr const char* kEntryNoDate = "NoDate";            // a range header could not be read once
inline constexpr const char* kEntryDateString = "dateString";    // the server's Last-Modified text
inline constexpr const char* kEntryETag = "ETag";
inline constexpr const char* kEntryNetworkReachability = "NetworkReachability";
inline constexpr const char* kEntryHTTPAuthentication = "CFHTTPAuthentication";
inline constexpr const char* kEntryHTTPProxyAuthentication = "CFHTTPProxyAuthentication";

// Removed from every entry when a download task ends: objects of one run.
inline constexpr std::array<std::string_view, 4> kTaskEndEntryKeys = {
    kEntryHTTPAuthentication, kEntryHTTPProxyAuthentication, kEntryUnreachable, kEntryNetworkReachability};
// Removed, beside "norestarts", when the queue starts a download afresh (not a resume).
inline constexpr std::array<std::string_view, 4> kFreshStartEntryKeys = {kEntryFatalError, kEntryDateString,
                                                                         kEntryValidated, kEntryUseIfRange};

// A flag key holds true (a Boolean true, or a non-zero number as older files wrote).
bool EntryFlag(const values::Value& entry, std::string_view key);

// Neither "norestarts", "fatalError" nor "Unreachable": the mirror may be resumed and split.
bool EntryIsRestartable(const values::Value& entry);
// Neither "fatalError" nor "Unreachable": the mirror may still be tried.
bool EntryIsUsable(const values::Value& entry);

}  // namespace engine
