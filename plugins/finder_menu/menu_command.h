#pragma once
// What the menu plug-in decides, apart from the interface plumbing: whether a selection
// gets the upload command and under which title, and the upload event it sends.
//
// A selection is eligible when one of its items is a plain file or a folder (Linux has
// no packages: the application walks every folder it is sent). One item is named in the
// title by its file name; more are counted, all of them, eligible or not.

#include <optional>
#include <string>

#include "platform/appleevents/apple_event.h"
#include "plugins/finder_menu/cm_interface.h"

namespace findermenu {

inline constexpr char kShowUploadMenuKey[] = "contextshowuploadmenu";
inline constexpr char kAdvancedModeKey[] = "advanced_mode";

// The English texts of the two title keys.
std::string UploadTitleForName(const std::string& name);
std::string UploadTitleForCount(std::size_t count);

// The command's title for the selection, or nothing when it gets no command.
std::optional<std::string> UploadCommandTitle(const AEDesc& context);

// {'pnam': the title, 'cmcd': the id} appended to the command list.
OSStatus Command_AddToAEDescList(const std::string& title, std::int32_t commandID, AEDescList& commands);

// 'TrES'/'STRa' with the selection as it came, as '----'.
appleevents::AppleEvent CreateUploadAppleEvent(const AEDesc& selection);

}  // namespace findermenu
