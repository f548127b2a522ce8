#pragma once
// The "add files from URL" form read into a scan request: the rules a person typed, made
// safe for the scan, or the alert that says why nothing can start. Pure: the window reads
// its controls into AddFilesForm and stores the recent entries that come back.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/engine/crawl/crawl_request.h"

namespace ui {

// The recent lists keep this many entries, newest first, each once.
inline constexpr std::size_t kAddFilesRecentLimit = 30;

inline constexpr const char kInvalidURLMessage[] = "Invalid URL. Please check the syntax";
inline constexpr const char kSchemeMessage[] = "URLs must start with http://, https://, ftp:// or ftps://";
inline constexpr const char kInvalidRegexMessage[] =
    "The regular expression \"%@\" is invalid. Please check man re_format or the Truvane help for details of "
    "the regular expressions used.";

struct AddFilesForm {
  std::string url;
  std::string referer;
  std::string extensions;
  bool useExtensionList = false;
  bool followImages = false;
  std::string connections;
  std::string levels;
  bool useScanLevels = false;
  bool followLinks = false;
  std::string user;
  std::string password;
  std::string minimumSize;
  std::int64_t unitBytes = 1;
  std::string regex;
  bool negateRegex = false;
  bool preserveHierarchy = false;
  std::optional<std::string> folder;
};

struct AddFilesStart {
  engine::CrawlRequestRef request;
  // To put at the front of the recent lists.
  std::string url;
  std::optional<std::string> extensions;
  std::optional<std::string> regex;
};

// The request (with a new crawl id; window and target left to the caller), or the text
// of the alert to show.
std::variant<AddFilesStart, std::string> MakeCrawlRequestFromForm(const AddFilesForm& form);

// `entry` at the front, an equal entry further down removed, at most kAddFilesRecentLimit.
std::vector<std::string> PutRecentEntry(std::vector<std::string> list, const std::string& entry);

}  // namespace ui
