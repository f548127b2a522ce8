#include "app/util/settings/bandwidth_settings.h"

#include "platform/prefs/value_conversions.h"

namespace util {

namespace {

const values::Value* FindDictionary(const values::Dictionary& domain, std::string_view key) {
  auto it = domain.find(key);
  if (it == domain.end() || !it->second.IsDictionary()) return nullptr;
  return &it->second;
}

std::optional<BandwidthLimit> ReadIfPresent(const values::Dictionary& domain, std::string_view key,
                                            const BandwidthKey& row) {
  if (FindDictionary(domain, key) == nullptr) return std::nullopt;
  return ReadBandwidthLimit(domain, key, row);
}

}  // namespace

BandwidthLimit ReadBandwidthLimit(const values::Dictionary& domain, const BandwidthKey& row) {
  return ReadBandwidthLimit(domain, row.key, row);
}

BandwidthLimit ReadBandwidthLimit(const values::Dictionary& domain, std::string_view key,
                                  const BandwidthKey& row) {
  const values::Value* stored = FindDictionary(domain, key);
  if (stored == nullptr) return row.absent;
  BandwidthLimit out = row.present;
  if (const values::Value* limit = stored->Find("limit")) {
    const std::optional<std::int64_t> v = prefs::IntegerFromValue(*limit);
    if (v && *v >= INT32_MIN && *v <= INT32_MAX) out.limit = static_cast<std::int32_t>(*v);
  }
  if (const values::Value* status = stored->Find("status"))
    out.status = prefs::BoolFromValue(*status).value_or(out.status);
  return out;
}

BandwidthLimit ChooseBandwidthLimit(const values::Dictionary& domain, const BandwidthKeyPair& pair,
                                    const std::optional<BandwidthLimit>& agreed) {
  const std::optional<BandwidthLimit> store = ReadIfPresent(domain, pair.store.key, pair.store);
  const std::optional<BandwidthLimit> live = ReadIfPresent(domain, pair.liveKey, pair.store);
  if (agreed) {
    if (store && *store != *agreed) return *store;
    if (live && *live != *agreed) return *live;
  }
  if (live) return *live;
  if (store) return *store;
  return pair.store.absent;
}

values::Dictionary MergeBandwidthDictionary(const values::Dictionary& domain, std::string_view key,
                                            const BandwidthLimit& limit) {
  values::Dictionary out;
  if (const values::Value* stored = FindDictionary(domain, key)) out = *stored->AsDictionary();
  out.insert_or_assign("limit", values::Number::Int32(limit.limit));
  out.insert_or_assign("status", limit.status);
  return out;
}

}  // namespace util
