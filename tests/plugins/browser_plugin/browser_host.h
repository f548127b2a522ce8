#pragma once
// A browser for the plug-in library, as the tests play it: loads the library once per
// process, hands it a recording function table, says which host program it is (Safari,
// another WebKit browser with a given engine version, or an ordinary browser), answers
// the page queries with scripted values, and drives instances and streams step by step.

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "plugins/browser_plugin/np_interface.h"

namespace browsertest {

struct HostIdentity {
  std::string fileCreator;  // empty: an ordinary browser
  std::string bundleIdentifier;
  std::optional<std::string> webKitVersion;
};

struct BrowserRecord {
  HostIdentity identity;
  std::map<std::string, std::string> pageValues;  // script -> string result
  std::vector<std::string> navigations;
  std::vector<std::string> evaluated;
  int streamsDestroyed = 0;
  TruvaneHostProcessInfo info{};
};

BrowserRecord& Browser();
// The function table the test browser hands the plug-in.
NPNetscapeFuncs& TestBrowserTable();

class PluginLibrary {
 public:
  // The library, loaded and initialised on first use.
  static PluginLibrary& Get();
  const NPPluginFuncs& funcs() const { return funcs_; }
  void* Symbol(const char* name) const { return ::dlsym(handle_, name); }
  // NP_Initialize again with the test browser's table (after a test replaced it).
  void Reinitialize();

 private:
  PluginLibrary();
  void* handle_ = nullptr;
  NPPluginFuncs funcs_{};
};

// One instance with one stream, driven as a browser drives them.
class Download {
 public:
  Download(const std::string& mime, const std::string& url, std::uint16_t mode = NP_FULL);
  ~Download();
  NPError newStreamResult() const { return newStream_; }
  std::int32_t WriteReady();
  std::int32_t Write(const std::string& bytes);
  NPError End(NPReason reason = NPRES_DONE);

 private:
  std::string mime_, url_;
  NPP_t instance_{};
  NPStream stream_{};
  NPError newStream_ = NPERR_GENERIC_ERROR;
  std::int32_t offset_ = 0;
  bool ended_ = false;
};

}  // namespace browsertest
