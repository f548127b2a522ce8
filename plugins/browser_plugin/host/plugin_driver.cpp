#include "plugins/browser_plugin/host/plugin_driver.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace browserhost {
namespace {

// What the browser's callbacks answer for the download being handed over. The host runs
// one download at a time on one thread, as a browser's plug-in thread does.
struct Current {
  const browserplugin::HostRequest* request = nullptr;
  std::vector<std::string>* navigations = nullptr;
  bool streamDestroyed = false;
};
Current gCurrent;

// The page's window object: only ever handed back to evaluate.
NPObject* const kWindowObject = reinterpret_cast<NPObject*>(&gCurrent);

NPError GetURL(NPP, const char* url, const char*) {
  if (gCurrent.navigations && url) gCurrent.navigations->push_back(url);
  return NPERR_NO_ERROR;
}

NPError GetValue(NPP, NPNVariable variable, void* value) {
  if (variable != NPNVWindowNPObject || !value) return NPERR_GENERIC_ERROR;
  *static_cast<NPObject**>(value) = kWindowObject;
  return NPERR_NO_ERROR;
}

NPError DestroyStream(NPP, NPStream*, NPReason) {
  gCurrent.streamDestroyed = true;
  return NPERR_NO_ERROR;
}

bool Evaluate(NPP, NPObject* object, NPString* script, NPVariant* result) {
  if (object != kWindowObject || !script || !result || !gCurrent.request) return false;
  const std::string source(script->UTF8Characters, script->UTF8Length);
  const std::string* value = nullptr;
  if (source == "document.referrer") value = &gCurrent.request->referrer;
  if (source == "document.cookie") value = &gCurrent.request->cookies;
  if (!value) return false;
  char* copy = static_cast<char*>(std::malloc(value->size() + 1));
  if (!copy) return false;
  std::memcpy(copy, value->data(), value->size());
  copy[value->size()] = '\0';
  result->type = NPVariantType_String;
  result->value.stringValue = {copy, static_cast<std::uint32_t>(value->size())};
  return true;
}

void ReleaseVariantValue(NPVariant* variant) {
  if (variant && variant->type == NPVariantType_String) {
    std::free(const_cast<char*>(variant->value.stringValue.UTF8Characters));
  }
  if (variant) variant->type = NPVariantType_Void;
}

}  // namespace

std::unique_ptr<PluginDriver> PluginDriver::Load(const std::string& libraryPath, std::string& error) {
  void* handle = ::dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    error = ::dlerror();
    return nullptr;
  }
  using Init = NPError (*)(NPNetscapeFuncs*);
  using Entry = NPError (*)(NPPluginFuncs*);
  const auto init = reinterpret_cast<Init>(::dlsym(handle, "NP_Initialize"));
  const auto entry = reinterpret_cast<Entry>(::dlsym(handle, "NP_GetEntryPoints"));
  const auto shutdown = reinterpret_cast<NPError (*)()>(::dlsym(handle, "NP_Shutdown"));
  if (!init || !entry || !shutdown) {
    error = "the library lacks the plug-in entry points";
    ::dlclose(handle);
    return nullptr;
  }
  std::unique_ptr<PluginDriver> driver(new PluginDriver());
  driver->handle_ = handle;
  driver->shutdown_ = shutdown;
  static NPNetscapeFuncs browser{};
  browser.size = sizeof browser;
  browser.version = kNPScriptingTableVersion + 1;
  browser.geturl = GetURL;
  browser.getvalue = GetValue;
  browser.destroystream = DestroyStream;
  browser.evaluate = Evaluate;
  browser.releasevariantvalue = ReleaseVariantValue;
  driver->plugin_.size = sizeof driver->plugin_;
  if (init(&browser) != NPERR_NO_ERROR || entry(&driver->plugin_) != NPERR_NO_ERROR ||
      !driver->plugin_.newp || !driver->plugin_.newstream || !driver->plugin_.destroystream ||
      !driver->plugin_.destroy || !driver->plugin_.writeready || !driver->plugin_.write) {
    error = "the plug-in refused to start";
    return nullptr;
  }
  return driver;
}

PluginDriver::~PluginDriver() {
  if (shutdown_) shutdown_();
  // The library stays loaded: its state (the repeated-request table) lives until the
  // process ends, and unloading code a browser once called gains nothing.
}

std::vector<std::string> PluginDriver::Download(const browserplugin::HostRequest& request) {
  std::vector<std::string> navigations;
  gCurrent = {&request, &navigations, false};
  std::string mime = request.mimeType.empty() ? "application/octet-stream" : request.mimeType;
  NPP_t instance{nullptr, nullptr};
  if (plugin_.newp(mime.data(), &instance, NP_FULL, 0, nullptr, nullptr, nullptr) != NPERR_NO_ERROR) {
    gCurrent = {};
    return navigations;
  }
  NPStream stream{};
  stream.url = request.url.c_str();
  stream.end = request.body ? static_cast<std::uint32_t>(request.body->size()) : 0;
  std::uint16_t type = NP_NORMAL;
  NPReason reason = NPRES_DONE;
  if (plugin_.newstream(&instance, mime.data(), &stream, false, &type) == NPERR_NO_ERROR) {
    std::string_view rest = request.body ? std::string_view(*request.body) : std::string_view();
    std::int32_t offset = 0;
    // A plug-in that answers "nothing more" (-1 or 0) or fails a write stops the
    // transfer, as the browser stops it.
    for (;;) {
      if (gCurrent.streamDestroyed) break;
      const std::int32_t ready = plugin_.writeready(&instance, &stream);
      if (ready <= 0 || gCurrent.streamDestroyed) {
        if (!rest.empty() || !request.body) reason = NPRES_USER_BREAK;
        break;
      }
      if (rest.empty()) break;
      const auto n =
          static_cast<std::int32_t>(std::min<std::size_t>(static_cast<std::size_t>(ready), rest.size()));
      const std::int32_t taken = plugin_.write(&instance, &stream, offset, n, const_cast<char*>(rest.data()));
      if (taken <= 0) {
        reason = NPRES_USER_BREAK;
        break;
      }
      rest.remove_prefix(static_cast<std::size_t>(taken));
      offset += taken;
    }
    plugin_.destroystream(&instance, &stream, reason);
  }
  plugin_.destroy(&instance, nullptr);
  gCurrent = {};
  return navigations;
}

}  // namespace browserhost
