#pragma once
// The FTP folder crawler: lists an FTP folder and its subfolders, level by level, one
// listing at a time, and reports the files of each folder with their sizes.
//
// Folders whose names begin with "." are never listed, and a folder is listed once
// however many ways lead to it. With an extension list, a file is taken when its
// extension is in the list (compared without regard to case) and its name passes the
// filter, and, when the listing gives its size, when that size is above the minimum.
// Without a list every file is taken, with its size when above 0.
//
// A start folder that cannot be listed is the scan's failure: its FTP reply code (530,
// 550...) or kCrawlResultNoAnswer; otherwise the scan reports 0.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/engine/ftp/ftp_resource_listing.h"
#include "app/util/text/regex_utilities.h"
#include "platform/values/url.h"

namespace engine {

struct CrawlFTPRules {
  std::optional<std::vector<std::string>> extensionList;
  const util::CompiledRegex* regex = nullptr;
  bool negateRegex = false;
  std::int64_t minimumSize = 0;
  std::optional<std::string> user;
  std::optional<std::string> password;
};

struct CrawlFTPTables {
  std::set<std::string> frontier;
  std::set<std::string> nextLevel;
  std::set<std::string> visited;
  std::set<std::string> resultsTaken;
};

// What one folder's listing found.
struct CrawlFTPFolderResult {
  std::vector<std::string> found;             // file URL strings, in listing order
  std::map<std::string, std::int64_t> sizes;  // of those whose size is known and above 0
};

// One entry of the listing of `folder`: a subfolder joins the next level, a file may join
// the result.
void CrawlFTPEntry(const FTPResource& entry, const values::Url& folder, const CrawlFTPRules& rules,
                   CrawlFTPTables& tables, CrawlFTPFolderResult& result);

}  // namespace engine
