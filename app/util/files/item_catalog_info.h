#pragma once
// The catalog information the program's file helpers pass around: what the file system
// says about an item (node flags, sizes, owner, mode, dates) plus its Finder information,
// read only for the kinds of information the caller asks for with a bitmap.
//
// Finder information is 16 bytes (type, creator, Finder flags, position) and 16 bytes of
// extended information, big-endian, as peers and stored records exchange them. This system
// has no such thing, so the 32 bytes are kept in the extended attribute kFinderInfoAttribute
// and read back as zeros when absent. Two flags are also derived from the file system, so
// that they hold whatever wrote the item: a name beginning with "." is invisible, and a
// symbolic link carries the alias flag. "Locked" is the absence of the owner's write
// permission: a read-only folder is what keeps its entries from being deleted here.
// Resource forks do not exist (size 0); neither does a backup date.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/files/catalog_info.h"
#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"
#include "platform/values/fourcc.h"
#include "platform/values/value.h"

// Kinds of catalog information, as a bitmap.
using CatalogInfoBitmap = std::uint32_t;
inline constexpr CatalogInfoBitmap kCatInfoNone = 0;
inline constexpr CatalogInfoBitmap kCatInfoNodeFlags = 1u << 0;
inline constexpr CatalogInfoBitmap kCatInfoFinderInfo = 1u << 1;
inline constexpr CatalogInfoBitmap kCatInfoExtFinderInfo = 1u << 2;
inline constexpr CatalogInfoBitmap kCatInfoDataSizes = 1u << 3;
inline constexpr CatalogInfoBitmap kCatInfoRsrcSizes = 1u << 4;
inline constexpr CatalogInfoBitmap kCatInfoPermissions = 1u << 5;
inline constexpr CatalogInfoBitmap kCatInfoCreateDate = 1u << 6;
inline constexpr CatalogInfoBitmap kCatInfoAttrModDate = 1u << 7;
inline constexpr CatalogInfoBitmap kCatInfoContentModDate = 1u << 8;
inline constexpr CatalogInfoBitmap kCatInfoAccessDate = 1u << 9;
inline constexpr CatalogInfoBitmap kCatInfoBackupDate = 1u << 10;
inline constexpr CatalogInfoBitmap kCatInfoIdentity = 1u << 11;  // volume and node id
inline constexpr CatalogInfoBitmap kCatInfoAll = (1u << 12) - 1;

// Node flags.
inline constexpr std::uint16_t kNodeIsLocked = 0x0001;
inline constexpr std::uint16_t kNodeIsFolder = 0x0010;

// Finder flags.
inline constexpr std::uint16_t kFinderFlagIsAlias = 0x8000;
inline constexpr std::uint16_t kFinderFlagIsInvisible = 0x4000;
inline constexpr std::uint16_t kFinderFlagHasBundle = 0x2000;
inline constexpr std::uint16_t kFinderFlagNameLocked = 0x1000;
inline constexpr std::uint16_t kFinderFlagIsStationery = 0x0800;
inline constexpr std::uint16_t kFinderFlagHasCustomIcon = 0x0400;
inline constexpr std::uint16_t kFinderFlagLabelMask = 0x000E;
// Extended Finder flags.
inline constexpr std::uint16_t kExtendedFlagsAreInvalid = 0x8000;
inline constexpr std::uint16_t kExtendedFlagHasCustomBadge = 0x0100;
inline constexpr std::uint16_t kExtendedFlagHasRoutingInfo = 0x0004;

// Where the 32 bytes of Finder information live.
inline constexpr const char kFinderInfoAttribute[] = "user.truvane.finderinfo";

// The 16 bytes of Finder information; the flags sit at bytes 8-9 for files and folders alike.
struct FinderInfo {
  std::array<std::uint8_t, 16> bytes{};

  values::FourCharCode Type() const { return Get32(0); }
  values::FourCharCode Creator() const { return Get32(4); }
  std::uint16_t Flags() const { return static_cast<std::uint16_t>((bytes[8] << 8) | bytes[9]); }
  void SetType(values::FourCharCode code) { Set32(0, code); }
  void SetCreator(values::FourCharCode code) { Set32(4, code); }
  void SetFlags(std::uint16_t flags) {
    bytes[8] = static_cast<std::uint8_t>(flags >> 8);
    bytes[9] = static_cast<std::uint8_t>(flags);
  }
  bool operator==(const FinderInfo& other) const = default;

 private:
  std::uint32_t Get32(int at) const {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
  }
  void Set32(int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  }
};

// The 16 bytes of extended Finder information; the extended flags sit at bytes 8-9.
struct ExtendedFinderInfo {
  std::array<std::uint8_t, 16> bytes{};

  std::uint16_t Flags() const { return static_cast<std::uint16_t>((bytes[8] << 8) | bytes[9]); }
  void SetFlags(std::uint16_t flags) {
    bytes[8] = static_cast<std::uint8_t>(flags >> 8);
    bytes[9] = static_cast<std::uint8_t>(flags);
  }
  bool operator==(const ExtendedFinderInfo& other) const = default;
};

struct ItemCatalogInfo {
  CatalogInfoBitmap valid = kCatInfoNone;  // the kinds filled in
  std::uint16_t node_flags = 0;
  FinderInfo finder_info;
  ExtendedFinderInfo ext_finder_info;
  std::uint64_t data_logical_size = 0;
  std::uint64_t data_physical_size = 0;
  std::uint64_t rsrc_logical_size = 0;
  std::uint64_t rsrc_physical_size = 0;
  std::uint32_t user_id = 0;
  std::uint32_t group_id = 0;
  std::uint16_t mode = 0;
  std::optional<values::Date> create_date;  // absent where the file system keeps none
  values::Date attribute_mod_date;
  values::Date content_mod_date;
  values::Date access_date;
  std::uint64_t volume = 0;
  std::uint64_t node_id = 0;

  bool IsFolder() const { return node_flags & kNodeIsFolder; }
};

// Builds the record for `item` from what the file system said (`info`), reading the
// Finder-information attribute only when `which` asks for it.
ItemCatalogInfo MakeItemCatalogInfo(const files::FileRef& item, const files::CatalogInfo& info,
                                    CatalogInfoBitmap which);
files::Result<ItemCatalogInfo> GetItemCatalogInfo(const files::FileRef& item, CatalogInfoBitmap which);

// The stored 32 bytes (zeros when none are stored), without the derived flags.
files::Status ReadStoredFinderInfo(const files::FileRef& item, FinderInfo& info, ExtendedFinderInfo& ext);
files::Status WriteStoredFinderInfo(const files::FileRef& item, const FinderInfo& info,
                                    const ExtendedFinderInfo& ext);
