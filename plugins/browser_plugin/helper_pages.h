#pragma once
// The small local pages the plug-in sends the browser to: back to the page the user came
// from (two steps, or three after a repeated request, as the hand-off itself left a
// history entry), a message page with a link back (when the user turned the automatic
// return off), and the failure page. A page the plug-in's bundle ships under the same
// name is used instead.
//
// The pages are written into "Temporary Items" inside the user's own cache folder (mode
// 0700, so nobody else can plant a page there). A page already there is reused when its
// text is the expected one and rewritten otherwise; the plug-in never follows a link
// planted in its place.

#include <optional>
#include <string>

namespace browserplugin {

enum class HelperPage {
  kBack,             // ".__TRPluginHelper.html"
  kBackDuplicate,    // ".__TRPluginHelper3.html"
  kNoBack,           // ".__TRPluginHelperNB.html"
  kNoBackDuplicate,  // ".__TRPluginHelperNB3.html"
  kFailure,          // "tr_alert.html"
};

const char* HelperPageFileName(HelperPage page);
const char* HelperPageText(HelperPage page);

// The folder, made when missing; nothing when it cannot be had.
std::optional<std::string> TemporaryItemsFolder();

// The page's path in the Temporary Items folder, written when missing or different;
// nothing when the folder cannot be had. A page that cannot be written still has its
// path returned (the navigation goes there anyway).
std::optional<std::string> HelperPagePath(HelperPage page);

}  // namespace browserplugin
