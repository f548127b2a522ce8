#pragma once
// The add-downloads event ('TrES'/'AUrl') as the browser plug-in builds it: the URLs as
// a list of TEXT, the cookie header of URL n as item n of 'Co_k' (only when there is at
// least one), the referer as 'Refe' (only when there is one). Sent to a running program
// the parameters go '----', 'Co_k', 'Refe'; with a launch '----', 'Refe', 'Co_k'.

#include <optional>
#include <string>
#include <vector>

#include "platform/appleevents/apple_event.h"

namespace browserplugin {

inline constexpr values::FourCharCode kSuiteClass = values::FourCC("TrES");
inline constexpr values::FourCharCode kAddURLEventID = values::FourCC("AUrl");

struct AddURLInputs {
  std::vector<std::string> urlItems;     // each item's bytes as sent
  std::optional<std::string> referer;    // nothing: the null descriptor, no 'Refe'
  std::vector<std::string> cookieItems;  // empty: no 'Co_k'
};

appleevents::AppleEvent BuildAddURLEvent(const AddURLInputs& inputs, bool forLaunch);

// The referer a page without one gets: the URL cut after its last "/" with "index.html"
// added, when a character follows that "/"; nothing when the URL has no "/" or ends in one.
std::optional<std::string> DerivedReferer(const std::string& url);

}  // namespace browserplugin
