#pragma once
// The browser's part, played for the plug-in library: loads it, hands it a function table,
// and for each download the extension reports creates an instance and a stream for the
// URL, feeds the stream's bytes (a URL list's text) in the pieces the plug-in asks for,
// and ends stream and instance, as a browser does. The page queries the plug-in makes
// ("document.referrer", "document.cookie") are answered with the download's referrer and
// cookie header; the navigations it asks for are collected for the extension.

#include <memory>
#include <string>
#include <vector>

#include "plugins/browser_plugin/native_messages.h"
#include "plugins/browser_plugin/np_interface.h"

namespace browserhost {

class PluginDriver {
 public:
  // Null, with `error` set, when the library cannot be loaded or lacks the entry points.
  static std::unique_ptr<PluginDriver> Load(const std::string& libraryPath, std::string& error);
  ~PluginDriver();
  PluginDriver(const PluginDriver&) = delete;
  PluginDriver& operator=(const PluginDriver&) = delete;

  // The URLs the plug-in asked the browser to go to, in order.
  std::vector<std::string> Download(const browserplugin::HostRequest& request);

 private:
  PluginDriver() = default;
  void* handle_ = nullptr;
  NPPluginFuncs plugin_{};
  NPError (*shutdown_)() = nullptr;
};

}  // namespace browserhost
