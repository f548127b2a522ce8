#include "app/prefs/apply/sharing_restart.h"

#include <gtest/gtest.h>

namespace {

using prefs_window::DecideSharingRestart;
using prefs_window::RunningSharingServers;
using prefs_window::SharingRestartPlan;
using prefs_window::SharingServerSettings;

constexpr SharingServerSettings kSharing{true, 4, 4, 2550, true};
constexpr RunningSharingServers kAllRunning{true, true, true};

SharingServerSettings With(SharingServerSettings s, void (*change)(SharingServerSettings&)) {
  change(s);
  return s;
}

TEST(SharingRestart, DecisionTable) {
  struct Case {
    const char* name;
    SharingServerSettings before;
    SharingServerSettings after;
    RunningSharingServers running;
    SharingRestartPlan plan;
  };
  const Case cases[] = {
      {"nothing changed: both keep running, the sharing service stays registered", kSharing, kSharing,
       kAllRunning, SharingRestartPlan{.registerSharingService = true}},
      {"only the port changed: both restart and both services move to the new ports", kSharing,
       With(kSharing, [](SharingServerSettings& s) { s.port = 3000; }), kAllRunning,
       SharingRestartPlan{.stopLineServer = true,
                          .startLineServer = true,
                          .stopFileServer = true,
                          .startFileServer = true,
                          .withdrawFileService = true,
                          .registerFileService = true,
                          .registerSharingService = true}},
      {"no downloads and no uploads: only the file server stops", kSharing,
       With(kSharing,
            [](SharingServerSettings& s) {
              s.maxDownloads = 0;
              s.maxUploads = 0;
            }),
       kAllRunning,
       SharingRestartPlan{
           .stopFileServer = true, .withdrawFileService = true, .registerSharingService = true}},
      {"no uploads: the file server keeps serving downloads, its service goes", kSharing,
       With(kSharing, [](SharingServerSettings& s) { s.maxUploads = 0; }), kAllRunning,
       SharingRestartPlan{.withdrawFileService = true, .registerSharingService = true}},
      {"sharing switched off: both stop", kSharing,
       With(kSharing, [](SharingServerSettings& s) { s.shareFolders = false; }), kAllRunning,
       SharingRestartPlan{.stopLineServer = true, .stopFileServer = true, .withdrawFileService = true}},
      {"sharing switched on: both start and register",
       With(kSharing, [](SharingServerSettings& s) { s.shareFolders = false; }), kSharing,
       RunningSharingServers{},
       SharingRestartPlan{.startLineServer = true,
                          .startFileServer = true,
                          .registerFileService = true,
                          .registerSharingService = true}},
      {"sharing off and nothing running: nothing to do",
       With(kSharing, [](SharingServerSettings& s) { s.shareFolders = false; }),
       With(kSharing, [](SharingServerSettings& s) { s.shareFolders = false; }), RunningSharingServers{},
       SharingRestartPlan{}},
      {"advertising off: both services withdrawn, servers untouched", kSharing,
       With(kSharing, [](SharingServerSettings& s) { s.advertise = false; }), kAllRunning,
       SharingRestartPlan{.withdrawFileService = true, .withdrawSharingService = true}},
      {"a server that failed to start is started again", kSharing, kSharing,
       RunningSharingServers{true, false, false},
       SharingRestartPlan{
           .startFileServer = true, .registerFileService = true, .registerSharingService = true}},
  };
  for (const Case& c : cases) {
    SharingRestartPlan plan = DecideSharingRestart(c.before, c.after, c.running);
    EXPECT_EQ(plan, c.plan) << c.name;
  }
}

}  // namespace
