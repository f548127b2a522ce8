#pragma once
// The open remote connections as the source list shows them: one `Host` per connected FTP,
// FTPS, iDisk or WebDAV server, copy found by Bonjour or copy reached by address, in
// connection order (`gHosts`). The Host at index i is the source-list row 1025 + i; removing
// a Host relabels the rows after it and drops the row left over at the end.
//
// A Host only names its connection by type and id; the connection lives with its owner
// (the FTP roots in ftp_node.h). The source list reads the rows through
// RemoteRowsService::CopyHostRows; rows are added, removed and marked busy through
// ui::SourceListRowsService, other changes are told through RemoteHostRowHooks.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browser/services/remote_rows.h"

namespace browser {

class FTPNode;

inline constexpr std::uint32_t kFirstHostViewID = 1025;
inline constexpr std::uint32_t kLastHostViewID = 4095;

class Host {
 public:
  std::int32_t type = 0;
  std::uint32_t hostID = 0;  // type 3
  std::string rendezvousName;
  std::uint32_t ftpHostID = 0;     // types 1, 4
  std::uint32_t dotMacHostID = 0;  // types 5-7
  std::string label;
  std::int32_t viewType = 0;  // 0 the "splitpanes" preference, 1 split panes, 2 single pane
  std::optional<std::string> localFolder;
  bool busy = false;
  bool disabled = false;  // the row's state bit 16

  bool usingSplitPanes() const;
  // FTP: the root's host with its path; peers: the label; others: "".
  std::string copyPath() const;
};
using HostRef = std::shared_ptr<Host>;

// <0, 0, >0. FTPS counts as FTP; the same type compares by label ignoring case; different
// types by rank (3, then 2, then 1/4, then 5, then 6/7) and, at equal rank, by type, so that
// the order is a strict weak ordering.
int HostCompare(const Host& a, const Host& b);

void AddFTPHost(std::uint32_t ftpHostID, bool secure);
void AddBonjourPeerHost(const std::string& serviceName);
std::size_t AddPeerHost(std::uint32_t hostID, const std::optional<std::string>& localFolder);
void AddWebDAVHost(std::uint32_t dotMacHostID, bool secure);
void AddIdiskHost(std::uint32_t dotMacHostID);
void RemoveFTPHost(std::uint32_t ftpHostID);
void RemoveBonjourPeerHost(const std::string& serviceName);
void RemovePeerHost(std::uint32_t hostID);
void RemoveDotMacHost(std::uint32_t dotMacHostID);

std::size_t GetHostCount();
HostRef GetHostAtIndex(std::size_t index);
int FindFTPHostIndex(std::uint32_t ftpHostID);
int FindPeerHostIndex(std::uint32_t hostID);
int FindBonjourHostIndex(const std::string& serviceName);
int FindDotMacHostIndex(std::uint32_t dotMacHostID);
// The Host of a source-list row; nothing outside 1025-4095 or past the list.
HostRef HostForViewID(std::uint32_t viewID);
std::vector<HostRef> SortHosts();

void SetFTPHostRowBusy(std::uint32_t ftpHostID, bool busy);
void SetFTPHostRowDisabled(std::uint32_t ftpHostID, bool disabled);
// Tells the source list that labels, icons or order changed.
void UpdateHostRows();
std::vector<RemoteHostRow> CopyHostRows();

bool HostSetLocalFolderPath(const HostRef& host, const std::string& path);
std::optional<std::string> HostCopyFavouriteName(const HostRef& host);
void HostDisconnect(const HostRef& host);
void HostRefresh(const HostRef& host);

// Makes the root (FTPNodeCreateRoot), adds its Host, links the favourite and opens the
// connection; nothing when the location gives no URL.
std::shared_ptr<FTPNode> ConnectFTPServer(const std::string& address, const std::string& user,
                                          const std::string& password,
                                          const std::optional<std::string>& favourite, bool secure);

// Tests: forgets every host.
void ClearHosts();

}  // namespace browser
