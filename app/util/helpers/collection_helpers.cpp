#include "app/util/helpers/collection_helpers.h"

namespace util {
namespace {

const values::Number* FindNumber(const values::Value& dict, std::string_view key, bool* found) {
  const values::Value* v = dict.Find(key);
  const values::Number* n = v ? v->AsNumber() : nullptr;
  if (found) *found = n != nullptr;
  return n;
}

}  // namespace

void DictSetDouble(values::Value& dict, std::string key, double value) {
  dict.Put(std::move(key), values::Number::Float64(value));
}

void DictSetInt(values::Value& dict, std::string key, std::int32_t value) {
  dict.Put(std::move(key), values::Number::Int32(value));
}

void DictSetUInt32AsSInt64(values::Value& dict, std::string key, std::uint32_t value) {
  dict.Put(std::move(key), values::Number::Int64(static_cast<std::int64_t>(value)));
}

double DictGetDouble(const values::Value& dict, std::string_view key, bool* found) {
  const values::Number* n = FindNumber(dict, key, found);
  return n ? n->AsDouble() : 0.0;
}

std::int32_t DictGetInt(const values::Value& dict, std::string_view key, bool* found) {
  const values::Number* n = FindNumber(dict, key, found);
  return n ? n->AsInt32() : 0;
}

std::int64_t DictGetSInt64(const values::Value& dict, std::string_view key, bool* found) {
  const values::Number* n = FindNumber(dict, key, found);
  return n ? n->AsInt64() : 0;
}

bool DictGetBoolean(const values::Value& dict, std::string_view key, bool* found) {
  const values::Value* v = dict.Find(key);
  const bool* b = v ? v->AsBool() : nullptr;
  if (found) *found = b != nullptr;
  return b ? *b : false;
}

int CompareUInt32(std::uint32_t a, std::uint32_t b) {
  if (a < b) return -1;
  return a > b ? 1 : 0;
}

std::optional<std::pair<std::string, values::Value>> GetFirstDictionaryEntry(const values::Dictionary& dict) {
  if (dict.empty()) return std::nullopt;
  return std::make_pair(dict.begin()->first, dict.begin()->second);
}

values::Array ArrayWithObjectsForKey(const values::Array& array, std::string_view key, bool discard_null) {
  values::Array out;
  out.reserve(array.size());
  for (const values::Value& element : array) {
    const values::Value* v = element.Find(key);
    if (v) {
      out.push_back(*v);
    } else if (!discard_null) {
      out.emplace_back();
    }
  }
  return out;
}

values::Array ArrayWithObjectsForKey(const values::Array& array, std::string_view key,
                                     const values::Value& placeholder) {
  values::Array out;
  out.reserve(array.size());
  for (const values::Value& element : array) {
    const values::Value* v = element.Find(key);
    out.push_back(v ? *v : placeholder);
  }
  return out;
}

values::Array ArrayByPerformingSelector(
    const values::Array& array, const std::function<std::optional<values::Value>(const values::Value&)>& fn) {
  values::Array out;
  out.reserve(array.size());
  for (const values::Value& element : array) {
    std::optional<values::Value> r = fn(element);
    out.push_back(r ? std::move(*r) : values::Value());
  }
  return out;
}

}  // namespace util
