#include "tests/plugins/browser_plugin/browser_host.h"

#include <gtest/gtest.h>

namespace browsertest {
namespace {

NPError GetURL(NPP, const char* url, const char* target) {
  EXPECT_STREQ(target, "_self");
  Browser().navigations.push_back(url ? url : "");
  return NPERR_NO_ERROR;
}

NPObject* const kWindow = reinterpret_cast<NPObject*>(0x1000);

NPError GetValue(NPP, NPNVariable variable, void* value) {
  if (variable != NPNVWindowNPObject) return NPERR_GENERIC_ERROR;
  *static_cast<NPObject**>(value) = kWindow;
  return NPERR_NO_ERROR;
}

NPError DestroyStream(NPP, NPStream*, NPReason reason) {
  EXPECT_EQ(reason, NPRES_DONE);
  ++Browser().streamsDestroyed;
  return NPERR_NO_ERROR;
}

bool Evaluate(NPP, NPObject* object, NPString* script, NPVariant* result) {
  EXPECT_EQ(object, kWindow);
  const std::string source(script->UTF8Characters, script->UTF8Length);
  Browser().evaluated.push_back(source);
  const auto it = Browser().pageValues.find(source);
  if (it == Browser().pageValues.end()) return false;
  char* copy = static_cast<char*>(std::malloc(it->second.size() + 1));
  std::memcpy(copy, it->second.c_str(), it->second.size() + 1);
  result->type = NPVariantType_String;
  result->value.stringValue = {copy, static_cast<std::uint32_t>(it->second.size())};
  return true;
}

void ReleaseVariantValue(NPVariant* v) {
  if (v->type == NPVariantType_String) std::free(const_cast<char*>(v->value.stringValue.UTF8Characters));
  v->type = NPVariantType_Void;
}

}  // namespace

BrowserRecord& Browser() {
  static BrowserRecord record;
  return record;
}

PluginLibrary& PluginLibrary::Get() {
  static PluginLibrary library;
  return library;
}

NPNetscapeFuncs& TestBrowserTable() {
  static NPNetscapeFuncs browser{};
  browser.size = sizeof browser;
  browser.version = kNPScriptingTableVersion + 1;
  browser.geturl = GetURL;
  browser.getvalue = GetValue;
  browser.destroystream = DestroyStream;
  browser.evaluate = Evaluate;
  browser.releasevariantvalue = ReleaseVariantValue;
  return browser;
}

PluginLibrary::PluginLibrary() {
  handle_ = ::dlopen(TRUVANE_BROWSER_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(handle_, nullptr) << ::dlerror();
  if (!handle_) return;
  Reinitialize();
}

void PluginLibrary::Reinitialize() {
  const auto init = reinterpret_cast<NPError (*)(NPNetscapeFuncs*)>(Symbol("NP_Initialize"));
  const auto entry = reinterpret_cast<NPError (*)(NPPluginFuncs*)>(Symbol("NP_GetEntryPoints"));
  EXPECT_TRUE(init && entry);
  EXPECT_EQ(init(&TestBrowserTable()), NPERR_NO_ERROR);
  EXPECT_EQ(entry(&funcs_), NPERR_NO_ERROR);
  EXPECT_EQ(funcs_.version, kNPPluginTableVersion);
  EXPECT_EQ(funcs_.size, sizeof funcs_);
}

Download::Download(const std::string& mime, const std::string& url, std::uint16_t mode)
    : mime_(mime), url_(url) {
  const auto& f = PluginLibrary::Get().funcs();
  EXPECT_EQ(f.newp(mime_.data(), &instance_, mode, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
  stream_.url = url_.c_str();
  std::uint16_t type = 0;
  newStream_ = f.newstream(&instance_, mime_.data(), &stream_, false, &type);
  EXPECT_EQ(type, NP_NORMAL);
}

Download::~Download() {
  if (!ended_) End();
  EXPECT_EQ(PluginLibrary::Get().funcs().destroy(&instance_, nullptr), NPERR_NO_ERROR);
  EXPECT_EQ(instance_.pdata, nullptr);
}

std::int32_t Download::WriteReady() {
  return PluginLibrary::Get().funcs().writeready(&instance_, &stream_);
}

std::int32_t Download::Write(const std::string& bytes) {
  std::string copy = bytes;
  const std::int32_t n = PluginLibrary::Get().funcs().write(
      &instance_, &stream_, offset_, static_cast<std::int32_t>(copy.size()), copy.data());
  if (n > 0) offset_ += n;
  return n;
}

NPError Download::End(NPReason reason) {
  ended_ = true;
  return PluginLibrary::Get().funcs().destroystream(&instance_, &stream_, reason);
}

}  // namespace browsertest

// What this test program says about itself to the plug-in (see np_interface.h).
extern "C" __attribute__((visibility("default"))) const TruvaneHostProcessInfo*
TruvaneHostProcessInformation() {
  auto& b = browsertest::Browser();
  b.info.fileCreator = b.identity.fileCreator.empty() ? nullptr : b.identity.fileCreator.c_str();
  b.info.bundleIdentifier =
      b.identity.bundleIdentifier.empty() ? nullptr : b.identity.bundleIdentifier.c_str();
  b.info.webKitVersion = b.identity.webKitVersion ? b.identity.webKitVersion->c_str() : nullptr;
  return &b.info;
}
