// The file manager's contextual-menu plug-in: one command that sends the selection to
// Truvane for upload to the file-hosting service ('TrES'/'STRa'), starting Truvane when
// it is not running. Two settings of the application hide the command; the application
// announces their change with a distributed notification, after which the next menu
// reads them again.

#include <cstring>
#include <memory>

#include "platform/prefs/preference_store.h"
#include "platform/runtime/distributed_notification_center.h"
#include "platform/runtime/run_loop.h"
#include "plugins/app_handoff/app_handoff.h"
#include "plugins/finder_menu/cm_interface.h"
#include "plugins/finder_menu/menu_command.h"

#define TRUVANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The plug-in's own factory id (the bundle's description names it with the factory).
[[maybe_unused]] constexpr TruvaneUUIDBytes kFactoryID = {
    {0xB5, 0x75, 0xE9, 0x4D, 0x74, 0xFA, 0x44, 0x01, 0xBE, 0x97, 0x54, 0x7F, 0xD7, 0xB4, 0xF4, 0x74}};

struct CMInstance {
  const ContextualMenuInterfaceStruct* interface;
  TruvaneUUIDBytes factoryID;
  std::int32_t refCount;
  // The settings as last read; read again when the application says they changed.
  std::unique_ptr<prefs::PreferenceStore> preferences;
  std::shared_ptr<runtime::DistributedNotificationCenter> center;
  runtime::Subscription observation;
};

// Instances alive per factory (the plug-in stays loaded while there are any).
int gFactoryInstances = 0;

bool SameID(const TruvaneUUIDBytes& a, const TruvaneUUIDBytes& b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

std::unique_ptr<prefs::PreferenceStore> OpenPreferences() {
  auto store = std::make_unique<prefs::PreferenceStore>(prefs::DefaultPreferencesFolder());
  store->SetLogHook([](const std::string&) {});
  return store;
}

void prefschangedCallback(CMInstance* self) {
  self->preferences = OpenPreferences();
}

bool GetValue(CMInstance* self, const char* key, bool defaultValue) {
  return self->preferences->GetBool(key).value_or(defaultValue);
}

HRESULT TruvaneCMPlugin_QueryInterface(void* self, TruvaneUUIDBytes iid, void** out);
std::uint32_t TruvaneCMPlugin_AddRef(void* self);
std::uint32_t TruvaneCMPlugin_Release(void* self);
OSStatus TruvaneCMPlugin_ExamineContext(void* self, const AEDesc* context, AEDescList* commands);
OSStatus TruvaneCMPlugin_HandleSelection(void* self, AEDesc* context, std::int32_t commandID);
void TruvaneCMPlugin_PostMenuCleanup(void*) {}

const ContextualMenuInterfaceStruct gSampleCMInterface = {
    nullptr,
    TruvaneCMPlugin_QueryInterface,
    TruvaneCMPlugin_AddRef,
    TruvaneCMPlugin_Release,
    TruvaneCMPlugin_ExamineContext,
    TruvaneCMPlugin_HandleSelection,
    TruvaneCMPlugin_PostMenuCleanup,
};

HRESULT TruvaneCMPlugin_QueryInterface(void* self, TruvaneUUIDBytes iid, void** out) {
  if (SameID(iid, kContextualMenuInterfaceID) || SameID(iid, kIUnknownInterfaceID)) {
    TruvaneCMPlugin_AddRef(self);
    if (out) *out = self;
    return S_OK;
  }
  if (out) *out = nullptr;
  return E_NOINTERFACE;
}

std::uint32_t TruvaneCMPlugin_AddRef(void* self) {
  return static_cast<std::uint32_t>(++static_cast<CMInstance*>(self)->refCount);
}

std::uint32_t TruvaneCMPlugin_Release(void* self) {
  auto* instance = static_cast<CMInstance*>(self);
  const std::int32_t count = --instance->refCount;
  if (count == 0) {
    instance->observation = {};
    delete instance;
    --gFactoryInstances;
  }
  return static_cast<std::uint32_t>(count);
}

OSStatus TruvaneCMPlugin_ExamineContext(void* self, const AEDesc* context, AEDescList* commands) {
  auto* instance = static_cast<CMInstance*>(self);
  // The settings' change notice waits on this thread's loop (the plug-in's own: it does
  // not share the file manager's); it is taken now, so this menu sees the new values.
  runtime::RunLoop::Current()->RunFor(std::chrono::nanoseconds(0));
  if (!GetValue(instance, findermenu::kShowUploadMenuKey, true) ||
      !GetValue(instance, findermenu::kAdvancedModeKey, true)) {
    return noErr;
  }
  if (!context || !commands) return noErr;
  const auto title = findermenu::UploadCommandTitle(*context);
  if (title)
    findermenu::Command_AddToAEDescList(*title, static_cast<std::int32_t>(findermenu::kUploadCommandID),
                                        *commands);
  return noErr;
}

OSStatus TruvaneCMPlugin_HandleSelection(void*, AEDesc* context, std::int32_t commandID) {
  if (commandID != static_cast<std::int32_t>(findermenu::kUploadCommandID) || !context || !context->IsList())
    return noErr;
  plugins::HandoffOptions options;
  options.locations = plugins::FinderPluginLocations();
  const AEDesc selection = *context;
  plugins::SendOrLaunch([&](bool) { return findermenu::CreateUploadAppleEvent(selection); }, options);
  return noErr;
}

}  // namespace

TRUVANE_EXPORT void* TruvaneCMPlugin_Factory(void*, const TruvaneUUIDBytes* typeID) {
  if (!typeID || !SameID(*typeID, kContextualMenuTypeID)) return nullptr;
  auto* instance = new CMInstance{&gSampleCMInterface, kFactoryID, 1, OpenPreferences(), {}, {}};
  ++gFactoryInstances;
  // Delivered on the loop of the thread that made the instance, the file manager's main
  // thread, when the next menu is examined.
  instance->center = runtime::DistributedNotificationCenter::Open();
  instance->observation = instance->center->AddObserver(
      std::string(runtime::kContextPrefsChangeNotification),
      [instance](const std::string&, const values::Value&) { prefschangedCallback(instance); });
  return instance;
}

// How many instances are alive (the file manager's count of the factory's instances).
TRUVANE_EXPORT int TruvaneCMPlugin_InstanceCount() {
  return gFactoryInstances;
}
