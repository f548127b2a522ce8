#include "app/queue/history/history.h"

#include <algorithm>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/view_ids.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/date_time.h"

namespace queue {
namespace {

std::map<std::int64_t, HistoryDay>& Table() {
  static std::map<std::int64_t, HistoryDay> table;
  return table;
}

HistoryDay& DayFor(std::int64_t key) {
  auto [it, added] = Table().try_emplace(key);
  if (added) it->second.dayKey = key;
  return it->second;
}

// Takes the UID out of its day; the day goes when left empty (unless it is `keep`).
void TakeOut(DownloadUID uid, std::int64_t dayKey, std::int64_t keep = -1) {
  auto it = Table().find(dayKey);
  if (it == Table().end()) return;
  auto& uids = it->second.uids;
  uids.erase(std::remove(uids.begin(), uids.end(), uid), uids.end());
  if (uids.empty() && dayKey != keep) Table().erase(it);
}

// Finds the day that lists the download: its historyGroup names it unless the key was
// cut to 32 bits (days after 2040), so the table is searched when it does not.
std::int64_t DayOf(const DownloadQueueElement& e) {
  auto it = Table().find(e.historyGroup);
  if (it != Table().end() &&
      std::find(it->second.uids.begin(), it->second.uids.end(), e.uid) != it->second.uids.end())
    return it->first;
  for (const auto& [key, day] : Table())
    if (std::find(day.uids.begin(), day.uids.end(), e.uid) != day.uids.end()) return key;
  return -1;
}

void RedrawHistory() {
  if (IsViewDisplayed(kHistoryViewID)) ui::MainListServicesSlot::Get().RefillMainList();
}

}  // namespace

std::int64_t GetDayStart(values::AbsoluteTime t) {
  return values::SecondsSince1904(values::DayStart(t, values::DefaultTimeZone()));
}

std::int32_t GetHistoryLimit() {
  return kHistoryLimit;
}

values::AbsoluteTime GetHistoryCutoffTime() {
  double age = 0;
  switch (util::ReadSetting(util::kHistoryLifetimeKey)) {
    case util::HistoryLifetime::kWeek:
      age = 604800;
      break;
    case util::HistoryLifetime::kTwoWeeks:
      age = 1209600;
      break;
    case util::HistoryLifetime::kMonth:
      age = 2678400;
      break;
    case util::HistoryLifetime::kYear:
      age = 31622400;
      break;
    default:
      return -1.0;
  }
  return values::Now() - age;
}

const std::map<std::int64_t, HistoryDay>& GetHistoryDays() {
  return Table();
}

HistoryDay* FindHistoryDay(std::int64_t dayKey) {
  auto it = Table().find(dayKey);
  return it == Table().end() ? nullptr : &it->second;
}

void SetHistoryDayOpen(std::int64_t dayKey, bool open) {
  if (HistoryDay* day = FindHistoryDay(dayKey)) day->open = open;
}

void ClearHistoryTable() {
  Table().clear();
}

void LoadHistory() {
  Table().clear();
  values::AbsoluteTime cutoff = GetHistoryCutoffTime();
  if (cutoff > 0) cutoff = values::DayStart(cutoff, values::DefaultTimeZone());
  for (auto& [uid, wrapper] : gQueueItems) {
    DownloadQueueElement& e = wrapper->element();
    if (e.historyPosition <= 0) continue;
    if (e.endDate >= cutoff) {
      const std::int64_t key = GetDayStart(e.endDate);
      e.historyGroup = static_cast<std::uint32_t>(key);
      DayFor(key).uids.push_back(uid);
    } else {
      e.historyPosition = -1;
    }
  }
  if (auto open = util::ReadStoredSetting(util::kHistoryOpenKey)) {
    for (const values::Value& v : *open) {
      if (const values::Number* n = v.AsNumber()) SetHistoryDayOpen(n->AsInt64(), true);
    }
  }
}

values::Array CopyOpenHistoryDays() {
  values::Array out;
  for (const auto& [key, day] : Table())
    if (day.open) out.push_back(values::Value(values::Number::Int64(key)));
  return out;
}

void AddToHistory(const WrapperRef& wrapper) {
  if (!wrapper) return;
  DownloadQueueElement& e = wrapper->element();
  const std::int64_t today = GetDayStart(values::Now());
  DayFor(today);
  WrapperRef dropped;
  const auto moveDown = [&](DownloadQueueElement& other, const WrapperRef& w) {
    ++other.historyPosition;
    if (other.historyPosition == kHistoryLimit + 1) dropped = w;
  };
  const std::int32_t p = e.historyPosition;
  if (p != -1 && p >= 1) {
    for (auto& [uid, w] : gQueueItems) {
      DownloadQueueElement& o = w->element();
      if (w != wrapper && o.historyPosition >= 1 && o.historyPosition <= p - 1) moveDown(o, w);
    }
    const std::int64_t old = DayOf(e);
    if (old >= 0) TakeOut(e.uid, old, today);
  } else {
    for (auto& [uid, w] : gQueueItems) {
      DownloadQueueElement& o = w->element();
      if (w != wrapper && o.historyPosition >= 1) moveDown(o, w);
    }
  }
  e.historyGroup = static_cast<std::uint32_t>(today);
  e.historyPosition = 1;
  DayFor(today).uids.push_back(e.uid);
  if (dropped) {
    const std::int64_t day = DayOf(dropped->element());
    if (day >= 0) TakeOut(dropped->uid(), day);
    // The removal takes only entries within the limit out of the history; the dropped one
    // leaves from the last place it held.
    dropped->element().historyPosition = kHistoryLimit;
    RemoveDownloadsFromFolder({dropped->uid()}, kHistoryViewID, false, false);
  }
  MarkQueueDirty();
  RedrawHistory();
}

void TakeOutOfHistoryDay(const WrapperRef& wrapper) {
  if (!wrapper) return;
  const std::int64_t day = DayOf(wrapper->element());
  if (day >= 0) TakeOut(wrapper->uid(), day);
}

void RemoveFromHistory(const std::vector<DownloadUID>& uids) {
  for (DownloadUID uid : uids)
    if (WrapperRef w = LookUpDownloadWrapper(uid)) TakeOutOfHistoryDay(w);
  RemoveDownloadsFromFolder(uids, kHistoryViewID, false, false);
  RedrawHistory();
}

void TrimHistory(std::int32_t limit) {
  std::size_t count = 0;
  for (const auto& [key, day] : Table()) count += day.uids.size();
  if (count <= static_cast<std::size_t>(std::max(limit, 0))) return;
  std::vector<DownloadUID> over;
  for (const auto& [uid, w] : gQueueItems)
    if (w->element().historyPosition > limit) over.push_back(uid);
  // Entries that are filed but carry no position (a record that lost it) go with limit 0.
  if (limit <= 0)
    for (const auto& [key, day] : Table())
      for (DownloadUID uid : day.uids)
        if (std::find(over.begin(), over.end(), uid) == over.end()) over.push_back(uid);
  RemoveFromHistory(over);
  if (limit <= 0) Table().clear();
}

void RemoveHistoryBefore(values::AbsoluteTime t) {
  const std::int64_t limit = GetDayStart(t);
  std::vector<DownloadUID> uids;
  for (auto it = Table().begin(); it != Table().end() && it->first < limit;) {
    uids.insert(uids.end(), it->second.uids.begin(), it->second.uids.end());
    it = Table().erase(it);
  }
  if (!uids.empty()) RemoveDownloadsFromFolder(uids, kHistoryViewID, false, false);
  RedrawHistory();
}

void PurgeExpiredHistory() {
  const values::AbsoluteTime cutoff = GetHistoryCutoffTime();
  if (cutoff > 0) RemoveHistoryBefore(cutoff);
}

}  // namespace queue
