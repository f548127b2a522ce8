// The browser plug-in's entry points. The browser loads this library for every download
// whose type the plug-in registered; instead of receiving the file, the plug-in hands the
// URL with the page's referer and cookies to Truvane in one event, lets the browser stop
// the transfer and sends the browser back to the page the user came from. A URL-list
// stream is read to its end and all its URLs go in one event. When Truvane can be neither
// reached nor started, the browser is sent to a local failure page.
//
// Every entry point runs on the browser's plug-in thread; the process-wide state below is
// therefore not locked.

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/prefs/preference_store.h"
#include "platform/values/clock.h"
#include "platform/values/fourcc.h"
#include "plugins/app_handoff/app_handoff.h"
#include "plugins/browser_plugin/duplicate_table.h"
#include "plugins/browser_plugin/handoff_event.h"
#include "plugins/browser_plugin/helper_pages.h"
#include "plugins/browser_plugin/np_interface.h"
#include "plugins/browser_plugin/url_list_collector.h"

#define TRUVANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using browserplugin::HelperPage;
using values::FourCC;
using values::FourCharCode;

constexpr FourCharCode kSafari = FourCC("sfri");
constexpr FourCharCode kShiira = FourCC("ShiR");
constexpr FourCharCode kJike = FourCC("Jike");
constexpr char kUrlListType[] = "application/x-url-list";
// WebKit from this bundle version on lets a plug-in stop a stream by answering 1.
constexpr long kWebKitStopsStreamsFrom = 300;
constexpr char kSafariIdentifier[] = "com.apple.Safari";
constexpr char kNetNewsWireIdentifier[] = "com.ranchero.NetNewsWire";
constexpr char kEnhancerResource[] = "TruvaneEnhancer.bundle";
constexpr char kEnhancerLibrary[] = "Contents/Linux/libtruvane_enhancer.so";

struct Globals {
  NPNetscapeFuncs browser{};
  FourCharCode hostSig = 0;
  std::string pluginBundle;  // empty when the library is not inside its bundle
  TRXStringForURLProc enhancerCookie = nullptr;
  TRXStringForURLProc enhancerReferer = nullptr;
  std::unique_ptr<browserplugin::DuplicateTable> contextData;
};

Globals& G() {
  static Globals g;
  return g;
}

struct Instance {
  std::uint32_t reserved = 0;
  std::optional<std::string> referer;
  std::optional<std::string> cookie;
};

// The private data of a "javascript" stream, which the plug-in lets pass.
void* const kIgnoredStream = reinterpret_cast<void*>(1);

const TruvaneHostProcessInfo* HostInfo() {
  const auto info = reinterpret_cast<TruvaneHostProcessInformationProc>(
      ::dlsym(RTLD_DEFAULT, kTruvaneHostProcessInformationSymbol));
  return info ? info() : nullptr;
}

void SetHostSig() {
  G().hostSig = 0;
  const TruvaneHostProcessInfo* info = HostInfo();
  if (!info || !info->fileCreator || std::strlen(info->fileCreator) != 4) return;
  const auto* c = reinterpret_cast<const unsigned char*>(info->fileCreator);
  const FourCharCode creator = values::FourCCFromBytes(c[0], c[1], c[2], c[3]);
  if (creator == kSafari || creator == kShiira || creator == kJike) G().hostSig = creator;
}

bool IsWebKitHost() {
  return G().hostSig != 0;
}

// The bundle is the library's folder three levels up: <bundle>/Contents/Linux/<library>.
void LookUpBundles() {
  Dl_info where{};
  G().pluginBundle.clear();
  if (::dladdr(reinterpret_cast<void*>(&SetHostSig), &where) && where.dli_fname) {
    const std::string library = where.dli_fname;
    const std::string marker = "/Contents/Linux/";
    const std::size_t at = library.rfind(marker);
    if (at != std::string::npos) G().pluginBundle = library.substr(0, at);
  }
  G().enhancerCookie = reinterpret_cast<TRXStringForURLProc>(::dlsym(RTLD_DEFAULT, "TRXCurrentCookieString"));
  G().enhancerReferer = reinterpret_cast<TRXStringForURLProc>(::dlsym(RTLD_DEFAULT, "TRXRefererString"));
}

std::optional<std::string> BundlePage(const char* name) {
  if (G().pluginBundle.empty()) return std::nullopt;
  const std::string path = G().pluginBundle + "/Contents/Resources/" + name + ".html";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return path;
}

void Navigate(NPP instance, const std::string& url) {
  if (G().browser.geturl) G().browser.geturl(instance, url.c_str(), "_self");
}

void NavigateToPage(NPP instance, const char* bundleName, HelperPage helper) {
  std::optional<std::string> page = BundlePage(bundleName);
  if (!page) page = browserplugin::HelperPagePath(helper);
  if (page) Navigate(instance, "file:" + *page);
}

bool PluginBackPreference() {
  // Read at every use: the preferences window may change it while the browser runs.
  prefs::PreferenceStore store(prefs::DefaultPreferencesFolder());
  store.SetLogHook([](const std::string&) {});
  return store.GetBool("plugin back").value_or(true);
}

void BackNavigation(NPP instance, bool duplicate) {
  if (PluginBackPreference()) {
    if (IsWebKitHost()) {
      NavigateToPage(instance, duplicate ? "autoback3" : "autoback",
                     duplicate ? HelperPage::kBackDuplicate : HelperPage::kBack);
    } else {
      Navigate(instance, duplicate ? "javascript:window.history.go(-2)" : "javascript:window.history.go(-1)");
    }
  } else {
    NavigateToPage(instance, duplicate ? "back3" : "back",
                   duplicate ? HelperPage::kNoBackDuplicate : HelperPage::kNoBack);
  }
}

void DisplayFailureMessage(NPP instance) {
  NavigateToPage(instance, "tr_alert", HelperPage::kFailure);
}

bool LaunchTR(const browserplugin::AddURLInputs& inputs) {
  plugins::HandoffOptions options;
  options.locations = plugins::BrowserPluginLocations();
  const auto result = plugins::SendOrLaunch(
      [&](bool forLaunch) { return browserplugin::BuildAddURLEvent(inputs, forLaunch); }, options);
  return plugins::HandedOff(result);
}

std::size_t CharacterCount(const std::string& utf8) {
  std::size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

// The page's value of `script` when it is a string of at least two characters.
std::optional<std::string> EvaluateString(NPP instance, NPObject* window, const char* script) {
  if (!G().browser.evaluate) return std::nullopt;
  NPString source{script, static_cast<std::uint32_t>(std::strlen(script))};
  NPVariant result{};
  result.type = NPVariantType_Void;
  if (!G().browser.evaluate(instance, window, &source, &result)) return std::nullopt;
  std::optional<std::string> text;
  if (result.type == NPVariantType_String && result.value.stringValue.UTF8Characters) {
    std::string s(result.value.stringValue.UTF8Characters, result.value.stringValue.UTF8Length);
    if (CharacterCount(s) >= 2) text = std::move(s);
  }
  if (G().browser.releasevariantvalue) G().browser.releasevariantvalue(&result);
  return text;
}

std::optional<std::string> TakeEnhancerString(TRXStringForURLProc proc, const char* url) {
  if (!proc || !url) return std::nullopt;
  char* value = proc(url);
  if (!value) return std::nullopt;
  std::string out(value);
  std::free(value);
  return out;
}

bool IsPrefix(const char* text, const char* prefix) {
  return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

TRUVANE_EXPORT NPError NPP_New(NPMIMEType, NPP instance, std::uint16_t mode, std::int16_t, char*[], char*[],
                               NPSavedData*) {
  if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
  auto* record = new Instance();
  instance->pdata = record;
  SetHostSig();
  LookUpBundles();
  const bool skipQueries = (mode == NP_FULL && IsWebKitHost()) || G().hostSig == kSafari;
  if (!skipQueries && G().browser.getvalue) {
    NPObject* window = nullptr;
    if (G().browser.getvalue(instance, NPNVWindowNPObject, &window) == NPERR_NO_ERROR) {
      record->referer = EvaluateString(instance, window, "document.referrer");
      record->cookie = EvaluateString(instance, window, "document.cookie");
    }
  }
  return NPERR_NO_ERROR;
}

TRUVANE_EXPORT NPError NPP_Destroy(NPP instance, NPSavedData**) {
  if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
  delete static_cast<Instance*>(instance->pdata);
  instance->pdata = nullptr;
  return NPERR_NO_ERROR;
}

TRUVANE_EXPORT NPError NPP_SetWindow(NPP, NPWindow* window) {
  return window ? NPERR_NO_ERROR : NPERR_INVALID_INSTANCE_ERROR;
}

TRUVANE_EXPORT NPError NPP_NewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool,
                                     std::uint16_t* stype) {
  if (!instance || !instance->pdata || !stream) return NPERR_INVALID_INSTANCE_ERROR;
  auto* record = static_cast<Instance*>(instance->pdata);
  std::optional<std::string> enhancerCookie;
  if (G().hostSig == kSafari) {
    LookUpBundles();
    enhancerCookie = TakeEnhancerString(G().enhancerCookie, stream->url);
    if (G().enhancerReferer) record->referer = TakeEnhancerString(G().enhancerReferer, stream->url);
  }
  if (!G().contextData) G().contextData = std::make_unique<browserplugin::DuplicateTable>();
  stream->pdata = nullptr;
  if (stype) *stype = NP_NORMAL;

  if (stream->url) {
    const std::string key = browserplugin::DuplicateKeyForURL(stream->url);
    if (G().contextData->CheckAndAdd(key, values::Now())) {
      BackNavigation(instance, true);
      return NPERR_NO_ERROR;
    }
  }
  if (type && std::strcmp(type, kUrlListType) == 0) {
    stream->pdata = new browserplugin::UrlListCollector();
    return NPERR_NO_ERROR;
  }
  if (IsPrefix(stream->url, "javasc")) {
    stream->pdata = kIgnoredStream;
    return NPERR_NO_ERROR;
  }
  if (!stream->url) return NPERR_NO_ERROR;

  const std::string url = stream->url;
  browserplugin::AddURLInputs inputs;
  inputs.urlItems.push_back(url + std::string(1, '\0'));
  inputs.referer =
      record->referer ? std::optional<std::string>(*record->referer) : browserplugin::DerivedReferer(url);
  if (enhancerCookie) {
    inputs.cookieItems.push_back(*enhancerCookie);
  } else if (record->cookie) {
    inputs.cookieItems.push_back(*record->cookie);
  }
  if (LaunchTR(inputs)) {
    BackNavigation(instance, false);
  } else {
    DisplayFailureMessage(instance);
  }
  return NPERR_NO_ERROR;
}

TRUVANE_EXPORT std::int32_t NPP_WriteReady(NPP instance, NPStream* stream) {
  if (!stream) return -1;
  if (IsPrefix(stream->url, "javascript")) return 8000;
  if (stream->pdata && stream->pdata != kIgnoredStream) return 8192;
  if (!IsWebKitHost()) return -1;
  const TruvaneHostProcessInfo* info = HostInfo();
  if (!info || !info->webKitVersion) return -1;
  if (std::strtol(info->webKitVersion, nullptr, 10) >= kWebKitStopsStreamsFrom) return 1;
  if (G().browser.destroystream) G().browser.destroystream(instance, stream, NPRES_DONE);
  return -1;
}

TRUVANE_EXPORT std::int32_t NPP_Write(NPP instance, NPStream* stream, std::int32_t, std::int32_t len,
                                      void* buffer) {
  if (stream && stream->pdata && stream->pdata != kIgnoredStream) {
    if (len <= 0 || !buffer) return 0;
    auto* collector = static_cast<browserplugin::UrlListCollector*>(stream->pdata);
    if (!collector->Append(std::string_view(static_cast<const char*>(buffer), static_cast<std::size_t>(len))))
      return -1;
    return len;
  }
  if (IsWebKitHost() && G().browser.destroystream) G().browser.destroystream(instance, stream, NPRES_DONE);
  return -1;
}

TRUVANE_EXPORT NPError NPP_DestroyStream(NPP instance, NPStream* stream, NPReason) {
  if (!stream || !stream->pdata || stream->pdata == kIgnoredStream) return NPERR_NO_ERROR;
  std::unique_ptr<browserplugin::UrlListCollector> collector(
      static_cast<browserplugin::UrlListCollector*>(stream->pdata));
  stream->pdata = nullptr;
  browserplugin::AddURLInputs inputs;
  inputs.urlItems = collector->Finish();
  if (LaunchTR(inputs)) {
    BackNavigation(instance, false);
  } else {
    DisplayFailureMessage(instance);
  }
  return NPERR_NO_ERROR;
}

TRUVANE_EXPORT void NPP_StreamAsFile(NPP, NPStream*, const char*) {}
TRUVANE_EXPORT void NPP_Print(NPP, NPPrint*) {}
TRUVANE_EXPORT void NPP_URLNotify(NPP, const char*, NPReason, void*) {}
TRUVANE_EXPORT std::int16_t NPP_HandleEvent(NPP, void*) {
  return 0;
}
TRUVANE_EXPORT NPError NPP_GetValue(NPP, NPPVariable, void*) {
  return NPERR_GENERIC_ERROR;
}
TRUVANE_EXPORT NPError NPP_SetValue(NPP, NPNVariable, void*) {
  return NPERR_GENERIC_ERROR;
}

TRUVANE_EXPORT NPError NP_GetEntryPoints(NPPluginFuncs* table) {
  if (!table) return NPERR_GENERIC_ERROR;
  table->size = sizeof(NPPluginFuncs);
  table->version = kNPPluginTableVersion;
  table->newp = NPP_New;
  table->destroy = NPP_Destroy;
  table->setwindow = NPP_SetWindow;
  table->newstream = NPP_NewStream;
  table->destroystream = NPP_DestroyStream;
  table->asfile = NPP_StreamAsFile;
  table->writeready = NPP_WriteReady;
  table->write = NPP_Write;
  table->print = NPP_Print;
  table->event = NPP_HandleEvent;
  table->urlnotify = NPP_URLNotify;
  table->getvalue = NPP_GetValue;
  table->setvalue = NPP_SetValue;
  return NPERR_NO_ERROR;
}

TRUVANE_EXPORT NPError NP_Initialize(NPNetscapeFuncs* browser) {
  if (browser) G().browser = *browser;
  SetHostSig();
  LookUpBundles();
  return NPERR_NO_ERROR;
}

TRUVANE_EXPORT NPError NP_Shutdown() {
  return NPERR_NO_ERROR;
}

// The legacy entry (exported as `main` by legacy_main.c): the browser's table copied into
// a zeroed one of our own, the scripting entries only from tables that have them.
TRUVANE_EXPORT NPError TruvaneLegacyMain(NPNetscapeFuncs* browser, NPPluginFuncs* table,
                                         NPP_ShutdownProcPtr* shutdown) {
  G().browser = NPNetscapeFuncs{};
  if (browser) {
    G().browser.size = browser->size;
    G().browser.version = browser->version;
    G().browser.geturl = browser->geturl;
    G().browser.getvalue = browser->getvalue;
    G().browser.destroystream = browser->destroystream;
    if (browser->version > kNPScriptingTableVersion) {
      G().browser.evaluate = browser->evaluate;
      G().browser.releasevariantvalue = browser->releasevariantvalue;
    }
  }
  NP_GetEntryPoints(table);
  if (shutdown) *shutdown = NP_Shutdown;
  return NPERR_NO_ERROR;
}

// Called by a WebKit host while it builds its plug-in list: loads the enhancer into the
// browsers it serves. (The out-of-process plug-in host's route, asking the browser through
// a scripting addition, has no counterpart here: nothing answers it on Linux.)
TRUVANE_EXPORT void BP_CreatePluginMIMETypesPreferences() {
  if (::dlsym(RTLD_DEFAULT, "TRXCurrentCookieString")) return;
  const TruvaneHostProcessInfo* info = HostInfo();
  if (!info || !info->bundleIdentifier) return;
  const std::string host = info->bundleIdentifier;
  if (host != kSafariIdentifier && host != kNetNewsWireIdentifier) return;
  LookUpBundles();
  if (G().pluginBundle.empty()) return;
  const std::string library =
      G().pluginBundle + "/Contents/Resources/" + kEnhancerResource + "/" + kEnhancerLibrary;
  ::dlopen(library.c_str(), RTLD_NOW | RTLD_GLOBAL);
}
