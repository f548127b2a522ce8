#pragma once
// What the local-files pane asks of the remote hosts: whether the host behind a view
// shows its list with split panes, and the local folder the pane shows beside it.
//
// Start-up installs the remote browser's answers; until then no host uses split panes,
// so the pane never shows.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/runtime/service_slot.h"

namespace ui {

struct LocalPaneHost {
  bool splitPanes = false;
  std::optional<std::string> localFolder;
};

class LocalPaneHostsService {
 public:
  virtual ~LocalPaneHostsService() = default;
  // Nothing when no host is behind the view.
  virtual std::optional<LocalPaneHost> HostForView(std::uint32_t viewID) = 0;
};

class NoLocalPaneHosts : public LocalPaneHostsService {
 public:
  std::optional<LocalPaneHost> HostForView(std::uint32_t) override { return std::nullopt; }
};

using LocalPaneHostsServiceSlot = runtime::ServiceSlot<LocalPaneHostsService, NoLocalPaneHosts>;

// The answers of a function (start-up and tests).
class LocalPaneHostsFunction : public LocalPaneHostsService {
 public:
  explicit LocalPaneHostsFunction(std::function<std::optional<LocalPaneHost>(std::uint32_t)> answer)
      : answer_(std::move(answer)) {}
  std::optional<LocalPaneHost> HostForView(std::uint32_t viewID) override { return answer_(viewID); }

 private:
  std::function<std::optional<LocalPaneHost>(std::uint32_t)> answer_;
};

}  // namespace ui
