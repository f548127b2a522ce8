#include "platform/desktop/notifier.h"

#include "platform/desktop/process_launcher.h"

namespace desktop {

CommandNotifier::CommandNotifier(Runner runner) : runner_(std::move(runner)) {
  if (!runner_) {
    runner_ = [](const std::vector<std::string>& argv) {
      return IsProgramOnPath(argv.front()) && LaunchDetached(argv);
    };
  }
}

std::vector<std::string> CommandNotifier::CommandFor(const Notice& notice) {
  std::vector<std::string> argv{"notify-send", "--app-name=" + notice.applicationName};
  // notify-send takes options before the texts; "--" keeps a title that begins with "-"
  // from being read as one.
  if (!notice.name.empty()) argv.push_back("--category=transfer");
  argv.push_back("--");
  argv.push_back(notice.title);
  argv.push_back(notice.description);
  return argv;
}

bool CommandNotifier::Post(const Notice& notice) {
  return runner_(CommandFor(notice));
}

}  // namespace desktop
