#include "app/queue/events/post_download_actions.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <utility>

#include "app/engine/log/transfer_log.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/util/settings/settings_store.h"
#include "platform/desktop/process_launcher.h"
#include "platform/desktop/system_actions.h"
#include "platform/desktop/workspace.h"
#include "platform/files/catalog_info.h"
#include "platform/runtime/event_queue.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace queue {
namespace {

struct ActionState {
  std::optional<std::string> scriptsFolder;
  ScriptLauncher launcher;
  std::function<void()> quit;
};

ActionState& State() {
  static ActionState state;
  return state;
}

files::OSErr PerformSystemAction(desktop::SystemAction action) {
  // procNotFound, as when the session's process cannot be reached.
  return desktop::SystemActionsSlot::Get().Perform(action) ? files::OSErr{0} : files::OSErr{-600};
}

std::string ProgramFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

}  // namespace

void PerformCompletionAction(const std::optional<std::string>& scriptName, std::int32_t completionType) {
  switch (completionType) {
    case kCompletionStartQueue:
      StartQueue();
      break;
    case kCompletionStopQueue:
      // Running downloads stop only when the user wants them to stop with the queue.
      StopQueue(util::CurrentSettings()->downloadsStopWithQueue);
      break;
    case kCompletionQuit:
      QuitApplication();
      break;
    case kCompletionShutDown:
      ShutDownComputer();
      break;
    case kCompletionRunScript:
      if (scriptName && !scriptName->empty()) RunScriptResource(*scriptName);
      break;
    case kCompletionSleep:
      SleepComputer();
      break;
    case kCompletionLogOut:
      LogOutUser();
      break;
    default:
      break;
  }
}

void RunPostDownloadAction(std::int32_t action) {
  switch (action) {
    case kPostActionDisconnectModem:
      RunDisconnectModemScript();
      break;
    case kPostActionQuit:
      QuitApplication();
      break;
    case kPostActionShutDown:
      ShutDownComputer();
      break;
    case kPostActionSleep:
      SleepComputer();
      break;
    case kPostActionLogOut:
      LogOutUser();
      break;
    default:
      break;
  }
}

files::FileRef ScriptsFolder() {
  if (State().scriptsFolder) return files::FileRef(*State().scriptsFolder);
  if (const char* env = std::getenv("TRUVANE_RESOURCES"); env != nullptr && *env != '\0') {
    return files::FileRef(env).Child("Scripts");
  }
  const std::string program = ProgramFolder();
  if (program.empty()) return {};
  return files::FileRef(program).Parent().Child("share/truvane/Scripts");
}

void SetScriptsFolder(std::optional<std::string> folder) {
  State().scriptsFolder = std::move(folder);
}

void SetScriptLauncher(ScriptLauncher launcher) {
  State().launcher = std::move(launcher);
}

files::OSErr RunScriptResource(const std::string& name) {
  // A name from the queue file must stay inside the scripts folder.
  if (!files::ValidateItemName(name).ok()) return 0;
  const files::FileRef folder = ScriptsFolder();
  if (folder.empty()) return 0;
  const files::FileRef script = folder.Child(name);
  if (!files::Exists(script) || files::IsFolder(script)) return 0;
  return RunScriptFile(script);
}

files::OSErr RunDisconnectModemScript() {
  return RunScriptResource(kDisconnectModemScript);
}

files::OSErr RunScriptFile(const files::FileRef& script) {
  auto info = files::GetCatalogInfo(script, files::LinkMode::kFollow);
  if (!info.ok() || files::IsFolder(script)) return -43;
  if (static_cast<std::int64_t>(info.value().size) >= kMaxScriptSize) return -108;
  const std::vector<std::string> argv{script.Path()};
  const bool started = State().launcher ? State().launcher(argv) : desktop::LaunchDetached(argv);
  return started ? 0 : -36;
}

void QuitApplication() {
  if (State().quit) {
    State().quit();
  } else {
    runtime::QuitApplicationEventLoop();
  }
}

void SetQuitApplicationHandler(std::function<void()> handler) {
  State().quit = std::move(handler);
}

files::OSErr ShutDownComputer() {
  return PerformSystemAction(desktop::SystemAction::kShutDown);
}
files::OSErr SleepComputer() {
  return PerformSystemAction(desktop::SystemAction::kSleep);
}
files::OSErr LogOutUser() {
  return PerformSystemAction(desktop::SystemAction::kLogOut);
}

void ApplyFileTypeAndPostProcess(const files::FileRef& file, bool postProcess, const std::string& fileName,
                                 const std::string&, std::uint32_t uid) {
  if (!postProcess) return;
  const auto settings = util::CurrentSettings();
  if (!settings->postProcess) return;
  std::string_view types = settings->postProcessTypes;
  while (!types.empty()) {
    const std::size_t cut = types.find(';');
    const std::string_view piece = types.substr(0, cut);
    types = cut == std::string_view::npos ? std::string_view() : types.substr(cut + 1);
    if (piece.empty() || fileName.size() < piece.size()) continue;
    if (fileName.compare(fileName.size() - piece.size(), piece.size(), piece) != 0) continue;
    desktop::Workspace& workspace = desktop::WorkspaceSlot::Get();
    if (!workspace.HasDisplay()) {
      engine::AppendTransferLog(
          values::Format(values::Localized("%@ was not opened: there is no display to open it on\r"),
                         {fileName}),
          uid, nullptr);
      return;
    }
    workspace.OpenFile(file.Path());
    return;
  }
}

files::OSErr RevealInFinder(const files::FileRef& item) {
  if (item.empty()) return -50;
  if (files::IsFolder(item)) return desktop::WorkspaceSlot::Get().OpenFile(item.Path()) ? 0 : -43;
  return desktop::WorkspaceSlot::Get().RevealItem(item.Path()) ? 0 : -43;
}

files::OSErr FinderOpenItems(const std::vector<files::FileRef>& items) {
  if (items.empty()) return -50;
  files::OSErr result = 0;
  for (const files::FileRef& item : items) {
    if (!desktop::WorkspaceSlot::Get().OpenFile(item.Path())) result = -43;
  }
  return result;
}

}  // namespace queue
