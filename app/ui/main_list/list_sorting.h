#pragma once
// The main list's order: whether one row sorts before another in increasing order for a
// sort column, for every pair of row kinds. Equal values answer false; so do pairs and
// columns without a rule. The answer is not a strict weak order (an unknown-size running
// download equals every running download; a download precedes an FTP folder that precedes
// a WebDAV item, yet the download and the WebDAV item are equal), which the list's stable
// sort copes with.

#include <cstdint>

#include "app/ui/services/main_list_browser.h"

namespace ui {

bool ListItemCompareCallback(const MainListItem& first, const MainListItem& second, std::uint32_t property);

}  // namespace ui
