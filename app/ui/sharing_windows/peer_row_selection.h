#pragma once
// Selecting a peer's row in the source list (which displays its view). Apart from the
// connect window because the source list's and the alert services' headers clash.

#include <cstdint>

namespace ui {

// False when there is no source list or no such row.
bool SelectSourceListRow(std::uint32_t identifier);

}  // namespace ui
