#include "app/util/text/value_transformers.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "app/util/text/string_utilities.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

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

}  // namespace util
