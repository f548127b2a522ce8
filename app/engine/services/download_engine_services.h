#pragma once
// What the download queue asks of the download engine: start one download's task, and the
// per-host counts of running downloads that the queue's host limits read.
//
// StartDownload (queue) fills a DownloadThreadState and hands it over; from then on only
// the task touches it. The queue keeps two handles on the running task: the stop source
// (signalled from the main thread; the task's perform callback quits its loop) and the
// controller (the main thread's way to answer the task, e.g. with credentials). The task
// reports by posting 'TRDc' events to the main event queue and ends with kind 1.
//
// The engine registers its implementation at start-up with DownloadEngineServicesSlot::Set().
// Until it does there is no engine: StartDownloadTask makes nothing and answers null, and
// the queue marks the download failed rather than leave it "starting" for ever.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/runtime/service_slot.h"
#include "platform/values/url.h"
#include "platform/values/value.h"

namespace engine {

// Signalled once to stop a running task; the task installs what stopping does for it.
class DownloadStopSource {
 public:
  void Signal() {
    std::function<void()> perform;
    {
      std::lock_guard lock(mutex_);
      signalled_ = true;
      perform = perform_;
    }
    if (perform) perform();
  }
  bool IsSignalled() const { return signalled_.load(); }
  // Runs at once when already signalled.
  void SetPerform(std::function<void()> perform) {
    std::function<void()> run;
    {
      std::lock_guard lock(mutex_);
      perform_ = std::move(perform);
      if (signalled_.load()) run = perform_;
    }
    if (run) run();
  }

 private:
  std::mutex mutex_;
  std::atomic<bool> signalled_{false};
  std::function<void()> perform_;
};

// The main thread's handle on a running task.
class DownloadTaskController {
 public:
  virtual ~DownloadTaskController() = default;
  // Answers the task's request for credentials ('TRCo' kind 2); nothing for both clears them.
  virtual void SupplyCredentials(const std::optional<std::string>& user,
                                 const std::optional<std::string>& password) = 0;
  // Goes on after the user accepted a server certificate ('TRCo' kind 1).
  virtual void ContinueAfterCertificate(bool /*alwaysTrust*/) {}
  // The certificate was not trusted ('TRCo' kind 3): the download fails, naming the host
  // and the certificate's problem.
  virtual void RefuseCertificate() {}
};

// The context of one download task, filled by the queue, owned by the task.
struct DownloadThreadState {
  std::uint32_t uid = 0;
  values::Array urlEntries;  // copies of the record's entries
  std::string dataFile;      // path of the data file
  std::string rangesFile;    // path of "downloadInfo"
  std::int64_t totalSize = 0;
  bool sizeKnown = false;
  std::int32_t wantedConnections = 1;
  std::int16_t flags = 0;
  std::int32_t priority = 0;
  bool taskOption = false;  // bit 1 of the record's flags
  std::optional<std::string> checksum;
  std::optional<std::string> user;  // only when the download uses authentication
  std::optional<std::string> password;
  std::string userAgent;
  std::map<std::string, std::int32_t> hostCounts;  // the per-host counts this download holds
  std::shared_ptr<DownloadStopSource> stopSource;
};

class DownloadEngineServices {
 public:
  virtual ~DownloadEngineServices() = default;
  // Creates the task; null when it could not be made.
  virtual std::shared_ptr<DownloadTaskController> StartDownloadTask(
      std::unique_ptr<DownloadThreadState> state) = 0;
};

class NoDownloadEngine : public DownloadEngineServices {
 public:
  std::shared_ptr<DownloadTaskController> StartDownloadTask(std::unique_ptr<DownloadThreadState>) override {
    return nullptr;
  }
};

using DownloadEngineServicesSlot = runtime::ServiceSlot<DownloadEngineServices, NoDownloadEngine>;

// The per-host counts of running downloads: host name to count, under one lock. The
// queue reads them to respect the host limits; tasks give their counts back as they end.
class HostCounts {
 public:
  // Runs `f` with the table, inside its lock.
  template <class F>
  auto With(F&& f) {
    std::lock_guard lock(mutex_);
    return f(counts_);
  }
  std::int32_t Count(const std::string& host) {
    return With([&](auto& counts) {
      auto it = counts.find(host);
      return it == counts.end() ? 0 : it->second;
    });
  }
  // Counts the URL's host here and, when given, in the download's own table.
  void IncrementForURL(const values::Url& url, std::map<std::string, std::int32_t>* local) {
    const auto host = url.Host();
    if (!host) return;
    With([&](auto& counts) { return ++counts[*host]; });
    if (local) ++(*local)[*host];
  }
  // Gives back what a download held.
  void Release(const std::map<std::string, std::int32_t>& held) {
    With([&](auto& counts) {
      for (const auto& [host, n] : held) {
        auto it = counts.find(host);
        if (it == counts.end()) continue;
        it->second -= n;
        if (it->second <= 0) counts.erase(it);
      }
      return 0;
    });
  }
  void Clear() {
    With([](auto& counts) {
      counts.clear();
      return 0;
    });
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::int32_t> counts_;
};

inline HostCounts& GetHostCounts() {
  static HostCounts counts;
  return counts;
}

}  // namespace engine
