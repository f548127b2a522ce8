#include "app/sharing/trust/host_key_alerts.h"

#include <gtest/gtest.h>

#include "app/sharing/trust/host_policy_manager.h"
#include "tests/fakes/scripted_presenter.h"

namespace sharing {
namespace {

struct Expected {
  bool ok = false;
  bool alwaysAcceptUnknownHosts = false;
  bool acceptNewKeyForOneSessionOnly = false;
  bool alwaysAcceptUnsecuredConnections = false;
  bool unsecuredConnectionsSpecifiedHostOnly = false;
};

void ExpectAnswer(const HostKeyAnswer& a, const Expected& e, const std::string& name) {
  EXPECT_EQ(a.ok, e.ok) << name;
  EXPECT_EQ(a.alwaysAcceptUnknownHosts, e.alwaysAcceptUnknownHosts) << name;
  EXPECT_EQ(a.acceptNewKeyForOneSessionOnly, e.acceptNewKeyForOneSessionOnly) << name;
  EXPECT_EQ(a.alwaysAcceptUnsecuredConnections, e.alwaysAcceptUnsecuredConnections) << name;
  EXPECT_EQ(a.unsecuredConnectionsSpecifiedHostOnly, e.unsecuredConnectionsSpecifiedHostOnly) << name;
}

TEST(HostKeyAlerts, ButtonsStandForTheAnswers) {
  struct Case {
    const char* name;
    HostKeyQuestion question;
    int button;
    Expected answer;
  };
  const HostKeyQuestion unknown{"peer", "AAAA:BBBB", kHostUnknown};
  const HostKeyQuestion changed{"peer", "AAAA:BBBB", kHostKeyChanged};
  const HostKeyQuestion unsecured{"peer", "", 0};
  const Case cases[] = {
      {"unknown, don't trust", unknown, 0, {}},
      {"unknown, trust every new host", unknown, 1, {true, true}},
      {"unknown, trust", unknown, 2, {true}},
      {"changed, don't trust", changed, 0, {}},
      {"changed, until quit", changed, 1, {true, false, true}},
      {"changed, trust", changed, 2, {true}},
      {"unsecured, don't connect", unsecured, 0, {}},
      {"unsecured, this time", unsecured, 1, {true}},
      {"unsecured, this host", unsecured, 2, {true, false, false, true, true}},
      {"unsecured, any host", unsecured, 3, {true, false, false, true, false}},
      {"closed without a button", unknown, -1, {}},
  };
  for (const Case& c : cases) {
    fakes::ScopedScriptedPresenter presenter;
    presenter->alert_answers.push_back(c.button);
    ToolboxHostKeyQuestions questions(true);
    ExpectAnswer(questions.Ask(c.question), c.answer, c.name);
    ASSERT_EQ(presenter->alerts.size(), 1u) << c.name;
    const auto& alert = presenter->alerts[0];
    EXPECT_NE(alert.message.find("peer"), std::string::npos) << c.name;
    if (!c.question.fingerprint.empty()) {
      EXPECT_NE(alert.informative.find(c.question.fingerprint), std::string::npos) << c.name;
    }
    EXPECT_TRUE(alert.buttons[0].is_cancel) << c.name;
  }
}

TEST(HostKeyAlerts, TheDefaultButtonTrustsNothing) {
  fakes::ScopedScriptedPresenter presenter;  // unscripted: the default button
  ToolboxHostKeyQuestions questions(true);
  EXPECT_FALSE(questions.Ask({"peer", "AAAA", kHostUnknown}).ok);
  EXPECT_FALSE(questions.Ask({"peer", "AAAA", kHostKeyChanged}).ok);
  EXPECT_FALSE(questions.Ask({"peer", "", 0}).ok);
}

TEST(HostKeyAlerts, WithoutADisplayNothingIsAskedAndNothingTrusted) {
  fakes::ScopedScriptedPresenter presenter;
  ToolboxHostKeyQuestions questions(false);
  for (const HostKeyQuestion& q :
       {HostKeyQuestion{"peer", "AAAA", kHostUnknown}, HostKeyQuestion{"peer", "AAAA", kHostKeyChanged},
        HostKeyQuestion{"peer", "", 0}}) {
    EXPECT_FALSE(questions.Ask(q).ok);
  }
  EXPECT_TRUE(presenter->alerts.empty());
}

}  // namespace
}  // namespace sharing
