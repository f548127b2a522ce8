#include "plugins/browser_plugin/helper_pages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files/standard_folders.h"

namespace browserplugin {
namespace {

constexpr char kTemporaryItemsName[] = "Temporary Items";
constexpr std::size_t kMaxPageBytes = 64 * 1024;

bool ReadsAs(const std::string& path, const std::string& expected) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  std::string bytes;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && std::size_t(st.st_size) <= kMaxPageBytes) {
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 && bytes.size() <= kMaxPageBytes) {
      bytes.append(buf, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return bytes == expected;
}

// Written beside and renamed over, so a reader never sees half a page and a link put in
// its place is replaced, not followed.
void WritePage(const std::string& path, const std::string& text) {
  const std::string temp = path + ".new";
  ::unlink(temp.c_str());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) ::unlink(temp.c_str());
}

}  // namespace

const char* HelperPageFileName(HelperPage page) {
  switch (page) {
    case HelperPage::kBack:
      return ".__TRPluginHelper.html";
    case HelperPage::kBackDuplicate:
      return ".__TRPluginHelper3.html";
    case HelperPage::kNoBack:
      return ".__TRPluginHelperNB.html";
    case HelperPage::kNoBackDuplicate:
      return ".__TRPluginHelperNB3.html";
    case HelperPage::kFailure:
      return "tr_alert.html";
  }
  return "";
}

const char* HelperPageText(HelperPage page) {
  switch (page) {
    case HelperPage::kBack:
      return "<html><script language=\"JavaScript\"><!--\nhistory.go(-2);\n//--></script></html>";
    case HelperPage::kBackDuplicate:
      return "<html><script language=\"JavaScript\"><!--\nhistory.go(-3);\n//--></script></html>";
    case HelperPage::kNoBack:
      return "<html><body><p>The file has been sent to Truvane 3 for downloading.</p><p>To resume browsing, "
             "please click <a href=\"javascript:history.go(-2)\">here</a>.</p></body></html>";
    case HelperPage::kNoBackDuplicate:
      return "<html><body><p>The file has been sent to Truvane 3 for downloading.</p><p>To resume browsing, "
             "please click <a href=\"javascript:history.go(-3)\">here</a>.</p></body></html>";
    case HelperPage::kFailure:
      // What the install scripts put in place, so that a person who removed Truvane can
      // remove the hand-off too.
      return "<html><body><p>The Truvane application could not be found</p><p>The browser keeps the "
             "download. Either start Truvane (~/.local/bin/truvane, or bin/truvane in its build folder) and "
             "try again, or, if you have removed it, remove the browser extension from the browser and "
             "delete the following (under $XDG_DATA_HOME instead of ~/.local/share when that is "
             "set):<ul><li>~/.local/share/Truvane/Internet Plug-Ins/Truvane Browser Plugin.plugin</li>"
             "<li>~/.local/share/Truvane/Browser Extension</li>"
             "<li>~/.config/chromium/NativeMessagingHosts/com.orbenix.truvane.browser_host.json</li>"
             "<li>~/.config/google-chrome/NativeMessagingHosts/com.orbenix.truvane.browser_host.json</li>"
             "<li>~/.mozilla/native-messaging-hosts/com.orbenix.truvane.browser_host.json</li>"
             "<li>~/.local/share/Truvane/Contextual Menu Items/Truvane CMM.plugin</li>"
             "<li>~/.local/share/kio/servicemenus/truvane-upload.desktop</li>"
             "<li>~/.local/share/nautilus/scripts/Upload to RapidShare with Truvane</li>"
             "<li>~/.local/bin/truvane</li></ul></p></body></html>";
  }
  return "";
}

std::optional<std::string> TemporaryItemsFolder() {
  auto caches = files::FindStandardFolder(files::StandardFolder::kCaches, true);
  if (!caches.ok()) return std::nullopt;
  const std::string folder = caches.value().Child(kTemporaryItemsName).Path();
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
    return std::nullopt;
  if ((st.st_mode & 077) != 0) ::chmod(folder.c_str(), 0700);
  return folder;
}

std::optional<std::string> HelperPagePath(HelperPage page) {
  const auto folder = TemporaryItemsFolder();
  if (!folder) return std::nullopt;
  const std::string path = *folder + "/" + HelperPageFileName(page);
  const std::string text = HelperPageText(page);
  if (!ReadsAs(path, text)) WritePage(path, text);
  return path;
}

}  // namespace browserplugin
