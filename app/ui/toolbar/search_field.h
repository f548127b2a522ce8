#pragma once
// The toolbar's search field: typing filters the main list's rows; the recent searches
// (newest first, at most ten, for the run only) are offered in the field's menu.
//
// Filtering compares the field's text with the last text the list was filtered with (the
// main window's 'Last' property): a narrowed search removes the rows that no longer match;
// a changed search over My Downloads or a user, smart or date folder adds and removes just
// the rows that changed; any other change rebuilds the list. Every keystroke filters at
// once; the text is recorded among the recent searches when typing pauses (half a second),
// on Return, or when a recent search is chosen again.
//
// Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolbox/toolbar/search_field.h"
#include "platform/toolbox/toolbar/toolbar.h"

namespace ui {

inline constexpr std::size_t kMaximumRecentSearches = 10;
extern std::vector<std::string> gRecentSearches;

// The search item: its field, and the notification that sets the field's text.
toolbox::ToolbarItemRef CreateSearchToolbarItem(const std::string& identifier,
                                                const std::optional<std::string>& configuration);
// The search field of the toolbar, nullptr when none is in it.
toolbox::SearchField* GetMainSearchField();

// Moves `text` to the top of the recent searches (inserted when new; the eleventh goes).
void RecordRecentSearch(const std::string& text);
// Filters the main list by `text` (the algorithm above) and refreshes the status line.
void FilterMainListBySearch(const std::string& text);

// The field's events, as the widget and tests send them.
void SearchFieldTextChanged(toolbox::SearchField& field);
void SearchFieldTextAccepted(toolbox::SearchField& field);
void SearchFieldCancelled(toolbox::SearchField& field);
// The typing pause: the text is taken as accepted.
void SearchFieldTypingTimerFired(toolbox::SearchField& field);
// "Recent Searches" (disabled), one item per recent search, a separator, "Clear Recent Searches".
void PopulateSearchFieldMenu(toolbox::Menu& menu);
void SearchFieldMenuCommand(toolbox::SearchField& field, values::FourCharCode command);

inline constexpr values::FourCharCode kRecentSearchCommand = values::FourCC("Re@a");  // + index
inline constexpr values::FourCharCode kClearRecentSearchesCommand = values::FourCC("CLR%");

}  // namespace ui
