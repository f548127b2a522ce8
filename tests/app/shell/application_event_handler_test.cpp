#include "app/shell/application_event_handler.h"

#include <gtest/gtest.h>

#include "app/engine/log/transfer_log.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/util/helpers/task_helpers.h"
#include "app/util/settings/settings_store.h"
#include "platform/net/certificate.h"
#include "platform/runtime/event_queue.h"
#include "platform/values/url.h"
#include "tests/servers/test_certificates.h"

namespace shell {
namespace {

runtime::Status Apply(runtime::Event& event) {
  auto target = runtime::EventTarget::Create(runtime::EventTarget::Kind::kObject);
  InstallApplicationEventHandler(*target);
  return runtime::SendEventToEventTarget(event, *target);
}

TEST(ApplicationEventHandler, LogLinesFromTasksReachTheTransferLogAsText) {
  engine::CreateGlobalLogWindow();
  runtime::Event line(util::kEventClassApplication, util::kEventAppLogMessage);
  line.SetString(values::FourCC("----"), "50% done %@ %s");
  EXPECT_EQ(Apply(line), runtime::kNoErr);
  ASSERT_NE(engine::CurrentGlobalLog(), nullptr);
  EXPECT_NE(engine::CurrentGlobalLog()->Text().find("50% done %@ %s"), std::string::npos);
  engine::CloseGlobalLog();
}

TEST(ApplicationEventHandler, AcceptedCertificatesAreWrittenToThePreferences) {
  const auto identity = testservers::MakeSelfSigned({});
  const auto certificate = net::Certificate::FromPem(identity.certificate_pem);
  ASSERT_TRUE(certificate);
  engine::SaveAcceptedCertificate(*values::Url::Create("https://files.example:8443/a"), *certificate, false);
  runtime::Event changed(engine::kEventClassSaveCertificates, 1);
  EXPECT_EQ(Apply(changed), runtime::kNoErr);
  auto stored = util::SettingsPreferences().CopyValue(engine::kSavedCertsKey);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->Count(), 1u);
  EXPECT_TRUE(util::SettingsPreferences().CopyValue(engine::kSavedCertTypesKey));
}

TEST(ApplicationEventHandler, OtherEventsFallThrough) {
  runtime::Event other(util::kEventClassApplication, 1031);
  EXPECT_EQ(Apply(other), runtime::kEventNotHandledErr);
}

}  // namespace
}  // namespace shell
