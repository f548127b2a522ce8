#pragma once
// The settings the queue core reads, as one snapshot taken from the settings store (its
// settings in memory, and "encrypt queue" through the user-defaults view). Tests put a
// provider of their own in its place.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace queue {

struct QueueSettings {
  std::int32_t defaultPorts = 3;            // "Default Ports": connections of a new download
  bool encryptQueue = false;                // "encrypt queue": credentials enciphered in the queue file
  bool useErrorLog = false;                 // "Use Error Log": failures to the log only
  bool limitSimultaneousDownloads = false;  // "limit sim dls"
  std::int32_t maxDomainDownloads = 1;      // "maxDomainDownloads"; 0 counts as 1
  std::map<std::string, std::int32_t> domainLimits;  // "domainLimits": host or ".suffix" to limit
  bool switchMain = false;                           // "switchMain"
  std::string userAgent;                             // "User agent"
  bool downloadsStopWithQueue = true;                // "Downloads stop with queue"
};

// Replaces the source of the settings (nullptr: the settings store).
void SetQueueSettingsProvider(std::function<QueueSettings()> provider);
QueueSettings CurrentQueueSettings();

}  // namespace queue
