// truvane-browser-host: the native-messaging host of the browser extension. The browser
// starts it when the extension connects and talks to it over standard input and output
// (see native_messages.h). It answers two requests:
//   {"type": "types"}     the file types the plug-in registered, from its type resource;
//   {"type": "download", "url", "referrer", "cookies", "mime", "body"?}
//                         hands the download to the plug-in library as the browser would,
//                         and answers with the pages the plug-in sent the browser to.
// It is installed inside the plug-in's bundle, beside the library it loads.
//
// `truvane-browser-host --write-types FILE MIME|EXT,EXT|DESCRIPTION...` writes a type
// resource file (the install script's first one, before the preferences write theirs).

#include <json/json.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "plugins/browser_plugin/helper_pages.h"
#include "plugins/browser_plugin/host/plugin_driver.h"
#include "plugins/browser_plugin/native_messages.h"
#include "plugins/browser_plugin/plugin_types.h"

namespace {

using browserplugin::PluginType;

// Pages the plug-in sends the browser to are small; a larger one is not ours.
constexpr std::size_t kMaxPageBytes = 64 * 1024;

std::string ProgramFolder() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  const std::string self(buf, static_cast<std::size_t>(n));
  return self.substr(0, self.find_last_of('/'));
}

// Beside this program when installed in the bundle; else the user's installed bundle.
std::string BundlePath() {
  const std::string folder = ProgramFolder();
  const std::string marker = "/Contents/Linux";
  if (folder.size() > marker.size() &&
      folder.compare(folder.size() - marker.size(), marker.size(), marker) == 0)
    return folder.substr(0, folder.size() - marker.size());
  return browserplugin::InstalledBundlePath();
}

std::string Write(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

Json::Value TypesReply() {
  Json::Value reply(Json::objectValue);
  Json::Value list(Json::arrayValue);
  const auto types = browserplugin::ReadPluginTypes(browserplugin::BundleResourceFilePath(BundlePath()));
  for (const PluginType& t : types.value_or(std::vector<PluginType>{})) {
    Json::Value one(Json::objectValue);
    one["mime"] = t.mimeType;
    one["extensions"] = Json::Value(Json::arrayValue);
    for (const std::string& e : t.extensions) one["extensions"].append(e);
    one["description"] = t.description;
    list.append(one);
  }
  reply["types"] = list;
  if (!types) reply["error"] = "the plug-in's type resource cannot be read";
  return reply;
}

// A "file:" page's text, for the extension to show (a browser extension may not open
// local files itself).
std::string PageText(const std::string& url) {
  if (url.rfind("file:", 0) != 0) return {};
  std::ifstream in(url.substr(5), std::ios::binary);
  std::string text(kMaxPageBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got > kMaxPageBytes) return {};
  text.resize(got);
  return text;
}

bool ShowsFailurePage(const Json::Value& navigations) {
  const std::string page =
      std::string("/") + browserplugin::HelperPageFileName(browserplugin::HelperPage::kFailure);
  for (const Json::Value& one : navigations) {
    const std::string url = one["url"].asString();
    if (url.size() >= page.size() && url.compare(url.size() - page.size(), page.size(), page) == 0)
      return true;
  }
  return false;
}

Json::Value DownloadReply(browserhost::PluginDriver* driver, const browserplugin::HostRequest& request,
                          const std::string& loadError) {
  Json::Value reply(Json::objectValue);
  reply["url"] = request.url;
  if (!driver) {
    reply["error"] = "the plug-in cannot be loaded: " + loadError;
    return reply;
  }
  Json::Value navigations(Json::arrayValue);
  for (const std::string& url : driver->Download(request)) {
    Json::Value one(Json::objectValue);
    one["url"] = url;
    const std::string text = PageText(url);
    if (!text.empty()) one["page"] = text;
    navigations.append(one);
  }
  reply["navigations"] = navigations;
  // The plug-in shows its failure page when Truvane could be neither reached nor started:
  // the extension then leaves the download to the browser.
  reply["handedOff"] = !ShowsFailurePage(navigations);
  return reply;
}

int WriteTypes(int argc, char** argv) {
  std::vector<PluginType> types;
  for (int i = 3; i < argc; ++i) {
    const std::string typeText = argv[i];
    const std::size_t a = typeText.find('|'), b = typeText.find('|', a == std::string::npos ? a : a + 1);
    if (a == std::string::npos || b == std::string::npos) {
      std::cerr << "truvane-browser-host: a type is MIME|EXT,EXT|DESCRIPTION, not " << typeText << "\n";
      return 2;
    }
    PluginType t;
    t.mimeType = typeText.substr(0, a);
    std::stringstream extensions(typeText.substr(a + 1, b - a - 1));
    for (std::string e; std::getline(extensions, e, ',');) {
      if (!e.empty()) t.extensions.push_back(e);
    }
    t.description = typeText.substr(b + 1);
    types.push_back(std::move(t));
  }
  if (!browserplugin::WritePluginTypes(argv[2], types)) {
    std::cerr << "truvane-browser-host: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--write-types") return WriteTypes(argc, argv);

  std::string loadError;
  const std::string library = browserplugin::BundleLibraryPath(BundlePath());
  struct stat st {};
  const std::string beside = ProgramFolder() + "/" + browserplugin::kPluginLibraryName;
  auto driver =
      browserhost::PluginDriver::Load(::stat(beside.c_str(), &st) == 0 ? beside : library, loadError);

  // One request at a time until the browser closes the connection (or sends a message
  // over the bound, which ends the exchange).
  while (auto message = browserplugin::ReadNativeMessage(STDIN_FILENO)) {
    const auto request = browserplugin::ParseHostRequest(*message);
    Json::Value reply;
    if (!request) {
      reply["error"] = "not a request";
    } else if (request->kind == browserplugin::HostRequest::Kind::kTypes) {
      reply = TypesReply();
    } else {
      reply = DownloadReply(driver.get(), *request, loadError);
    }
    if (!browserplugin::WriteNativeMessage(STDOUT_FILENO, Write(reply))) break;
  }
  return 0;
}
