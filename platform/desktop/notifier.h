#pragma once
// Desktop notifications: the short notices that pop up when a download completes or
// fails, or when everything has finished.
//
// A notice carries the fields every notice of the program has: the application's name, a
// notice name (the kind of notice, which the desktop may let the user silence), a title
// and a description. A click context (a file path) says what a click on the notice
// opens; an identifier groups notices that belong together, so a newer one may replace
// an older one of the same group.
//
// The Linux default hands the notice to `notify-send` when it is on PATH (the
// freedesktop.org notification service does the rest) and otherwise drops it: a missing
// notice must never stop a download. Tests install a recording stand-in with NotifierSlot::Set.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/service_slot.h"

namespace desktop {

struct Notice {
  std::string applicationName;
  std::string name;
  std::string title;
  std::string description;
  std::optional<std::string> clickContext;
  std::optional<std::string> identifier;
  bool operator==(const Notice&) const = default;
};

class Notifier {
 public:
  virtual ~Notifier() = default;
  // True when the notice was handed to the desktop.
  virtual bool Post(const Notice& notice) = 0;
};

class CommandNotifier : public Notifier {
 public:
  using Runner = std::function<bool(const std::vector<std::string>& argv)>;
  // `runner` starts notify-send; by default LaunchDetached, when the program is on PATH.
  explicit CommandNotifier(Runner runner = nullptr);
  bool Post(const Notice& notice) override;

  // The command line for a notice (the description as the body).
  static std::vector<std::string> CommandFor(const Notice& notice);

 private:
  Runner runner_;
};

using NotifierSlot = runtime::ServiceSlot<Notifier, CommandNotifier>;

}  // namespace desktop
