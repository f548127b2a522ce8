#include "app/ui/download_windows/download_form_rules.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "app/engine/urls/mirror_lists.h"
#include "app/engine/urls/url_list.h"
#include "app/queue/adding/scheduled_items.h"
#include "app/queue/adding/url_patterns.h"
#include "app/queue/events/post_download_actions.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/view_ids.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/ui/services/download_event_views.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/files/file_names.h"
#include "app/util/text/url_utilities.h"
#include "platform/values/char_set.h"
#include "platform/values/format.h"
#include "platform/values/string_edit.h"
#include "platform/values/url.h"
#include "platform/values/utf16.h"

namespace ui {
namespace {

// Completion types of the fixed items, in the pop-up's order.
constexpr std::int32_t kFixedItemTypes[kWhenDoneFixedItems] = {
    queue::kCompletionNone,     queue::kCompletionStartQueue, queue::kCompletionStopQueue,
    queue::kCompletionShutDown, queue::kCompletionSleep,      queue::kCompletionLogOut,
    queue::kCompletionQuit};

// Characters of a typed URL that escaping would spoil: the batch patterns.
constexpr std::string_view kPatternCharacters = "{}[]";

// A typed line as the queue takes it: blanks and control characters anywhere in it are
// slips of typing or pasting (a URL wrapped over two lines of an e-mail), never part of
// the address.
std::optional<std::string> CleanURLLine(std::string_view line) {
  std::string text = values::DeleteCharacters(line, values::CharacterSet::WhitespaceAndNewlines());
  text = values::DeleteCharacters(text, values::CharacterSet::Controls());
  if (values::Utf16Length(text) <= 7) return std::nullopt;
  return util::CreatePercentEscapedString(text, kPatternCharacters, "");
}

std::vector<std::string> SplitFormLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string current;
  auto flush = [&] {
    if (!current.empty()) lines.push_back(std::move(current));
    current.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      flush();
    } else if (text.compare(i, 3, "\xE2\x80\xA8") == 0 || text.compare(i, 3, "\xE2\x80\xA9") == 0) {
      flush();
      i += 2;
    } else {
      current.push_back(c);
    }
  }
  flush();
  return lines;
}

// The URL of an expanded or typed line, its brackets escaped; nothing without a host.
std::optional<values::Url> URLWithHost(std::string text) {
  util::EscapeURLBrackets(text);
  auto url = values::Url::Create(text);
  if (!url || !url->Host() || url->Host()->empty()) return std::nullopt;
  return url;
}

values::Value MakeEntry(const values::Url& url, const std::optional<std::string>& relativePath,
                        const std::optional<std::string>& referer) {
  values::Value entry = engine::MakeURLEntry(url, referer);
  if (relativePath) entry.Put("relativePath", *relativePath);
  return entry;
}

// Whether a typed list stands for the same mirrors as the download's. A referer field left
// empty gives every typed entry an empty referer while the download's entries may have
// none: that is no change, or editing only the connections of a download would rename its
// file and forget the name its server chose.
bool SameMirrors(const values::Array& typed, const values::Array& old) {
  if (typed.size() != old.size()) return false;
  auto text = [](const values::Value& entry, const char* key) {
    const values::Value* v = entry.Find(key);
    return v && v->IsString() ? *v->AsString() : std::string();
  };
  for (std::size_t i = 0; i < typed.size(); ++i) {
    if (!typed[i].Find(engine::kEntryURL) || !old[i].Find(engine::kEntryURL)) return false;
    if (text(typed[i], engine::kEntryURL) != text(old[i], engine::kEntryURL)) return false;
    if (text(typed[i], engine::kEntryReferer) != text(old[i], engine::kEntryReferer)) return false;
  }
  return true;
}

bool ScheduleTooSoon(bool schedule, double scheduleTime, double now) {
  return schedule && now + kScheduleLeadSeconds >= scheduleTime;
}

}  // namespace

WhenDoneChoice CompletionForWhenDoneItem(int item, const std::vector<std::string>& scripts) {
  if (item >= 1 && item <= kWhenDoneFixedItems) return {kFixedItemTypes[item - 1], std::nullopt};
  const std::size_t script =
      item > kWhenDoneFixedItems ? static_cast<std::size_t>(item - kWhenDoneFixedItems - 1) : scripts.size();
  if (script < scripts.size()) return {queue::kCompletionRunScript, scripts[script]};
  return {};
}

int WhenDoneItemForCompletion(std::int32_t completionType, const std::optional<std::string>& argument,
                              const std::vector<std::string>& scripts) {
  if (completionType == queue::kCompletionRunScript) {
    if (!argument) return 1;
    auto at = std::find(scripts.begin(), scripts.end(), *argument);
    return at == scripts.end() ? 1 : kWhenDoneFixedItems + 1 + static_cast<int>(at - scripts.begin());
  }
  for (int i = 0; i < kWhenDoneFixedItems; ++i) {
    if (kFixedItemTypes[i] == completionType) return i + 1;
  }
  return 1;
}

std::optional<std::string> RefererFromField(const std::string& text) {
  auto escaped = util::CreatePercentEscapedString(text, "", "");
  if (!escaped || values::Utf16Length(*escaped) < 8 || escaped->find('.') == std::string::npos) {
    return std::nullopt;
  }
  return escaped;
}

std::int32_t ReadNumberField(const std::string& text, std::size_t maxLength) {
  const std::string_view s = std::string_view(text).substr(0, maxLength);
  std::size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  long long value = 0;
  for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
    // Past the 32-bit range the field means "very many": the callers' range checks then
    // see a value outside their range rather than a wrapped one inside it.
    value = std::min<long long>(value * 10 + (s[i] - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (negative) value = -value;
  return static_cast<std::int32_t>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

std::variant<AddDownloadPlan, FormAlert> PlanAddDownloads(const AddDownloadForm& form,
                                                          const AddFormContext& context) {
  const WhenDoneChoice completion = CompletionForWhenDoneItem(form.whenDoneItem, context.scripts);
  const std::optional<std::string> referer = form.referer ? RefererFromField(*form.referer) : std::nullopt;

  std::vector<std::string> lines;
  for (const std::string& raw : SplitFormLines(form.urls)) {
    if (auto line = CleanURLLine(raw)) lines.push_back(std::move(*line));
  }

  std::vector<values::Array> formed;
  if (form.separateDownloads || lines.size() < 2) {
    const queue::ExpandedURLs expanded = queue::ExpandURLPatterns(lines);
    if (expanded.error) return FormAlert{*expanded.error, false};
    for (std::size_t i = 0; i < expanded.urls.size(); ++i) {
      auto url = URLWithHost(expanded.urls[i]);
      if (!url) continue;
      const std::optional<std::string>& sub =
          i < expanded.subfolders.size() ? expanded.subfolders[i] : std::nullopt;
      formed.push_back(values::Array{MakeEntry(*url, sub, referer)});
    }
  } else {
    values::Array mirrors;
    for (const std::string& line : lines) {
      if (auto url = URLWithHost(line)) mirrors.push_back(MakeEntry(*url, std::nullopt, referer));
    }
    if (!mirrors.empty()) formed.push_back(std::move(mirrors));
  }

  std::int32_t connections = ReadNumberField(form.connections, 31);
  if (connections < 1 || connections > 32) connections = context.defaultConnections;
  std::int32_t position = ReadNumberField(form.queuePosition, 31);
  if (position == context.queuedCount + 1) position = 0;
  // A place before the first or past the end means no place: the download joins the end.
  if (position < 0 || position > context.queuedCount + 1) position = 0;

  if (formed.empty()) return FormAlert{kInvalidURLAlert, false};
  if (ScheduleTooSoon(form.schedule, form.scheduleTime, context.now)) {
    return FormAlert{kScheduledTimeInPastAlert, false};
  }

  AddDownloadPlan plan;
  const bool quiet = formed.size() > kQuietAddThreshold;
  for (values::Array& entries : formed) {
    PlannedDownload d;
    queue::AddDownloadRequest& r = d.request;
    r.urlEntries = std::move(entries);
    r.connections = connections;
    r.completionType = completion.completionType;
    r.completionAction = completion.argument;
    r.destination = form.destination;
    // Each one after the one before it: all put at the same place, they would stand in
    // the queue in the reverse of the order typed.
    r.queuePosition = position > 0 ? position + static_cast<std::int32_t>(plan.downloads.size()) : 0;
    r.priority = 0;
    r.updateList = !quiet;
    r.useAuth = form.useAuth;
    r.saveCredentials = form.saveCredentials;
    r.user = form.user;
    r.password = form.password;
    r.batchID = context.batchID;
    r.select = true;
    plan.downloads.push_back(std::move(d));
  }
  if (plan.downloads.size() == 1 && !form.chosenName.empty()) {
    plan.downloads.front().fixedName = form.chosenName;
  }
  if (form.schedule) plan.scheduleAt = form.scheduleTime;
  if (quiet) {
    plan.renumberFrom = position;
    plan.rebuildList = true;
  }
  plan.undoName = plan.downloads.size() < 2
                      ? std::string(kAddDownloadUndoName)
                      : values::Format(kAddDownloadsUndoName, {static_cast<int>(plan.downloads.size())});
  return plan;
}

std::vector<queue::DownloadUID> AddPlannedDownloads(const AddDownloadPlan& plan) {
  std::vector<queue::DownloadUID> added;
  for (const PlannedDownload& d : plan.downloads) {
    const queue::DownloadUID uid = queue::AddDownload(d.request);
    if (uid == 0) break;
    added.push_back(uid);
    queue::WrapperRef wrapper = queue::LookUpDownloadWrapper(uid);
    if (!wrapper) continue;
    if (plan.scheduleAt) {
      queue::PutElementOnHold(wrapper);
      queue::ScheduleDownload(wrapper, *plan.scheduleAt);
    }
    if (d.fixedName && *d.fixedName != wrapper->filename()) {
      wrapper->setFilename(*d.fixedName);
      wrapper->element().flags |= queue::kFlagFilenameFixed;
    }
  }
  if (plan.renumberFrom > 0 && !added.empty()) {
    const auto from = static_cast<std::size_t>(plan.renumberFrom - 1);
    const std::int32_t count = queue::gQueuedCount - plan.renumberFrom + 1;
    if (count > 0) queue::RenumberQueue(from, static_cast<std::size_t>(count));
  }
  auto& list = MainListServicesSlot::Get();
  if (plan.rebuildList && !added.empty() && queue::IsViewDisplayed(queue::kMyDownloadsViewID)) {
    list.RefillMainList();
  }
  queue::TruvaneUndoSetActionName(plan.undoName);
  if (!added.empty()) queue::MarkQueueDirty();
  list.UpdateDownloadColumn(queue::kQueuePositionColumn, {});
  list.UpdateDownloadColumn(queue::kStatusColumn, {});
  queue::FlushSmartFolderChanges();
  return added;
}

EditedDownloadValues ValuesOfDownload(const queue::DownloadQueueElement& element) {
  return {element.urlData, element.filename, element.flags, element.queuePosition};
}

std::variant<EditDownloadPlan, FormAlert> PlanDownloadEdits(const EditDownloadForm& form,
                                                            const EditFormContext& context,
                                                            const std::vector<EditedDownloadValues>& items) {
  // Without the field there is nothing to write; with it, a referer too short to be an
  // address is written as empty so that the old one is gone.
  std::optional<std::string> referer;
  if (form.referer) referer = RefererFromField(*form.referer).value_or("");
  if (ScheduleTooSoon(form.schedule, form.scheduleTime, context.now)) {
    return FormAlert{kScheduledTimeInPastAlert, false};
  }

  EditDownloadPlan plan;
  plan.items.resize(items.size());
  if (items.size() > 1) {
    if (referer) {
      for (std::size_t i = 0; i < items.size(); ++i) {
        plan.items[i].urlData = engine::URLListCopyWithReferer(items[i].urlData, referer);
      }
    }
  } else if (items.size() == 1) {
    const EditedDownloadValues& old = items.front();
    DownloadEdit& edit = plan.items.front();
    const std::int32_t position = ReadNumberField(form.queuePosition, 31);
    auto parsed = engine::ParseURLListText(form.urls, referer);
    if (!parsed) return FormAlert{kInvalidURLAlert, false};
    if (!engine::URLListSchemesAreSupported(*parsed))
      return FormAlert{queue::kUnsupportedSchemeMessage, true};
    const bool urlsChanged = !SameMirrors(*parsed, old.urlData);
    if (urlsChanged) {
      values::Array hosts;
      engine::URLListCopyHostNames(*parsed, hosts);
      std::vector<std::string> domains;
      for (const values::Value& h : hosts) {
        if (h.IsString()) domains.push_back(*h.AsString());
      }
      edit.domains = std::move(domains);
      engine::URLListMergeValuesFrom(*parsed, old.urlData);
      edit.urlData = *parsed;
    }
    const bool nameFixed = (old.flags & queue::kFlagFilenameFixed) != 0;
    if (urlsChanged || !nameFixed) {
      auto first = engine::EntryURL(parsed->front());
      if (first) edit.filename = util::CopyFileNameForURL(*first);
    }
    if (form.chosenName && *form.chosenName != old.filename) {
      edit.nameFixed = true;
      edit.filename = *form.chosenName;
      edit.clearRelativeLocation = true;
    } else if (urlsChanged) {
      edit.nameFixed = false;
    }
    if (position > 0 && position != old.queuePosition) edit.moveToPosition = position;
  }

  plan.useAuth = form.useAuth;
  plan.user = form.user;
  plan.password = form.password;
  plan.connections = std::clamp(ReadNumberField(form.connections, 255), 1, 32);
  plan.completion = CompletionForWhenDoneItem(form.whenDoneItem, context.scripts);
  plan.destination = form.destination;
  if (form.schedule) plan.scheduleAt = form.scheduleTime;
  return plan;
}

void ApplyPlannedEdits(const EditDownloadPlan& plan, const std::vector<queue::WrapperRef>& wrappers) {
  auto& list = MainListServicesSlot::Get();
  for (std::size_t i = 0; i < wrappers.size() && i < plan.items.size(); ++i) {
    const queue::WrapperRef& w = wrappers[i];
    if (!w || queue::LookUpDownloadWrapper(w->uid()) != w) continue;
    const DownloadEdit& edit = plan.items[i];
    if (edit.urlData) w->setURLData(*edit.urlData);
    queue::DownloadQueueElement& e = w->element();
    if (edit.domains) e.domains = *edit.domains;
    e.useAuth = plan.useAuth;
    e.authUser = plan.user;
    e.authPassword = plan.password;
    e.connections = plan.connections;
    if (edit.filename) w->setFilename(*edit.filename);
    if (edit.nameFixed) {
      if (*edit.nameFixed) {
        w->element().flags |= queue::kFlagFilenameFixed;
      } else {
        w->element().flags &= static_cast<std::int16_t>(~queue::kFlagFilenameFixed);
      }
    }
    if (edit.clearRelativeLocation) w->setRelativeLocation(std::nullopt);
    if (edit.moveToPosition > 0) queue::MoveElementToQueuePosition(w, edit.moveToPosition);

    if (plan.scheduleAt) {
      queue::PutElementOnHold(w);
      queue::RemoveScheduledItem(w);
      queue::ScheduleDownload(w, *plan.scheduleAt);
    } else if (w->status() == queue::kStatusScheduled) {
      queue::RemoveScheduledItem(w);
      w->setStatus(queue::kStatusOnHold);
    }
    w->element().destination = plan.destination;
    w->element().completionType = plan.completion.completionType;
    w->element().completion = plan.completion.completionType == queue::kCompletionRunScript
                                  ? plan.completion.argument
                                  : std::nullopt;
    (void)queue::WritePartialProperties(w->element());
    queue::NoteElementChanged(w, queue::kChangedAll);
  }
  for (const queue::WrapperRef& w : wrappers) {
    if (!w) continue;
    list.UpdateDownloadRow(w->uid());
    DownloadEventViewsSlot::Get().NotifyMiniWindowDownloadChanged(w->uid());
  }
  queue::MarkQueueDirty();
  list.RefreshCommandState();
  queue::FlushSmartFolderChanges();
}

}  // namespace ui
