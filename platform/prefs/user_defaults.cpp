#include "platform/prefs/user_defaults.h"

#include "platform/prefs/value_conversions.h"

namespace prefs {

UserDefaults::UserDefaults(PreferenceStore& store, std::string domain)
    : store_(&store), domain_(std::move(domain)) {}

void UserDefaults::RegisterDefaults(const values::Dictionary& defaults) {
  store_->RegisterDefaults(defaults, domain_);
}

std::optional<values::Value> UserDefaults::ObjectForKey(std::string_view key) const {
  return store_->CopyUserDefault(key, domain_);
}

bool UserDefaults::BoolForKey(std::string_view key) const {
  auto v = ObjectForKey(key);
  return v ? BoolFromValue(*v).value_or(false) : false;
}

std::int64_t UserDefaults::IntegerForKey(std::string_view key) const {
  auto v = ObjectForKey(key);
  return v ? IntegerFromValue(*v).value_or(0) : 0;
}

double UserDefaults::DoubleForKey(std::string_view key) const {
  auto v = ObjectForKey(key);
  return v ? DoubleFromValue(*v).value_or(0.0) : 0.0;
}

std::optional<std::string> UserDefaults::StringForKey(std::string_view key) const {
  auto v = ObjectForKey(key);
  if (!v || !v->IsString()) return std::nullopt;
  return *v->AsString();
}

std::optional<values::Bytes> UserDefaults::DataForKey(std::string_view key) const {
  auto v = ObjectForKey(key);
  if (!v || !v->IsData()) return std::nullopt;
  return std::move(v->AsData()->bytes);
}

std::optional<values::Array> UserDefaults::ArrayForKey(std::string_view key) const {
  auto v = ObjectForKey(key);
  if (!v || !v->IsArray()) return std::nullopt;
  return std::move(*v->AsArray());
}

std::optional<values::Dictionary> UserDefaults::DictionaryForKey(std::string_view key) const {
  auto v = ObjectForKey(key);
  if (!v || !v->IsDictionary()) return std::nullopt;
  return std::move(*v->AsDictionary());
}

values::Dictionary UserDefaults::DictionaryRepresentation() const {
  values::Value all = store_->CopyUserDefaults(domain_);
  return std::move(*all.AsDictionary());
}

void UserDefaults::SetObject(std::string_view key, values::Value value) {
  store_->Set(key, std::move(value), domain_);
}

void UserDefaults::RemoveObject(std::string_view key) {
  store_->Remove(key, domain_);
}

SyncStatus UserDefaults::Synchronize() {
  return store_->Synchronize(domain_);
}

}  // namespace prefs
