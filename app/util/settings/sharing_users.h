#pragma once
// The users that other copies may log in as when sharing downloads.
//
// The table maps a user name to its record. It is stored in the preference "Users" as
// user name -> {"auth" (data: the password data, opaque here and checked by the sharing
// login), "access" and "dlAccess" (arrays of 64-bit numbers: the UIDs of the folders the
// user may see, and may download from), "quota" (64-bit number, -1 = none), "canUpload"
// (Boolean)}. A user "Guest" always exists after a load.
//
// The table is shared by the settings store (which replaces it on every load), the folder
// code and the sharing server's tasks. Every access, reads included, happens inside the
// users' critical region:
//
//   runtime::RegionGuard inside(SharingUsersRegion());
//   SharingUsersTable& users = SharingUsers();
//
// The region is recursive, so a holder may call functions that enter it again.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/runtime/critical_region.h"
#include "platform/values/value.h"

namespace util {

struct SharingUserRecord {
  values::Bytes passwordData;
  std::vector<std::uint32_t> viewUIDs;      // folders the user may see
  std::vector<std::uint32_t> downloadUIDs;  // folders the user may download from
  std::int64_t quota = -1;                  // -1: no quota
  bool canUpload = false;                   // the user may send files
  bool operator==(const SharingUserRecord&) const = default;
};

using SharingUsersTable = std::map<std::string, SharingUserRecord, std::less<>>;

inline constexpr std::string_view kGuestUserName = "Guest";

// The users' critical region and the table it guards.
runtime::CriticalRegion& SharingUsersRegion();
SharingUsersTable& SharingUsers();

// Converts one stored user and puts it into the table under its name. A user without
// "auth" data or without an "access" array is skipped; a missing "dlAccess" gives an
// empty list, a "quota" that is not a number gives -1, a missing "canUpload" false.
void LoadSharingUsers(const std::string& name, const values::Value& user, SharingUsersTable& users);

// Converts a record back into its stored form and puts it into target under its name.
void CopySharingUserRecord(const std::string& name, const SharingUserRecord& record,
                           values::Dictionary& target);

// The stored form of a whole table. The caller holds the users' region.
values::Dictionary CopySharingUsersDictionary(const SharingUsersTable& users);

// A table built from the stored "Users" value (nullptr or not a dictionary: no user), with
// "Guest" added when missing.
SharingUsersTable ReadSharingUsers(const values::Value* stored);

}  // namespace util
