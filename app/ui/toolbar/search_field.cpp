#include "app/ui/toolbar/search_field.h"

#include <algorithm>
#include <chrono>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/operations/queue_queries.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/status_line.h"
#include "app/ui/toolbar/main_toolbar.h"
#include "app/ui/views/resource_images.h"
#include "platform/runtime/notification_center.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/localize.h"

namespace ui {

std::vector<std::string> gRecentSearches;

namespace {

constexpr auto kTypingPause = std::chrono::milliseconds(500);

// The search item's own state, alive as long as the item.
struct SearchItemState {
  std::shared_ptr<toolbox::SearchField> field;
  std::shared_ptr<runtime::Timer> typingTimer;
  runtime::Subscription changeString;
  ~SearchItemState() {
    if (typingTimer) typingTimer->Invalidate();
  }
};

std::weak_ptr<toolbox::SearchField>& CurrentField() {
  static std::weak_ptr<toolbox::SearchField> field;
  return field;
}

std::string LastSearch() {
  toolbox::Window* w = GetMainWindow();
  const values::Value* last = w ? w->Property(kAppCreator, values::FourCC("Last")) : nullptr;
  return last && last->AsString() ? *last->AsString() : std::string();
}

void SetLastSearch(const std::string& text) {
  if (toolbox::Window* w = GetMainWindow())
    w->SetProperty(kAppCreator, values::FourCC("Last"), values::Value(text));
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The one view shown lets rows be added and removed one by one: My Downloads, user, smart
// and date folders hold downloads only.
bool ViewFiltersInPlace(queue::ViewID id) {
  return id == queue::kMyDownloadsViewID || queue::IsUserFolderID(id) || queue::IsSmartFolderID(id) ||
         queue::IsDateFolderID(id);
}

void ResetDescriptiveText(toolbox::SearchField& field) {
  field.SetDescriptiveText("");
  field.SetDescriptiveText(values::Localized("Search"));
}

// What 'Trem' 1 does: records a non-empty text, then filters.
void RememberAndFilter(toolbox::SearchField& field) {
  if (!field.Text().empty()) RecordRecentSearch(field.Text());
  FilterMainListBySearch(field.Text());
}

}  // namespace

void RecordRecentSearch(const std::string& text) {
  auto it = std::find(gRecentSearches.begin(), gRecentSearches.end(), text);
  if (it != gRecentSearches.end()) gRecentSearches.erase(it);
  gRecentSearches.insert(gRecentSearches.begin(), text);
  if (gRecentSearches.size() > kMaximumRecentSearches) gRecentSearches.resize(kMaximumRecentSearches);
}

void FilterMainListBySearch(const std::string& text) {
  MainList* list = GetMainList();
  // The list's own text is what its rows were filtered with: a change of view empties it
  // (and shows every row) behind the field's back.
  const std::string old = list ? list->SearchText() : LastSearch();
  if (text == old) return;
  SetLastSearch(text);
  if (list) list->SetSearchText(text);
  const auto& views = queue::GetDisplayedViewSet();
  if (old.empty() || StartsWith(text, old)) {
    // Narrowed: only rows can go.
    queue::RemoveRowsNotMatchingSearch(text);
  } else if (views.size() == 1) {
    if (!ViewFiltersInPlace(*views.begin())) {
      queue::RefillMainList();
    } else {
      std::vector<MainListItem> add, remove;
      for (const MainListItem& item : queue::CopyDisplayedViewItems()) {
        if (item.kind != RowKind::kDownload) continue;
        const auto& e = item.as<queue::DownloadQueueWrapper>().element();
        const bool now = queue::ElementMatchesFilterAndSearch(e, text);
        const bool before = queue::ElementMatchesFilterAndSearch(e, old);
        if (now && !before) add.push_back(item);
        if (before && !now) remove.push_back(item);
      }
      auto& browser = MainListBrowserSlot::Get();
      if (!add.empty()) browser.AddRows(add, nullptr);
      if (!remove.empty()) browser.RemoveRows(remove);
    }
  } else {
    queue::RefillMainList();
  }
  RefreshStatusBar();
}

toolbox::ToolbarItemRef CreateSearchToolbarItem(const std::string& identifier,
                                                const std::optional<std::string>& configuration) {
  auto state = std::make_shared<SearchItemState>();
  state->field = std::make_shared<toolbox::SearchField>();
  toolbox::SearchField& field = *state->field;
  field.SetDescriptiveText(values::Localized("Search"));
  // A new field starts from an unfiltered list.
  SetLastSearch("");
  std::weak_ptr<SearchItemState> weak = state;
  field.SetTextChangedHandler([weak](toolbox::SearchField& f) {
    auto s = weak.lock();
    if (!s) return;
    if (!s->typingTimer || !s->typingTimer->IsValid()) {
      s->typingTimer = runtime::Timer::Create(kTypingPause, runtime::Nanoseconds(0), [weak](runtime::Timer&) {
        if (auto live = weak.lock()) SearchFieldTypingTimerFired(*live->field);
      });
      runtime::RunLoop::Main()->AddTimer(s->typingTimer);
    } else {
      s->typingTimer->SetNextFireIn(kTypingPause);
    }
    SearchFieldTextChanged(f);
  });
  field.SetTextAcceptedHandler(SearchFieldTextAccepted);
  field.SetCancelHandler(SearchFieldCancelled);
  field.SetMenuPopulateHandler(PopulateSearchFieldMenu);
  field.SetMenuCommandHandler([weak](values::FourCharCode command) {
    if (auto s = weak.lock()) SearchFieldMenuCommand(*s->field, command);
  });
  state->changeString = runtime::NotificationCenter::Default().AddObserver(
      "changeSearchString", {}, [weak](const runtime::Notification& n) {
        auto s = weak.lock();
        const values::Value* text = n.user_info.Find("newString");
        if (s && text && text->AsString()) s->field->SetText(*text->AsString());
      });

  auto item = std::make_shared<toolbox::ToolbarItem>(identifier);
  item->SetSearchField(state->field);
  item->SetHelpText(values::Localized("Search"));
  item->SetLabelDisabled(true);
  item->SetConfiguration(configuration.value_or(std::string()));
  // The item keeps its state (timer, observer) for as long as it lives.
  item->SetOwnerData(state);
  CurrentField() = state->field;
  return item;
}

toolbox::SearchField* GetMainSearchField() {
  return CurrentField().lock().get();
}

void SearchFieldTextChanged(toolbox::SearchField& field) {
  FilterMainListBySearch(field.Text());
}

void SearchFieldTextAccepted(toolbox::SearchField& field) {
  if (!field.Text().empty()) RecordRecentSearch(field.Text());
}

void SearchFieldCancelled(toolbox::SearchField& field) {
  field.SetText("");
  FilterMainListBySearch("");
  ResetDescriptiveText(field);
}

void SearchFieldTypingTimerFired(toolbox::SearchField& field) {
  SearchFieldTextAccepted(field);
}

void PopulateSearchFieldMenu(toolbox::Menu& menu) {
  menu.DeleteAllItems();
  toolbox::MenuItem title;
  title.text = values::Localized("Recent Searches");
  title.enabled = false;
  menu.AppendItem(title);
  for (std::size_t i = 0; i < gRecentSearches.size() && i < kMaximumRecentSearches; ++i)
    menu.AppendItem(gRecentSearches[i], kRecentSearchCommand + static_cast<values::FourCharCode>(i));
  menu.AppendSeparator();
  menu.AppendItem(values::Localized("Clear Recent Searches"), kClearRecentSearchesCommand);
}

void SearchFieldMenuCommand(toolbox::SearchField& field, values::FourCharCode command) {
  if (command == kClearRecentSearchesCommand) {
    gRecentSearches.clear();
    return;
  }
  if (command < kRecentSearchCommand || command >= kRecentSearchCommand + kMaximumRecentSearches) return;
  const std::size_t index = command - kRecentSearchCommand;
  if (index >= gRecentSearches.size()) return;
  field.SetText(gRecentSearches[index]);
  RememberAndFilter(field);
  ResetDescriptiveText(field);
}

}  // namespace ui
