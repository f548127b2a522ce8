#pragma once
// View identifiers: one 32-bit number names every row of the source list and every list
// the main window can show. Fixed numbers for the built-in rows, ranges for the rest.

#include <cstdint>

namespace queue {

using ViewID = std::uint32_t;

inline constexpr ViewID kMyDownloadsViewID = 1;
inline constexpr ViewID kHistoryViewID = 2;
inline constexpr ViewID kFiltersViewID = 4;
inline constexpr ViewID kMyServersViewID = 7;
inline constexpr ViewID kMyUploadsViewID = 20;
inline constexpr ViewID kPeerHostsViewID = 21;
inline constexpr ViewID kReceivedFilesViewID = 22;
inline constexpr ViewID kFTPHostsViewID = 23;
inline constexpr ViewID kIDiskHostsViewID = 24;
inline constexpr ViewID kWebDAVHostsViewID = 25;

// Section rows (no folder of their own).
inline constexpr ViewID kLibrarySectionID = 100;
inline constexpr ViewID kSearchForSectionID = 101;
inline constexpr ViewID kRemoteServersSectionID = 102;
inline constexpr ViewID kMyFoldersSectionID = 103;

// Date smart folders: Today, Yesterday, Past Week, Past Month.
inline constexpr ViewID kTodayFolderID = 200;
inline constexpr ViewID kLastDateFolderID = 203;

inline constexpr ViewID kFirstHostViewID = 1025;
inline constexpr ViewID kLastHostViewID = 4095;

inline constexpr ViewID kFirstUserFolderID = 0x100000;
inline constexpr ViewID kLastUserFolderID = 0x3FFFFF;
inline constexpr ViewID kFirstSmartFolderID = 0x400000;
inline constexpr ViewID kLastSmartFolderID = 0x7D0900;
// The six smart folders by file type.
inline constexpr ViewID kFirstTypeSmartFolderID = 0x400001;
inline constexpr ViewID kLastTypeSmartFolderID = 0x400006;
// The range new user smart folders are allotted from.
inline constexpr ViewID kFirstUserSmartFolderID = 0x40000A;
inline constexpr ViewID kLastUserSmartFolderID = 0x7D08FF;

constexpr bool IsUserFolderID(ViewID id) {
  return id >= kFirstUserFolderID && id <= kLastUserFolderID;
}
constexpr bool IsSmartFolderID(ViewID id) {
  return id >= kFirstSmartFolderID && id <= kLastSmartFolderID;
}
constexpr bool IsDateFolderID(ViewID id) {
  return id >= kTodayFolderID && id <= kLastDateFolderID;
}
constexpr bool IsRemovableFolderID(ViewID id) {
  return id >= kFirstUserFolderID && id <= kLastSmartFolderID;
}
constexpr bool IsRemoteHostViewID(ViewID id) {
  return id >= kFirstHostViewID && id <= kLastHostViewID;
}

}  // namespace queue
