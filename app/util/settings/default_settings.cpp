#include "app/util/settings/default_settings.h"

#include <string>

namespace util {

namespace {

using values::Array;
using values::Dictionary;
using values::Value;

// Registered integers are plain 32-bit numbers.
Value Int(int v) {
  return Value(v);
}
Value Str(std::string_view s) {
  return Value(std::string(s));
}

Array Strings(std::initializer_list<const char*> items) {
  Array out;
  out.reserve(items.size());
  for (const char* item : items) out.emplace_back(item);
  return out;
}

}  // namespace

Dictionary trdefaults::defaultsForiTunesPane() {
  return {
      {"addSongsToiTunes", true},
      {"playlist name", Str("Truvane")},
  };
}

Dictionary trdefaults::defaultsForDownloadsPane() {
  return {
      {"postprocesstypes", Str(".sit;.sitx;.bin;.hqx;.zip;.dmg;.gz;.tgz;.tar;.bz2;.tbz")},
      {"Post Process", true},
      {"switchMain", false},
      {"Bring to front", true},
      {"discon when done", false},
      {"sleep when done", false},
      {"logout when done", false},
      {"quit when done", false},
      {"shutdown when done", false},
      {"playsound1", false},
      {"playsoundall", false},
      {"take action when done", false},
      {"post download action", Int(2)},
      {"historylifetime", Int(1)},
      {"remove when", Int(1)},
      {"downloadMode", Int(1)},
      {"inactivity timer duration", Int(0)},
      {"downloadDoubleClickAction", Int(1)},
  };
}

Dictionary trdefaults::defaultsForGeneralPane() {
  return {
      {"confirm removals", true}, {"Use Error Log", false},     {"reconnectAtStart", true},
      {"updateTag", Int(1)},      {"hide on startup", false},   {"warn on quit if receiving file", true},
      {"encrypt queue", true},    {"Enable PF support", false}, {"BounceCount", Int(1)},
      {"NoDockBounces", false},   {"hideHiddenFiles", true},    {"user agent type", Int(7)},
      {"warnonquit", false},      {"warnonlyifdl", false},
  };
}

Dictionary trdefaults::defaultsForAdvancedPane() {
  // Plug-ins go into the user's own folders unless the user asks for a system-wide
  // install: a system-wide default would make every install need the administrator.
  return {
      {"systemplug", false},
      {"tcpWindowSize", false},
  };
}

Dictionary trdefaults::defaultsForConnectionPane() {
  return {
      {"Default Ports", Int(3)},
      {"anon ftp password", Str(kDefaultAnonymousFTPPassword)},
  };
}

Dictionary trdefaults::defaultsForPluginPane() {
  return {
      {"last enabled extensions",
       Strings({"sit", "sitx", "bin", "hqx", "zip", "gz", "dmg", "tgz", "exe", "tar", "urls"})},
      {"plugin back", true},
  };
}

Dictionary trdefaults::defaultsForSharingPane() {
  return {
      {"unknownHostPolicy", Int(1)},     {"insecureHostPolicy", false},
      {"Share Folders", false},          {"Max downloads", Int(4)},
      {"Max uploads", Int(4)},           {"Share port", Int(2550)},
      {"advertise rendezvous", true},    {"show activity on start", true},
      {"requireSecureTransfer", false},  {"clear cancelled uploads", false},
      {"clear finished uploads", false}, {"cancel uploads on disconnect", false},
      {"prompt on disconnect", false},
  };
}

Dictionary trdefaults::defaultsForSensitivePane() {
  return {
      {"limit sim dls", false},
      {"maxDomainDownloads", Int(1)},
  };
}

Dictionary trdefaults::defaultsForDockPane() {
  return {
      {"displaygraphindock", false}, {"displayreceivedfilesindock", true},
      {"displayjobsindock", true},   {"displayuploadcountindock", true},
      {"show speeds", true},
  };
}

Dictionary trdefaults::defaultsForFiltersPane() {
  return {
      {"use filters", true},
      {"keep_filters_organised", true},
  };
}

Dictionary trdefaults::defaultsForInterfacePane() {
  return {
      {"show servers", true}, {"show history", true},        {"splitpanes", true},
      {"show uploads", true}, {"show received files", true}, {"fontSize", Int(2)},
  };
}

Dictionary trdefaults::defaultsForPasswordPane() {
  return {
      {"Use password data", true},
      {"Save password data", true},
  };
}

Dictionary trdefaults::defaultsForQueuePane() {
  return {
      {"Queue Length", Int(6)},
      {"autoStartQueue", true},
      {"Start On Launch", true},
      {"Start if Connected", true},
      {"Downloads stop with queue", true},
      {"Uploads stop with queue", true},
      {"max sim uploads", Int(4)},
      {"start ul on launch", true},
      {"start ul if connected", true},
  };
}

Dictionary trdefaults::defaultsForBrowserPane() {
  return {
      {"plugin deactivated", false},
      {"special cased domains", Array{}},
  };
}

Dictionary trdefaults::defaultsForRapidSharePane() {
  return {
      {"rapidshareLogin", Str("")},
      {"rapidsharePassword", Str("")},
      {"rapidshareAccountType", Int(1)},
      {"contextshowuploadmenu", true},
  };
}

std::vector<Dictionary> DefaultSettingsRegistrations() {
  std::vector<Dictionary> out;
  out.push_back({
      {"lastExtension", Str(".jpg;.gif;.png;.pdf;.mov;.mpg;.mpeg;.avi")},
      {"addFilesUseExtensions", true},
  });
  out.push_back({{"advanced_mode", true}});
  out.push_back(trdefaults::defaultsForAdvancedPane());
  out.push_back(trdefaults::defaultsForConnectionPane());
  out.push_back(trdefaults::defaultsForPluginPane());
  out.push_back(trdefaults::defaultsForSharingPane());
  out.push_back(trdefaults::defaultsForDownloadsPane());
  out.push_back(trdefaults::defaultsForSensitivePane());
  out.push_back(trdefaults::defaultsForDockPane());
  out.push_back(trdefaults::defaultsForInterfacePane());
  out.push_back(trdefaults::defaultsForPasswordPane());
  out.push_back(trdefaults::defaultsForQueuePane());
  out.push_back(trdefaults::defaultsForFiltersPane());
  out.push_back(trdefaults::defaultsForBrowserPane());
  out.push_back(trdefaults::defaultsForGeneralPane());
  out.push_back(trdefaults::defaultsForiTunesPane());
  out.push_back(trdefaults::defaultsForRapidSharePane());
  return out;
}

}  // namespace util
