#include "app/util/text/value_transformers.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>

#include "app/util/text/string_utilities.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/string_compare.h"

namespace util {
namespace {

std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}

std::map<std::string, std::shared_ptr<const ValueTransformer>, std::less<>>& Registry() {
  static std::map<std::string, std::shared_ptr<const ValueTransformer>, std::less<>> registry;
  return registry;
}

// The value read as a number, as bindings read one from a number or a numeric string
// (leading digits; no digits reads as 0). Nothing for the other kinds.
std::optional<float> FloatValue(const values::Value& value) {
  if (const values::Number* n = value.AsNumber()) return static_cast<float>(n->AsDouble());
  if (const bool* b = value.AsBool()) return *b ? 1.0f : 0.0f;
  if (const std::string* s = value.AsString()) return std::strtof(s->c_str(), nullptr);
  return std::nullopt;
}

std::optional<std::int64_t> IntegerValue(const values::Value& value) {
  if (const values::Number* n = value.AsNumber()) return n->AsInt64();
  if (const bool* b = value.AsBool()) return *b ? 1 : 0;
  if (const std::string* s = value.AsString()) return CFStringToSInt64(*s);
  if (value.IsNull()) return 0;
  return std::nullopt;
}

std::string NotANumberError(const values::Value& value) {
  return values::Format("Value (%@) does not respond to -floatValue.", {values::TypeName(value.type())});
}

struct ScaledBytes {
  float amount;
  const char* unit;
};

ScaledBytes Scale(float v) {
  if (v < 1024.0f) return {v, "bytes"};
  if (v < 1048576.0f) return {v / 1024.0f, "KB"};
  if (v < 1073741824.0f) return {v / 1048576.0f, "MB"};
  if (v < 1099511627776.0f) return {v / 1073741824.0f, "GB"};
  return {v / 1099511627776.0f, "TB"};
}

// Shared by both byte transformers: the "----" cases, the error, or the scaled amount.
std::optional<TransformResult> ByteUnitsOrFailure(const values::Value& value, ScaledBytes& scaled) {
  if (value.IsNull()) return TransformResult{values::Value("----"), std::nullopt};
  std::optional<float> v = FloatValue(value);
  if (!v) return TransformResult{values::Value(), NotANumberError(value)};
  if (*v <= 0) return TransformResult{values::Value("----"), std::nullopt};
  scaled = Scale(*v);
  return std::nullopt;
}

}  // namespace

TransformResult ValueTransformer::ReverseTransform(const values::Value&) const {
  return {values::Value(), std::string("This transformer has no reverse transformation.")};
}

void SetValueTransformer(std::string name, std::shared_ptr<const ValueTransformer> transformer) {
  std::lock_guard<std::mutex> hold(RegistryLock());
  Registry()[std::move(name)] = std::move(transformer);
}

std::shared_ptr<const ValueTransformer> GetValueTransformer(std::string_view name) {
  std::lock_guard<std::mutex> hold(RegistryLock());
  auto it = Registry().find(name);
  return it == Registry().end() ? nullptr : it->second;
}

void RegisterStandardValueTransformers() {
  SetValueTransformer("ByteUnitsTransformer", std::make_shared<ByteUnitsTransformer>());
  SetValueTransformer("ByteFormatter", std::make_shared<ByteFormatter>());
  SetValueTransformer("SecondsToMinutesTransformer", std::make_shared<SecondsToMinutesTransformer>());
  SetValueTransformer("bytesToKbytes", std::make_shared<BytesToKBytesTransformer>());
  SetValueTransformer("EditableCopyTransformer", std::make_shared<EditableCopyTransformer>());
  SetValueTransformer("ConcatenateStringArrayTransformer",
                      std::make_shared<ConcatenateStringArrayTransformer>());
}

TransformResult ByteUnitsTransformer::Transform(const values::Value& value) const {
  ScaledBytes scaled{};
  if (auto early = ByteUnitsOrFailure(value, scaled)) return *early;
  return {values::Value(values::Format("%.1f %@",
                                       {static_cast<double>(scaled.amount), values::Localized(scaled.unit)})),
          std::nullopt};
}

TransformResult ByteFormatter::Transform(const values::Value& value) const {
  ScaledBytes scaled{};
  if (auto early = ByteUnitsOrFailure(value, scaled)) return *early;
  const long long count = IntegerValue(value).value_or(0);
  return {values::Value(values::Format("%.1f %@ (%lld bytes)", {static_cast<double>(scaled.amount),
                                                                values::Localized(scaled.unit), count})),
          std::nullopt};
}

TransformResult SecondsToMinutesTransformer::Transform(const values::Value& value) const {
  std::optional<std::int64_t> seconds = IntegerValue(value);
  if (!seconds) return {values::Value(), NotANumberError(value)};
  return {values::Value(values::Number::Int64(*seconds / 60)), std::nullopt};
}

TransformResult SecondsToMinutesTransformer::ReverseTransform(const values::Value& value) const {
  std::optional<std::int64_t> minutes = IntegerValue(value);
  if (!minutes) return {values::Value(), NotANumberError(value)};
  return {values::Value(values::Number::Int64(*minutes * 60)), std::nullopt};
}

TransformResult BytesToKBytesTransformer::Transform(const values::Value& value) const {
  std::optional<std::int64_t> bytes = IntegerValue(value);
  if (!bytes) return {values::Value(), NotANumberError(value)};
  // C++ division truncates toward zero, as the window shows a rate.
  return {values::Value(std::to_string(*bytes / 1024)), std::nullopt};
}

TransformResult BytesToKBytesTransformer::ReverseTransform(const values::Value& value) const {
  std::optional<std::int64_t> kilobytes = IntegerValue(value);
  if (!kilobytes) return {values::Value(), NotANumberError(value)};
  // Beyond this the product would overflow; such a rate means "no limit" in practice.
  constexpr std::int64_t kLargest = INT64_MAX / 1024;
  std::int64_t clamped = std::clamp(*kilobytes, -kLargest, kLargest);
  return {values::Value(values::Number::Int64(clamped * 1024)), std::nullopt};
}

TransformResult EditableCopyTransformer::Transform(const values::Value& value) const {
  if (!value.IsDictionary() && !value.IsNull()) {
    return {values::Value(),
            values::Format("Value (%@) is not a dictionary.", {values::TypeName(value.type())})};
  }
  return {value.IsNull() ? values::Value(values::Dictionary{}) : value, std::nullopt};
}

TransformResult EditableCopyTransformer::ReverseTransform(const values::Value& value) const {
  return {value, std::nullopt};
}

TransformResult ConcatenateStringArrayTransformer::Transform(const values::Value& value) const {
  if (value.IsNull()) return {values::Value(""), std::nullopt};
  const values::Array* array = value.AsArray();
  if (!array) {
    return {values::Value(), values::Format("Value (%@) is not an array.", {values::TypeName(value.type())})};
  }
  std::vector<std::string> strings;
  for (const values::Value& element : *array) {
    if (const std::string* s = element.AsString()) strings.push_back(*s);
  }
  std::stable_sort(strings.begin(), strings.end(), [](const std::string& a, const std::string& b) {
    return values::CompareStrings(a, b, values::kCaseInsensitive) == values::ComparisonResult::kLessThan;
  });
  std::string joined;
  for (const std::string& s : strings) joined += s;
  return {values::Value(joined), std::nullopt};
}

}  // namespace util
