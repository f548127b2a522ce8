#include "app/sharing/trust/host_key_alerts.h"

#include "app/sharing/trust/host_policy_manager.h"
#include "platform/runtime/main_thread.h"
#include "platform/toolbox/app/presenter.h"

namespace sharing {
namespace {

// Every question's default (Return) is the cautious answer: a key is trusted only by a
// deliberate choice.

using toolbox::AlertButton;

struct Choice {
  AlertButton button;
  HostKeyAnswer answer;
};

HostKeyAnswer Ok() {
  HostKeyAnswer a;
  a.ok = true;
  return a;
}

std::vector<Choice> Choices(const HostKeyQuestion& q, toolbox::AlertRequest& request) {
  std::vector<Choice> choices;
  if (q.fingerprint.empty()) {
    request.style = toolbox::AlertStyle::kWarning;
    request.message = "The copy of Truvane at “" + q.host + "” offers no secure connection.";
    request.informative = "What is sent over an unsecured connection can be read by anyone on the network.";
    HostKeyAnswer thisHost = Ok();
    thisHost.alwaysAcceptUnsecuredConnections = true;
    thisHost.unsecuredConnectionsSpecifiedHostOnly = true;
    HostKeyAnswer every = Ok();
    every.alwaysAcceptUnsecuredConnections = true;
    choices = {{{"Don't Connect", true, true}, {}},
               {{"Connect This Time"}, Ok()},
               {{"Always Connect to This Host"}, thisHost},
               {{"Always Connect to Any Host"}, every}};
  } else if (q.policy == kHostKeyChanged) {
    request.style = toolbox::AlertStyle::kCritical;
    request.message = "The key of “" + q.host + "” has changed.";
    request.informative =
        "Its new key has the fingerprint " + q.fingerprint +
        ". Another computer may be posing as this host. Trust the new key only when you know why "
        "it changed.";
    HostKeyAnswer session = Ok();
    session.acceptNewKeyForOneSessionOnly = true;
    choices = {{{"Don't Trust", true, true}, {}}, {{"Trust Until Quit"}, session}, {{"Trust"}, Ok()}};
  } else {
    request.style = toolbox::AlertStyle::kWarning;
    request.message = "“" + q.host + "” is not known yet.";
    request.informative = "Its key has the fingerprint " + q.fingerprint + ". Do you trust it?";
    HostKeyAnswer all = Ok();
    all.alwaysAcceptUnknownHosts = true;
    choices = {{{"Don't Trust", true, true}, {}}, {{"Trust Every New Host"}, all}, {{"Trust"}, Ok()}};
  }
  for (const Choice& c : choices) request.buttons.push_back(c.button);
  return choices;
}

}  // namespace

HostKeyAnswer ToolboxHostKeyQuestions::Ask(const HostKeyQuestion& question) {
  if (!interactive_) return {};
  toolbox::AlertRequest request;
  const std::vector<Choice> choices = Choices(question, request);
  const int pressed =
      runtime::PerformOnMainThreadAndWait([&] { return toolbox::GetPresenter().RunAlert(request); });
  if (pressed < 0 || pressed >= static_cast<int>(choices.size())) return {};
  return choices[static_cast<std::size_t>(pressed)].answer;
}

}  // namespace sharing
