#pragma once
// The bandwidth button's menu under the main list: no limit or the limit in force, for
// downloads and (in the advanced interface) for uploads, the chosen one checked and the
// limit item showing the rate ("Limit to 64.0 KB/s").
//
// Choosing an item switches the direction's limit on or off: the setting, the stored
// dictionary and, when the limit goes on, the limiter's rate, so the limit shown is the
// limit in force.
//
// Main thread only.

#include <vector>

#include "platform/runtime/event_target.h"
#include "platform/toolbox/menus/menu.h"

namespace ui {

inline constexpr std::int16_t kBandwidthMenuID = 141;
inline constexpr std::int16_t kAdvancedBandwidthMenuID = 142;

// "bandwidthMenu" (downloads only) or "advancedBandwidthMenu".
toolbox::MenuRef MakeBandwidthMenu(bool advanced);
// Gives the bandwidth button the menu of the interface mode in force.
void AttachBandwidthMenu();
// Checks and retitles the items of a bandwidth menu from the limits in force.
void UpdateBandwidthMenu(toolbox::Menu& menu);
// 'BWOf', 'BWOn', 'UBWf', 'UBWO'; false for any other command.
bool ApplyBandwidthMenuCommand(values::FourCharCode command);

// The menu on the button and the handlers that answer for its items.
std::vector<runtime::HandlerRef> InstallBandwidthMenu();

}  // namespace ui
