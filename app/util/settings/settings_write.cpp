// The dictionary SavePreferences stores: the store's own keys and nothing else, so that
// keys other modules own are never overwritten with stale copies.

#include <type_traits>

#include "app/util/settings/settings_codec.h"
#include "app/util/settings/settings_key_table.h"

namespace util {

namespace {

using values::Value;

template <typename T>
Value StoredForm(const T& v) {
  if constexpr (std::is_same_v<T, bool>) {
    return Value(v);
  } else if constexpr (std::is_same_v<T, std::int16_t>) {
    return Value(values::Number::Int16(v));
  } else if constexpr (std::is_same_v<T, std::uint16_t>) {
    // The key keeps its signed 16-bit form: a port above 32767 is stored as its bits.
    return Value(values::Number::Int16(static_cast<std::int16_t>(v)));
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return Value(values::Number::Int32(v));
  } else if constexpr (std::is_same_v<T, std::int64_t>) {
    return Value(values::Number::Int64(v));
  } else if constexpr (std::is_same_v<T, float>) {
    return Value(values::Number::Float32(v));
  } else {
    return Value(v);
  }
}

}  // namespace

values::Dictionary BuildSavedPreferences(const Settings& s, const values::Dictionary& stored,
                                         const SavedExtras& extras) {
  values::Dictionary out;
  for (const SettingsKey& row : kPlainSettingsKeys) {
    if (!(row.flags & kSavedKey)) continue;
    std::visit([&](auto member) { out.insert_or_assign(std::string(row.key), StoredForm(s.*member)); },
               row.field);
  }

  out.insert_or_assign("domainLimits", DomainLimitsToDictionary(s.domainLimits));
  if (extras.defaultFolderAlias)
    out.insert_or_assign("Default folder alias", values::Data{*extras.defaultFolderAlias});
  if (extras.incomingFolderAlias) {
    out.insert_or_assign("Default incoming folder alias", values::Data{*extras.incomingFolderAlias});
  }
  out.insert_or_assign("allow uploads", s.allowUploads);
  out.insert_or_assign("Share Files", s.shareFiles);
  out.insert_or_assign("User agent", s.userAgent);
  // Without a filter table (none loaded yet) the stored filters stay as they are.
  if (extras.filters) out.insert_or_assign("Filters", *extras.filters);

  // "total" and "connection type" belong to the preferences window; a dictionary that has
  // none gets the window's own starting values.
  values::Dictionary download =
      MergeBandwidthDictionary(stored, kDownloadBandwidthKeys.store.key, s.downloadBandwidth);
  download.try_emplace("total", values::Number::Int32(0));
  download.try_emplace("connection type", values::Number::Int32(1));
  out.insert_or_assign(std::string(kDownloadBandwidthKeys.store.key), std::move(download));
  // Both keys of each pair, so that they agree (bandwidth_settings.h).
  out.insert_or_assign(std::string(kDownloadBandwidthKeys.liveKey),
                       MergeBandwidthDictionary(stored, kDownloadBandwidthKeys.liveKey, s.downloadBandwidth));
  out.insert_or_assign(std::string(kUploadBandwidthKeys.store.key),
                       MergeBandwidthDictionary(stored, kUploadBandwidthKeys.store.key, s.uploadBandwidth));
  out.insert_or_assign(std::string(kUploadBandwidthKeys.liveKey),
                       MergeBandwidthDictionary(stored, kUploadBandwidthKeys.liveKey, s.uploadBandwidth));
  out.insert_or_assign(std::string(kServerSendBandwidthKey.key),
                       MergeBandwidthDictionary(stored, kServerSendBandwidthKey.key, s.serverSendBandwidth));

  out.insert_or_assign("Users", extras.users);

  values::Array blackList;
  for (const std::string& rule : s.blackList) blackList.emplace_back(rule);
  out.insert_or_assign("blackList", std::move(blackList));
  out.insert_or_assign("dockForRGBA", ColorToDictionary(s.dockFore.rgb, s.dockFore.alpha));
  out.insert_or_assign("dockBackRGBA", ColorToDictionary(s.dockBack.rgb, s.dockBack.alpha));
  return out;
}

}  // namespace util
