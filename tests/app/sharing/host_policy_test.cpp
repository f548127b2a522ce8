#include "app/sharing/trust/host_policy_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/sharing/services/host_key_question_service.h"
#include "app/util/settings/settings_store.h"
#include "tests/support/fifo_in_place.h"
#include "tests/support/temp_home.h"

namespace sharing {
namespace {

// Answers from a script and records what it was asked.
class ScriptedQuestions : public HostKeyQuestionService {
 public:
  HostKeyAnswer Ask(const HostKeyQuestion& q) override {
    asked.push_back(q);
    return answer;
  }
  HostKeyAnswer answer;
  std::vector<HostKeyQuestion> asked;
};

class HostPolicyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    util::SettingsPreferences().Remove("unknownHostPolicy");
    util::SettingsPreferences().Remove("insecureHostPolicy");
    database_ = testsupport::MakeTempDir("hosts") + "/Truvane Hosts";
    auto q = std::make_unique<ScriptedQuestions>();
    questions_ = q.get();
    old_ = HostKeyQuestionServiceSlot::Set(std::move(q));
  }
  void TearDown() override { HostKeyQuestionServiceSlot::Set(std::move(old_)); }
  std::string database_;
  ScriptedQuestions* questions_ = nullptr;
  std::unique_ptr<HostKeyQuestionService> old_;
};

TEST_F(HostPolicyTest, PolicyResults) {
  struct Case {
    const char* name;
    std::function<void(HostPolicyManager&)> setup;
    const char* host;
    const char* fingerprint;
    int result;
    bool addedForHost;  // the key is trusted for the host afterwards
  };
  const std::vector<Case> cases = {
      {"new host", [](auto&) {}, "peer", "AAAA", kHostUnknown, false},
      {"same key", [](auto& m) { m.AddHost("peer", "AAAA", false); }, "peer", "AAAA", kHostKeyAccepted, true},
      {"same key, this session", [](auto& m) { m.AddHost("peer", "AAAA", true); }, "peer", "AAAA",
       kHostKeyAccepted, true},
      {"changed key", [](auto& m) { m.AddHost("peer", "AAAA", false); }, "peer", "BBBB", kHostKeyChanged,
       false},
      {"changed key, host always accepted",
       [](auto& m) {
         m.AddHost("peer", "AAAA", false);
         m.ReconfigureFromPreferencesArray(
             {m.ArrayForPreferences()[0], values::Value{{"hostname", "peer"}, {"fingerprint", "*"}}});
       },
       "peer", "BBBB", kHostAlwaysAccepted, false},
      {"changed key, fingerprint always accepted",
       [](auto& m) {
         m.ReconfigureFromPreferencesArray({values::Value{{"hostname", "peer"}, {"fingerprint", "AAAA"}},
                                            values::Value{{"fingerprint", "BBBB"}}});
       },
       "peer", "BBBB", kKnownHostFingerprintAlwaysAccepted, false},
      {"new host, fingerprint always accepted",
       [](auto& m) {
         m.ReconfigureFromPreferencesArray({values::Value{{"fingerprint", "BBBB"}}});
       },
       "peer", "BBBB", kUnknownHostFingerprintAlwaysAccepted, false},
      {"new host under policy 2", [](auto& m) { m.SetUnknownHostPolicy(kUnknownHostAccept); }, "peer", "AAAA",
       kHostKeyAccepted, true},
      {"new host under policy 3, key trusted for another host",
       [](auto& m) {
         m.SetUnknownHostPolicy(kUnknownHostAcceptKnownKey);
         m.AddHost("other", "AAAA", false);
       },
       "peer", "AAAA", kHostKeyAccepted, true},
      {"new host under policy 3, new key",
       [](auto& m) { m.SetUnknownHostPolicy(kUnknownHostAcceptKnownKey); }, "peer", "AAAA", kHostUnknown,
       false},
  };
  for (const Case& c : cases) {
    HostPolicyManager m("");
    c.setup(m);
    EXPECT_EQ(m.PolicyForHost(c.host, c.fingerprint), c.result) << c.name;
    bool trusted = false;
    for (const auto& row : m.ArrayForPreferences()) {
      if (row.Find("hostname") && row.Find("hostname")->StringOr("") == c.host && row.Find("fingerprint") &&
          row.Find("fingerprint")->StringOr("") == c.fingerprint)
        trusted = true;
    }
    EXPECT_EQ(trusted, c.addedForHost) << c.name;
  }
}

TEST_F(HostPolicyTest, CheckKeyDecisions) {
  struct Case {
    const char* name;
    std::function<void(HostPolicyManager&)> setup;
    HostKeyAnswer answer;
    const char* fingerprint;
    bool accepted;
    int askedPolicy;  // 0: not asked
    bool trustedNextRun;
  };
  HostKeyAnswer ok;
  ok.ok = true;
  HostKeyAnswer sessionOnly = ok;
  sessionOnly.acceptNewKeyForOneSessionOnly = true;
  const auto known = [](HostPolicyManager& m) { m.AddHost("peer", "AAAA", false); };
  const std::vector<Case> cases = {
      {"new host, trusted", [](auto&) {}, ok, "AAAA", true, kHostUnknown, true},
      {"new host, refused", [](auto&) {}, HostKeyAnswer{}, "AAAA", false, kHostUnknown, false},
      {"same key, no question", known, HostKeyAnswer{}, "AAAA", true, 0, true},
      {"changed key, trusted", known, ok, "BBBB", true, kHostKeyChanged, true},
      {"changed key, this session only", known, sessionOnly, "BBBB", true, kHostKeyChanged, false},
      {"changed key, refused", known, HostKeyAnswer{}, "BBBB", false, kHostKeyChanged, false},
  };
  for (const Case& c : cases) {
    std::remove(database_.c_str());
    {
      HostPolicyManager m(database_);
      c.setup(m);
      m.SaveHostsToPrefs();
      questions_->asked.clear();
      questions_->answer = c.answer;
      EXPECT_EQ(m.CheckKey(c.fingerprint, "peer:2550"), c.accepted) << c.name;
      if (c.askedPolicy == 0) {
        EXPECT_TRUE(questions_->asked.empty()) << c.name;
      } else {
        ASSERT_EQ(questions_->asked.size(), 1u) << c.name;
        EXPECT_EQ(questions_->asked[0].host, "peer");
        EXPECT_EQ(questions_->asked[0].fingerprint, c.fingerprint);
        EXPECT_EQ(questions_->asked[0].policy, c.askedPolicy) << c.name;
      }
    }
    HostPolicyManager next(database_);  // the next run, without asking anything
    next.LoadHostsFromPrefs();
    EXPECT_EQ(next.PolicyForHost("peer", c.fingerprint) == kHostKeyAccepted, c.trustedNextRun) << c.name;
  }
}

TEST_F(HostPolicyTest, NewHostAnswerCanAcceptEveryNewHost) {
  HostPolicyManager m(database_);
  questions_->answer.ok = true;
  questions_->answer.alwaysAcceptUnknownHosts = true;
  EXPECT_TRUE(m.CheckKey("AAAA", "first"));
  EXPECT_TRUE(m.CheckKey("CCCC", "second"));
  EXPECT_EQ(questions_->asked.size(), 1u);
  EXPECT_EQ(util::SettingsPreferences().GetInteger("unknownHostPolicy"), kUnknownHostAccept);
}

TEST_F(HostPolicyTest, UnsecuredConnections) {
  struct Case {
    const char* name;
    HostKeyAnswer answer;
    bool allowed;
    bool otherHostAllowed;
    bool allowedNextRun;
  };
  HostKeyAnswer once;
  once.ok = true;
  HostKeyAnswer thisHost = once;
  thisHost.alwaysAcceptUnsecuredConnections = true;
  thisHost.unsecuredConnectionsSpecifiedHostOnly = true;
  HostKeyAnswer every = once;
  every.alwaysAcceptUnsecuredConnections = true;
  const Case cases[] = {
      {"refused", HostKeyAnswer{}, false, false, false},
      {"this session", once, true, false, false},
      {"this host for good", thisHost, true, false, true},
      {"every host", every, true, true, true},
  };
  for (const Case& c : cases) {
    std::remove(database_.c_str());
    util::SettingsPreferences().Remove("insecureHostPolicy");
    {
      HostPolicyManager m(database_);
      questions_->asked.clear();
      questions_->answer = c.answer;
      bool interacted = false;
      EXPECT_EQ(m.UnsecureConnectionToHost("peer:2550", interacted), c.allowed) << c.name;
      EXPECT_TRUE(interacted);
      ASSERT_EQ(questions_->asked.size(), 1u);
      EXPECT_TRUE(questions_->asked[0].fingerprint.empty());
      EXPECT_EQ(m.UnsecurePolicyForHost("other"), c.otherHostAllowed) << c.name;
      if (c.allowed) {
        EXPECT_TRUE(m.UnsecureConnectionToHost("peer", interacted));
        EXPECT_FALSE(interacted) << c.name << ": asked once";
      }
    }
    HostPolicyManager next(database_);
    next.LoadHostsFromPrefs();
    EXPECT_EQ(next.UnsecurePolicyForHost("peer"), c.allowedNextRun) << c.name;
  }
}

TEST_F(HostPolicyTest, HeadlessDefaultTrustsNothing) {
  HostKeyQuestionServiceSlot::Set(nullptr);
  HostPolicyManager m(database_);
  m.AddHost("peer", "AAAA", false);
  bool interacted = false;
  EXPECT_FALSE(m.CheckKey("BBBB", "peer"));
  EXPECT_FALSE(m.CheckKey("AAAA", "stranger"));
  EXPECT_FALSE(m.UnsecureConnectionToHost("peer", interacted));
  EXPECT_TRUE(m.CheckKey("AAAA", "peer:1"));
}

TEST_F(HostPolicyTest, PreferenceRowsRoundTrip) {
  HostPolicyManager m(database_);
  const values::Array rows = {
      values::Value{{"hostname", "a"}, {"fingerprint", "F1"}, {"session only", false}},
      values::Value{{"hostname", "b"}, {"fingerprint", "F2"}, {"session only", true}},
      values::Value{{"hostname", "c"}, {"fingerprint", "*"}, {"session only", false}},
      values::Value{{"fingerprint", "F3"}, {"session only", false}},
      values::Value{{"hostname", "d"}, {"session only", false}},
      values::Value{{"hostname", "e"}, {"session only", true}},
  };
  m.ReconfigureFromPreferencesArray(rows);
  EXPECT_EQ(m.ArrayForPreferences(), rows);
  HostPolicyManager next(database_);
  next.LoadHostsFromPrefs();
  const values::Array kept = {rows[0], rows[2], rows[3], rows[4]};  // session-only rows end with the run
  EXPECT_EQ(next.ArrayForPreferences(), kept);
}

// A database that cannot be read starts the hosts empty, and is moved aside so that the
// next save does not replace it unseen.
TEST_F(HostPolicyTest, UnreadableDatabaseIsSetAside) {
  for (const char* contents : {"", "garbage", "<?xml version=\"1.0\"?><plist><array/></plist>"}) {
    std::filesystem::remove(database_ + " (damaged)");
    testsupport::WriteFile(database_, contents);
    HostPolicyManager m(database_);
    m.LoadHostsFromPrefs();
    EXPECT_TRUE(m.ArrayForPreferences().empty()) << contents;
    EXPECT_FALSE(std::filesystem::exists(database_)) << contents;
    EXPECT_EQ(testsupport::ReadFile(database_ + " (damaged)"), contents);
  }
  std::filesystem::remove(database_ + " (damaged)");
  ASSERT_TRUE(testsupport::MakeFifo(database_));
  EXPECT_TRUE(testsupport::ReturnsWithoutWaiting(database_, [&] {
    HostPolicyManager m(database_);
    m.LoadHostsFromPrefs();
    EXPECT_TRUE(m.ArrayForPreferences().empty());
  }));
  EXPECT_EQ(HostOfAddress("peer.local:2550"), "peer.local");
  EXPECT_EQ(HostOfAddress("peer"), "peer");
}

// Reader and writer agree on text: a name that is not UTF-8 in the file is read as
// Latin-1 and saved again; one that cannot be saved is left out, never every host with it.
TEST_F(HostPolicyTest, OneBadNameNeverCostsTheOtherHosts) {
  testsupport::WriteFile(database_,
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                         "<key>hosts</key><dict><key>caf\xe9</key><array><string>F1</string></array></dict>"
                         "</dict></plist>\n");
  {
    HostPolicyManager m(database_);
    m.LoadHostsFromPrefs();
    m.AddHost("good", "F2", false);
    m.AddHost("bad\xff", "F3", false);
    m.SaveHostsToPrefs();
  }
  HostPolicyManager next(database_);
  next.LoadHostsFromPrefs();
  std::set<std::string> names;
  for (const values::Value& row : next.ArrayForPreferences())
    names.insert(row.Find("hostname")->StringOr(""));
  EXPECT_EQ(names, (std::set<std::string>{"caf\xc3\xa9", "good"}));
}

}  // namespace
}  // namespace sharing
