#include "app/util/settings/settings_values.h"

#include <algorithm>
#include <cmath>

namespace util {

namespace {

bool ReadNumber(const values::Value& dictionary, std::string_view key, double& out) {
  const values::Value* v = dictionary.Find(key);
  if (v == nullptr || !v->IsNumber()) return false;
  out = v->AsNumber()->AsDouble();
  return true;
}

std::uint16_t Component(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<std::uint16_t>(std::clamp(std::trunc(v), 0.0, 65535.0));
}

}  // namespace

values::Dictionary ColorToDictionary(const RGBColor& rgb, float alpha) {
  return {
      {"red", values::Number::Int32(rgb.red)},
      {"green", values::Number::Int32(rgb.green)},
      {"blue", values::Number::Int32(rgb.blue)},
      {"alpha", values::Number::Float32(alpha)},
  };
}

bool DictionaryToColor(const values::Value& dictionary, RGBColor& rgb, float& alpha) {
  double r = 0, g = 0, b = 0, a = 0;
  if (!ReadNumber(dictionary, "red", r) || !ReadNumber(dictionary, "green", g) ||
      !ReadNumber(dictionary, "blue", b) || !ReadNumber(dictionary, "alpha", a)) {
    return false;
  }
  rgb = {Component(r), Component(g), Component(b)};
  alpha = std::isnan(a) ? 1.0f : static_cast<float>(std::clamp(a, 0.0, 1.0));
  return true;
}

DomainLimits DomainLimitsFromDictionary(const values::Value& stored) {
  DomainLimits limits;
  const values::Dictionary* dictionary = stored.AsDictionary();
  if (dictionary == nullptr) return limits;
  for (const auto& [domain, value] : *dictionary) {
    const values::Number* n = value.AsNumber();
    if (n == nullptr) continue;
    const std::int64_t limit = n->AsInt64();
    limits[domain] = static_cast<std::int32_t>(std::clamp<std::int64_t>(limit, 1, INT32_MAX));
  }
  return limits;
}

values::Dictionary DomainLimitsToDictionary(const DomainLimits& limits) {
  values::Dictionary out;
  for (const auto& [domain, limit] : limits) out.emplace(domain, values::Number::Int64(limit));
  return out;
}

std::vector<std::uint32_t> UIDListFromArray(const values::Array& stored) {
  std::vector<std::uint32_t> uids;
  uids.reserve(stored.size());
  for (const values::Value& v : stored) {
    if (const values::Number* n = v.AsNumber()) uids.push_back(static_cast<std::uint32_t>(n->AsInt64()));
  }
  return uids;
}

values::Array UIDListToArray(const std::vector<std::uint32_t>& uids) {
  values::Array out;
  out.reserve(uids.size());
  for (std::uint32_t uid : uids) out.emplace_back(values::Number::Int64(uid));
  return out;
}

}  // namespace util
