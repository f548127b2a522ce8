#include "app/util/settings/sharing_users.h"

#include "app/util/settings/settings_values.h"

namespace util {

runtime::CriticalRegion& SharingUsersRegion() {
  static runtime::CriticalRegion region;
  return region;
}

SharingUsersTable& SharingUsers() {
  static SharingUsersTable users;
  return users;
}

void LoadSharingUsers(const std::string& name, const values::Value& user, SharingUsersTable& users) {
  const values::Value* auth = user.Find("auth");
  const values::Value* access = user.Find("access");
  if (auth == nullptr || !auth->IsData() || access == nullptr || !access->IsArray()) return;

  SharingUserRecord record;
  record.passwordData = auth->AsData()->bytes;
  record.viewUIDs = UIDListFromArray(*access->AsArray());
  if (const values::Value* dlAccess = user.Find("dlAccess"); dlAccess != nullptr && dlAccess->IsArray()) {
    record.downloadUIDs = UIDListFromArray(*dlAccess->AsArray());
  }
  if (const values::Value* quota = user.Find("quota"); quota != nullptr && quota->IsNumber()) {
    record.quota = quota->AsNumber()->AsInt64();
  }
  if (const values::Value* canUpload = user.Find("canUpload"); canUpload != nullptr) {
    record.canUpload = canUpload->BoolOr(false);
  }
  users.insert_or_assign(name, std::move(record));
}

void CopySharingUserRecord(const std::string& name, const SharingUserRecord& record,
                           values::Dictionary& target) {
  target.insert_or_assign(name, values::Dictionary{
                                    {"auth", values::Data{record.passwordData}},
                                    {"access", UIDListToArray(record.viewUIDs)},
                                    {"dlAccess", UIDListToArray(record.downloadUIDs)},
                                    {"quota", values::Number::Int64(record.quota)},
                                    {"canUpload", record.canUpload},
                                });
}

values::Dictionary CopySharingUsersDictionary(const SharingUsersTable& users) {
  values::Dictionary out;
  for (const auto& [name, record] : users) CopySharingUserRecord(name, record, out);
  return out;
}

SharingUsersTable ReadSharingUsers(const values::Value* stored) {
  SharingUsersTable users;
  if (stored != nullptr && stored->IsDictionary()) {
    for (const auto& [name, user] : *stored->AsDictionary()) LoadSharingUsers(name, user, users);
  }
  if (!users.contains(kGuestUserName)) users.emplace(std::string(kGuestUserName), SharingUserRecord{});
  return users;
}

}  // namespace util
