#pragma once
// The 'SEX_' events a scan posts to the main queue, addressed to the request's target.
//
// Kind 2 (results): the found file URL strings ('----', an array; a URL may carry a user
// and password in its user part), the page or folder read ('URL*'), the connections of
// each download ('Conn'), the destination folder when there is one ('Pare'), and either
// the preserve-hierarchy switch ('Pres', pages) or the sizes ('Siz@', folders: URL
// string -> 64-bit size). Kind 1 (finished): the result ('Resu'). Both carry the window
// ('WIND') and the scan's id ('UUID').
//
// Results: the start page's HTTP status (401 or 407 when its request could not be sent
// for lack of credentials), 1 when a scan that succeeded found nothing, and
// kCrawlResultNoAnswer when the start page or folder never answered. An FTP scan whose
// start folder was refused reports the server's reply code.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/engine/crawl/crawl_request.h"

namespace engine {

inline constexpr std::int32_t kCrawlResultNothingFound = 1;
// The start page or folder sent no answer at all (no connection, no reply).
inline constexpr std::int32_t kCrawlResultNoAnswer = 2;

void CrawlPostResults(const CrawlRequest& request, const std::vector<std::string>& urls,
                      const std::string& pageURL, bool ftp,
                      const std::map<std::string, std::int64_t>* sizes = nullptr);
void CrawlPostFinished(const CrawlRequest& request, std::int32_t result);

}  // namespace engine
