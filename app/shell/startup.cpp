#include "app/shell/startup.h"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/browser/favourites/favourites.h"
#include "app/browser/hosts/host_list.h"
#include "app/browser/remote_browser.h"
#include "app/browser/services/ftp_upload_hooks.h"
#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/log/transfer_log.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/services/transfer_log_records.h"
#include "app/engine/task/download_task.h"
#include "app/queue/adding/scheduled_items.h"
#include "app/queue/events/completion.h"
#include "app/queue/events/download_events.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/history/history.h"
#include "app/queue/install/queue_pieces.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/schedule/queue_schedule.h"
#include "app/queue/smartfolders/element_metadata.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/trust/host_policy_manager.h"
#include "app/shell/application_event_handler.h"
#include "app/shell/application_services.h"
#include "app/shell/certificate_questions.h"
#include "app/shell/confirmation_alerts.h"
#include "app/shell/credentials_startup.h"
#include "app/shell/dock_menu.h"
#include "app/shell/dock_tile.h"
#include "app/shell/main_menu_bar.h"
#include "app/shell/scripting_suite.h"
#include "app/shell/services_report.h"
#include "app/shell/settings_hooks.h"
#include "app/shell/sharing_startup.h"
#include "app/shell/shell_hooks.h"
#include "app/shell/shell_timers.h"
#include "app/shell/shutdown.h"
#include "app/shell/termination_signals.h"
#include "app/shell/toolbox_ui_services.h"
#include "app/shell/upload_startup.h"
#include "app/shell/user_messages.h"
#include "app/shell/windowed_application_windows.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_services.h"
#include "app/ui/rate_history/bandwidth_window.h"
#include "app/ui/services/confirmation_service.h"
#include "app/ui/services/local_pane_hosts.h"
#include "app/ui/services/main_list_browser.h"
#include "app/ui/transfer_log/transfer_log_windows.h"
#include "app/ui/views/resource_images.h"
#include "app/upload/interface/upload_interface.h"
#include "app/util/helpers/task_helpers.h"
#include "app/util/settings/default_settings.h"
#include "app/util/settings/plugin_file_types.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/english_texts.h"
#include "platform/appleevents/event_client.h"
#include "platform/appleevents/event_server.h"
#include "platform/appleevents/initial_event.h"
#include "platform/net/interface_reachability.h"
#include "platform/net/proxy_settings.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/main_thread.h"
#include "platform/runtime/message_queue.h"
#include "platform/toolbox/app/app_icon.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/menus/tray_icon.h"
#include "platform/toolbox/theme/font.h"
#include "platform/toolbox/windows/release_all_windows.h"
#include "platform/values/localize.h"

namespace shell {

bool gLaunching = false;
queue::ViewID gCurrentViewID = queue::kMyDownloadsViewID;

namespace {

using values::FourCC;

constexpr rlim_t kOpenFilesWanted = 1200;
constexpr rlim_t kProcessesWanted = 300;
// How long a second copy waits for the running one to answer the event it hands over.
constexpr std::chrono::seconds kForwardTimeout{60};

std::function<void(std::string_view)>& StepObserver() {
  static std::function<void(std::string_view)> observer;
  return observer;
}

void Step(std::string_view name) {
  if (StepObserver()) StepObserver()(name);
}

// The transfers the quit has just stopped (a reception cut short) posted their last log
// lines to the main queue, which no loop takes from any more: they are written now. Other
// events stay queued as they were.
void WriteQueuedLogLines() {
  std::vector<runtime::EventRef> others;
  runtime::EventRef event;
  while (runtime::ReceiveNextEvent(runtime::Nanoseconds(0), event) == runtime::kNoErr) {
    if (util::LogMessageOfEvent(*event)) {
      runtime::DispatchEvent(*event, true);
    } else {
      others.push_back(std::move(event));
    }
  }
  for (auto& e : others) runtime::EventQueue::Main()->Post(std::move(e));
}

void LogToGlobalLog(const char* key) {
  engine::LogMessageToGlobalLog(false, "%@", {values::Localized(key)});
}

std::string ProgramPath() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// "last location": where the program was last started from, for the plug-ins that start
// it. Synchronised only when it moved, so an unchanged launch writes nothing.
void StoreLastLocation() {
  const std::string path = ProgramPath();
  if (path.empty()) return;
  const auto old = util::ReadStoredSetting(util::kLastLocationKey);
  util::WriteSetting(util::kLastLocationKey, path);
  if (!old || *old != path) util::SynchronizeSettings();
}

// A first-launch step: runs once per user, the flag set before the step runs so that a
// step that fails is not retried at every launch. A step whose owner is not part of this
// program does not run, so its flag stays clear: the first launch that has the step runs it.
void RunOnce(util::SettingKey<bool> flag, const std::function<void()>& step) {
  if (!step || util::ReadSetting(flag)) return;
  util::WriteSetting(flag, true);
  step();
}

}  // namespace

struct ShellSession {
  std::shared_ptr<appleevents::HandlerTable> handlers = std::make_shared<appleevents::HandlerTable>();
  std::unique_ptr<appleevents::EventServer> eventServer;
  std::unique_ptr<engine::BandwidthLimiter> downloadLimiter;
  std::unique_ptr<engine::BandwidthLimiter> uploadLimiter;
  runtime::QueueId rateSamples = 0;
  std::uint64_t proxyListener = 0;
  std::shared_ptr<ReachabilityWatch> networkWatch;
  std::shared_ptr<runtime::Timer> reconnectTimer;
  std::shared_ptr<runtime::Timer> interfaceCheck;
  std::shared_ptr<runtime::Observer> passObserver;
  std::shared_ptr<runtime::Observer> undoObserver;
  runtime::HandlerRef downloadEvents;
  runtime::HandlerRef applicationEvents;
  runtime::HandlerRef uploadEvents;
  ShellTimers timers;
  bool started = false;
};

void SetStartupStepObserver(std::function<void(std::string_view)> observer) {
  StepObserver() = std::move(observer);
}

rlim_t RaiseSoftLimit(int resource, rlim_t wanted) {
  rlimit limit{};
  if (::getrlimit(resource, &limit) != 0) return 0;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted) return limit.rlim_cur;
  const rlim_t target = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
  if (target <= limit.rlim_cur) return limit.rlim_cur;
  rlimit raised{target, limit.rlim_max};
  if (::setrlimit(resource, &raised) != 0) return limit.rlim_cur;
  return target;
}

void RaiseProcessLimits() {
  RaiseSoftLimit(RLIMIT_NOFILE, kOpenFilesWanted);
  RaiseSoftLimit(RLIMIT_NPROC, kProcessesWanted);
}

queue::ViewID ChooseCurrentView(std::optional<std::int64_t> lastFolder) {
  if (!lastFolder || *lastFolder <= 0 || *lastFolder > UINT32_MAX) return queue::kMyDownloadsViewID;
  const auto view = static_cast<queue::ViewID>(*lastFolder);
  return queue::LookUpFolder(view) ? view : queue::kMyDownloadsViewID;
}

Shell::Shell() : session_(std::make_unique<ShellSession>()) {}
Shell::~Shell() = default;

namespace {

// Removals and clearings ask the user through the shell's alerts.
class AlertConfirmations : public ui::ConfirmationService {
 public:
  int RunConfirmationAlert(int kind, bool fileChoice) override {
    return shell::RunConfirmationAlert(kind, fileChoice);
  }
};

// Another copy owns the event socket: it gets the event this one was started with (its
// answer goes back to whoever started this one), or, without one, is asked to come forward.
void ForwardToRunningCopy() {
  appleevents::SendOptions options;
  options.timeout = kForwardTimeout;
  appleevents::AppleEvent reply = appleevents::AppleEvent::MakeReply();
  if (auto initial = appleevents::TakeInitialEvent()) {
    options.wants_reply = initial->wants_reply;
    if (appleevents::SendEvent(initial->event, reply, options) != appleevents::kNoErr) {
      reply.SetError(appleevents::kProcNotFound);
    }
    if (initial->wants_reply) appleevents::AnswerInitialEvent(*initial, reply);
    return;
  }
  options.wants_reply = false;
  appleevents::SendEvent(appleevents::AppleEvent(appleevents::kCoreEventClass, FourCC("rapp")), reply,
                         options);
}

}  // namespace

namespace {

// Start-up, step by step. Each step is named for the observer (see startup.h) and runs in
// the order of kStartupSteps; the first, claiming the event socket, may end start-up.

void RegisterEnglishTexts(ShellSession&) {
  util::RegisterEnglishTexts();
}

void SeedRandom(ShellSession&) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
}

void CreateSharedTables(ShellSession&) {
  queue::CreateScheduledItemList();
}

void RaiseLimits(ShellSession&) {
  RaiseProcessLimits();
}

void WatchProxySettings(ShellSession& s) {
  const auto main = runtime::RunLoop::Main();
  s.proxyListener = net::ProxySettingsSource::Shared().AddListener(
      [](const net::ProxySettings&) { runtime::PerformOnMainThread(ProxySettingsChanged); });
  // Reachability follows the network interfaces; nothing announces their changes, so the
  // watchers are asked again every few seconds (a cheap read of the interface list).
  net::SetReachabilityProbe(std::make_shared<net::InterfaceReachabilityProbe>());
  s.interfaceCheck =
      runtime::Timer::Create(std::chrono::seconds(5), std::chrono::seconds(5),
                             [](runtime::Timer&) { net::ReachabilityTarget::AnnounceChange(); });
  main->AddTimer(s.interfaceCheck);
}

void StartBandwidthLimiters(ShellSession& s) {
  if (runtime::CreateQueue(s.rateSamples) == runtime::kNoErr) engine::SetStatisticsQueue(s.rateSamples);
  s.downloadLimiter = engine::BandwidthLimiter::Start("download limiter");
  s.uploadLimiter = engine::BandwidthLimiter::Start("upload limiter");
  if (s.downloadLimiter)
    engine::SetLimiterQueue(engine::TransferDirection::kDownload, s.downloadLimiter->queue());
  if (s.uploadLimiter) engine::SetLimiterQueue(engine::TransferDirection::kUpload, s.uploadLimiter->queue());
  if (s.rateSamples != 0) ui::InitSpeedHistory(s.rateSamples, DrawTrayRateGraph);
  // Downloads can run from here on: the limiter they ask for bytes exists, and the launch
  // events and the queue's start below may start them.
  engine::InstallDownloadEngine();
  // Quitting waits for the download tasks this counts.
  ShellHooksSlot::Get().runningDownloadStreams = [] { return engine::RunningDownloadTaskCount(); };
}

void SetUpApplication(ShellSession& s) {
  toolbox::Application::Shared();
  InstallToolboxUiServices();
  InstallUserMessages();
  // Without a display the headless views answer certificate questions "don't trust".
  if (!toolbox::Application::Shared().IsOffscreen()) InstallCertificateQuestions();
  // With a display the main list shows the displayed views' rows; headless runs keep the
  // list that shows nothing.
  if (!toolbox::Application::Shared().IsOffscreen()) {
    // The window's services first: the main list keeps them for what it does not answer.
    ui::InstallMainWindowServices();
    ui::InstallMainList();
    // Hidden until asked for; made before the first log line so that it holds them all.
    ui::InstallTransferLogWindows();
    // The menu bar follows the view and the interface; the add-URL window and the other
    // small windows answer the scripting suite.
    InstallMainMenuBar();
    InstallWindowedApplicationWindows();
    auto& hooks = ShellHooksSlot::Get();
    if (!hooks.createMainWindow)
      hooks.createMainWindow = [] {
        ui::CreateMainWindow(ui::ReadMainWindowStartState(gCurrentViewID));
        ui::ObservePluginBrowserConfig();
      };
    if (!hooks.saveWindowState)
      hooks.saveWindowState = [] {
        ui::SaveMainWindowState();
        if (ui::GetMainWindow()) gCurrentViewID = ui::GetMainWindowCurrentView();
      };
    if (!hooks.refreshChangedRows)
      hooks.refreshChangedRows = [] {
        if (ui::MainList* list = ui::GetMainList()) list->RefreshChangedRows();
      };
  }
  ui::ConfirmationServiceSlot::Set(std::make_unique<AlertConfirmations>());
  {
    // The tray icon is the tile; without a tray its picture is made all the same.
    auto& hooks = ShellHooksSlot::Get();
    if (!hooks.updateDockTile) hooks.updateDockTile = UpdateDockTile;
    if (!hooks.restoreDockTile) hooks.restoreDockTile = RestoreDockTile;
  }
  // Before the settings are read: the settings store hands the filters and the schedule
  // to the queue while it loads them.
  queue::InstallQueuePieces();
  // Before the queue and the uploads file are loaded: the uploads answer the queue's seams.
  s.uploadEvents = InstallUploads();
  util::RegisterDefaultSettings();
  util::registerDefaultPluginTypes();
  CallHook(ShellHooksSlot::Get().setUndoRegistrationEnabled, false);
}

void StoreLastLocationStep(ShellSession&) {
  StoreLastLocation();
}

void InstallCredentialServicesStep(ShellSession&) {
  InstallCredentialServices(!toolbox::Application::Shared().IsOffscreen());
}

// After the credentials: the sharing servers ask the host-key questions they install.
void InstallSharingStep(ShellSession&) {
  InstallSharing();
}

// Before the settings are read: they hand the stored favourites to the remote browser.
void InstallRemoteBrowserStep(ShellSession&) {
  browser::InstallRemoteBrowser();
  auto& hooks = ShellHooksSlot::Get();
  hooks.connectAutoconnectFavourites = [] { browser::ConnectAutoconnectFavourites(); };
  hooks.saveFavouritesIfChanged = [] {
    if (browser::FavouritesChanged()) browser::SaveFavourites();
  };
  InstallFTPBrowserUploads();
  // The local-files pane beside a host that shows split panes.
  ui::LocalPaneHostsServiceSlot::Set(std::make_unique<ui::LocalPaneHostsFunction>(
      [](std::uint32_t view) -> std::optional<ui::LocalPaneHost> {
        const browser::HostRef host = browser::HostForViewID(view);
        if (!host) return std::nullopt;
        return ui::LocalPaneHost{host->usingSplitPanes(), host->localFolder};
      }));
}

void LoadPreferences(ShellSession&) {
  InstallSettingsHooks();
  util::LoadPreferences(false);
  util::SavePreferences();
  // Certificates the user accepted before: trusted for their hosts from the first download.
  engine::LoadAcceptedCertificates(util::CurrentSettings()->savedCerts,
                                   util::CurrentSettings()->savedCertTypes);
  toolbox::SetFontSizePreference(util::CurrentSettings()->fontSize);
}

void LoadQueueFile(ShellSession&) {
  // The stored-password cipher belongs here, before the queue is read: the credentials
  // store installs queue::QueueHooksSlot::Get().encipherCredential and decipherCredential once
  // it exists. Until then enciphered credentials are kept in memory only (the queue file
  // record says why in the transfer log).
  auto& hooks = ShellHooksSlot::Get();
  queue::LoadQueueFile();
  CallHook(hooks.loadUploadQueue);
  queue::ComputeNextScheduleTimes();
  LoadCredentials();
  queue::LoadHistory();
  queue::RefreshSharedFolderFlags();
  queue::PrepareQueueFileSaves();
}

void ChooseCurrentViewStep(ShellSession&) {
  gCurrentViewID = ChooseCurrentView(util::ReadStoredSetting(util::kLastFolderKey));
}

void SendLimiterRates(ShellSession& s) {
  const auto settings = util::CurrentSettings();
  if (s.downloadLimiter) s.downloadLimiter->SetRate(settings->downloadBandwidth.limit);
  if (s.uploadLimiter) s.uploadLimiter->SetRate(settings->uploadBandwidth.limit);
}

void InstallAppleEventHandlers(ShellSession& s) {
  InstallScriptingSuite(*s.handlers);
  InstallServiceEventHandler(*s.handlers);
}

void CreateWindows(ShellSession& s) {
  // Every window's icon, and the name by which the desktop finds truvane.desktop.
  if (auto icon = ui::GetIcon(ui::kAppCreator, ui::kAppCreator))
    toolbox::SetApplicationIcon(*icon, "truvane");
  engine::CreateGlobalLogWindow();
  // Download tasks report to the application target; the queue's handler applies them.
  engine::SetDownloadEventTarget(runtime::EventTarget::Application());
  engine::TransferLogRecordsSlot::Set(std::make_unique<queue::QueueTransferLogRecords>());
  s.downloadEvents = queue::InstallDownloadEventHandler(*runtime::EventTarget::Application());
  s.applicationEvents = InstallApplicationEventHandler(*runtime::EventTarget::Application());
  CallHook(ShellHooksSlot::Get().createMainWindow);
  if (ui::GetMainList() && queue::GetDisplayedViewSet().empty()) queue::DisplayViews({gCurrentViewID});
  if (!toolbox::Application::Shared().IsOffscreen()) {
    BuildMainMenuBar();
    InstallTrayMenu();
  }
}

// The launch events: those already waiting on the socket, then the one the program was
// started with. A quit among them ends the drain instead of the timer; it is asked again
// so that it ends the main loop at once.
void TakeLaunchEvents(ShellSession& s) {
  const auto main = runtime::RunLoop::Main();
  gLaunching = true;
  bool drainTimerFired = false;
  auto drain = runtime::Timer::Create(kLaunchEventDrain, runtime::Nanoseconds(0), [&](runtime::Timer&) {
    drainTimerFired = true;
    QuitAppEventLoopTimer();
  });
  main->AddTimer(drain);
  runtime::RunApplicationEventLoop();
  drain->Invalidate();
  const bool quitDuringDrain = !drainTimerFired;
  appleevents::HandleInitialEvent(*s.handlers);
  gLaunching = false;
  if (quitDuringDrain) runtime::QuitApplicationEventLoop();
}

void MarkQueuesReady(ShellSession&) {
  queue::gQueueReady = true;
  queue::gUploadQueueReady = true;
}

void PluginSetup(ShellSession&) {
  CallHook(ShellHooksSlot::Get().runPluginSetup, util::ReadStoredSetting(util::kSetupTypeKey).value_or(0));
}

void StartSharingServers(ShellSession&) {
  if (util::CurrentSettings()->shareFolders) CallHook(ShellHooksSlot::Get().startSharingServers);
}

void StartQueues(ShellSession& s) {
  const auto settings = util::CurrentSettings();
  const bool downloadsWaitForNetwork = settings->startOnLaunch && settings->startIfConnected;
  const bool uploadsOnLaunch = util::ReadSetting(util::kStartUploadsOnLaunchKey);
  const bool uploadsWaitForNetwork = uploadsOnLaunch && util::ReadSetting(util::kStartUploadsIfConnectedKey);
  if (downloadsWaitForNetwork || uploadsWaitForNetwork) s.networkWatch = ReachabilityWatch::Start();

  if (queue::gQueueStartPending) {
    queue::gQueueStartPending = false;
    queue::StartQueue();
  } else {
    queue::gQueueRunning = false;
    if (settings->startOnLaunch && !settings->startIfConnected) {
      queue::StartQueue();
    } else {
      queue::StopQueue(false);
    }
  }
  if (uploadsOnLaunch && !uploadsWaitForNetwork) {
    queue::StartUploadQueue();
  } else {
    queue::StopUploadQueue(false);
  }
}

void ArmTimers(ShellSession& s) {
  s.timers.Arm(*runtime::RunLoop::Main());
}

void LogStartup(ShellSession&) {
  LogToGlobalLog("Application startup successful\r");
}

void LaterSteps(ShellSession& s) {
  auto& hooks = ShellHooksSlot::Get();
  if (util::CurrentSettings()->advancedMode && util::CurrentSettings()->reconnectAtStart) {
    s.reconnectTimer = runtime::Timer::Create(kReconnectFavouritesDelay, runtime::Nanoseconds(0),
                                              [](runtime::Timer&) { ReconnectFavouritesTimer(); });
    runtime::RunLoop::Main()->AddTimer(s.reconnectTimer);
  }
  CallHook(hooks.updateDockTile);
  CallHook(hooks.startBrowsingSharingServices);
  RunOnce(util::kSmartFoldersAddedKey, queue::AddBuiltInTypeSmartFolders);
  RunOnce(util::kInitialImportKey, queue::WriteMetadataForAllElements);
  CallHook(hooks.setUndoRegistrationEnabled, true);
}

void ObservePasses(ShellSession& s) {
  const auto main = runtime::RunLoop::Main();
  s.passObserver = main->AddObserver(runtime::kActivityBeforeSources,
                                     [](runtime::RunLoopActivity) { InvalidateDayBoundaries(); });
  // One user action or one Apple event is one undo step.
  s.undoObserver = queue::InstallUndoGroupingObserver(*main);
}

void ShowWindows(ShellSession&) {
  CallHook(ShellHooksSlot::Get().showMiniWindowIfNeeded);
}

// The order matters (startup.h): settings before the queue, handlers before any window,
// the launch events before anything starts, the queues ready only after them.
constexpr struct {
  const char* name;
  void (*run)(ShellSession&);
} kStartupSteps[] = {
    {"RegisterEnglishTexts", RegisterEnglishTexts},
    {"SeedRandom", SeedRandom},
    {"CreateSharedTables", CreateSharedTables},
    {"RaiseProcessLimits", RaiseLimits},
    {"WatchProxySettings", WatchProxySettings},
    {"StartBandwidthLimiters", StartBandwidthLimiters},
    {"SetUpApplication", SetUpApplication},
    {"StoreLastLocation", StoreLastLocationStep},
    {"InstallCredentialServices", InstallCredentialServicesStep},
    {"InstallSharing", InstallSharingStep},
    {"InstallRemoteBrowser", InstallRemoteBrowserStep},
    {"LoadPreferences", LoadPreferences},
    {"LoadQueueFile", LoadQueueFile},
    {"ChooseCurrentView", ChooseCurrentViewStep},
    {"SendLimiterRates", SendLimiterRates},
    {"InstallAppleEventHandlers", InstallAppleEventHandlers},
    {"CreateWindows", CreateWindows},
    {"TakeLaunchEvents", TakeLaunchEvents},
    {"MarkQueuesReady", MarkQueuesReady},
    {"PluginSetup", PluginSetup},
    {"StartSharingServers", StartSharingServers},
    {"StartQueues", StartQueues},
    {"ArmTimers", ArmTimers},
    {"LogStartup", LogStartup},
    {"LaterSteps", LaterSteps},
    {"ObservePasses", ObservePasses},
    {"ShowWindows", ShowWindows},
};

}  // namespace

StartupOutcome Shell::StartUp() {
  ShellSession& s = *session_;

  // One copy per user, decided before anything is read or written.
  Step("ClaimEventSocket");
  const appleevents::Status claimed =
      appleevents::EventServer::Start(runtime::RunLoop::Main(), s.handlers, s.eventServer);
  if (claimed == appleevents::kAlreadyRunning) {
    ForwardToRunningCopy();
    return StartupOutcome::kForwarded;
  }
  if (claimed != appleevents::kNoErr) {
    std::fprintf(stderr, "truvane: cannot open the event socket (error %d)\n", static_cast<int>(claimed));
    return StartupOutcome::kFailed;
  }

  for (const auto& step : kStartupSteps) {
    Step(step.name);
    step.run(s);
  }

  s.started = true;
  WriteServicesReportIfAsked();
  return StartupOutcome::kStarted;
}

void Shell::RunMainLoop() {
  Step("RunMainLoop");
  runtime::RunApplicationEventLoop();
}

void Shell::Quit() {
  ShellSession& s = *session_;
  if (!s.started) return;
  s.started = false;
  auto& hooks = ShellHooksSlot::Get();
  const auto main = runtime::RunLoop::Main();

  Step("SaveWindowState");
  CallHook(hooks.saveWindowState);
  // The shown view's columns and sort go into its layout folder before the queue is saved.
  if (ui::GetMainList()) queue::ClearDisplayedViews();
  if (s.passObserver) main->RemoveObserver(s.passObserver);
  s.passObserver.reset();
  if (s.undoObserver) main->RemoveObserver(s.undoObserver);
  s.undoObserver.reset();

  Step("Shutdown");
  sharing::RefuseFileTransferConnections();
  queue::CancelWhenDoneCheck();
  Shutdown();

  Step("StopWatchers");
  net::ProxySettingsSource::Shared().RemoveListener(s.proxyListener);
  if (s.networkWatch) s.networkWatch->Stop();
  s.networkWatch.reset();
  if (s.reconnectTimer) s.reconnectTimer->Invalidate();
  if (s.interfaceCheck) main->RemoveTimer(s.interfaceCheck);
  s.interfaceCheck.reset();
  s.timers.Disarm();

  Step("SaveSettings");
  {
    const auto settings = util::CurrentSettings();
    util::SetPreferenceValue("Files transfered",
                             values::Value(values::Number::Int64(settings->filesTransferred)));
    util::SetPreferenceValue("Bytes transfered",
                             values::Value(values::Number::Int64(settings->bytesTransferred)));
    util::WriteSetting(util::kLastFolderKey, gCurrentViewID);
  }
  // "remove when" 3: the finished downloads leave the list at quit, without asking; the
  // queue file written below no longer lists them.
  if (util::ReadSetting(util::kRemoveWhenKey) == util::RemoveFinished::kAtQuit)
    queue::ClearFinishedDownloads(false);
  util::SaveBandwidthSettings();
  // The History days left expanded open so again at the next start.
  util::WriteSetting(util::kHistoryOpenKey, queue::CopyOpenHistoryDays());

  Step("SaveQueueFile");
  // A save still running on the worker ends first; one that failed leaves the queue changed.
  queue::FinishQueueFileSaves();
  if (queue::gQueueChanged || queue::gFolderSettingsChanged) queue::SaveQueueFile();
  sharing::HostPolicySaveHosts();

  Step("LogQuitting");
  LogToGlobalLog("Application Quitting\r");
  CallHook(hooks.stopSharingServices);
  WriteQueuedLogLines();

  Step("CloseWindows");
  // The windows go while the toolkit runs (their frames are saved as they close): one
  // left to the process's exit would be destroyed after the toolkit it needs.
  if (ui::GetMainWindow()) ui::DisposeMainWindow();
  if (toolbox::Application::Exists()) toolbox::ReleaseAllWindows();

  Step("Synchronize");
  util::SynchronizeSettings();
  CallHook(hooks.restoreDockTile);
  toolbox::HideTrayIcon();
  engine::CloseGlobalLog();

  // Nothing asks the limiters for bytes once the transfers have stopped.
  engine::SetLimiterQueue(engine::TransferDirection::kDownload, 0);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, 0);
  s.downloadLimiter.reset();
  s.uploadLimiter.reset();
  ui::StopSpeedHistory();
  engine::SetStatisticsQueue(0);
  if (s.rateSamples != 0) runtime::DeleteQueue(s.rateSamples);
  s.rateSamples = 0;
  s.eventServer.reset();
}

int AppMain(int argc, char** argv) {
  // Watched from the start: a signal during start-up (the launch drain runs the loop) is
  // kept for the main loop, which then ends at once.
  const auto signals = TerminationSignals::Watch(runtime::RunLoop::Main());
  Shell shell;
  switch (shell.StartUp()) {
    case StartupOutcome::kForwarded:
      return 0;
    case StartupOutcome::kFailed:
      return 1;
    case StartupOutcome::kStarted:
      break;
  }
  shell.RunMainLoop();
  shell.Quit();
  return 0;
}

}  // namespace shell
