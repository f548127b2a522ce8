#pragma once
// The English texts of the symbolic message keys.
//
// A text shown to the user is looked up by key (values::Localized). Most keys are the
// English text itself and need no entry; a symbolic key ("kDownloadStartPerms") has no
// text of its own and would be shown raw. Every symbolic key the program uses has its
// English text here, and start-up registers them before anything is shown or logged.

#include <span>
#include <string_view>
#include <utility>

namespace util {

// Key and English text of every symbolic key.
std::span<const std::pair<std::string_view, std::string_view>> EnglishTextsOfSymbolicKeys();

// Adds them to the table values::Localized reads.
void RegisterEnglishTexts();

}  // namespace util
