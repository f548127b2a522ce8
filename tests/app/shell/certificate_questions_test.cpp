// With a window, a download's certificate question is the trust panel: an alert showing
// the certificate, whose answer goes back to the download and, when accepted, keeps the
// certificate for the host (for this session, or for good with Always Trust).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/engine/network/accepted_certificates.h"
#include "app/shell/certificate_questions.h"
#include "platform/net/certificate.h"
#include "platform/net/stream_error.h"
#include "platform/values/url.h"
#include "tests/fakes/scripted_presenter.h"
#include "tests/servers/test_certificates.h"

namespace {

TEST(CertificateQuestions, TheTrustPanelAsksAndItsAnswerReturnsToTheDownload) {
  const auto certificate = net::Certificate::FromPem(testservers::MakeSelfSigned({}).certificate_pem);
  ASSERT_TRUE(certificate);
  struct Case {
    int button;  // Cancel, Continue, Always Trust
    bool trust;
    bool always;
    bool keptForGood;
  } cases[] = {{0, false, false, false}, {1, true, false, false}, {2, true, true, true}};
  engine::TrustPanelSlot::Set(std::make_unique<shell::ToolboxTrustPanel>());
  shell::WindowedDownloadEventViews views;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    engine::LoadAcceptedCertificates(values::Value(), values::Value());
    fakes::ScopedScriptedPresenter presenter;
    presenter->alert_answers.push_back(c.button);
    ui::CertificateQuestion question;
    question.uid = 5;
    question.url = "https://files.example:8443/a.iso";
    question.chain = {certificate->Der()};
    question.errorDomain = 3;
    question.errorCode = net::tls_code::kUnknownRoot;
    std::vector<ui::CertificateAnswer> answers;
    views.ShowUnknownCertificateWindow(question,
                                       [&](const ui::CertificateAnswer& a) { answers.push_back(a); });
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].trust, c.trust);
    EXPECT_EQ(answers[0].alwaysTrust, c.always);
    ASSERT_EQ(presenter->alerts.size(), 1u);
    EXPECT_NE(presenter->alerts[0].message.find("files.example"), std::string::npos)
        << presenter->alerts[0].message;
    EXPECT_NE(presenter->alerts[0].informative.find("localhost"), std::string::npos);
    const auto url = *values::Url::Create(question.url);
    EXPECT_EQ(engine::CopyAcceptedCertificateData(url).has_value(), c.trust);
    EXPECT_EQ(engine::PermanentCertificateTables().first.contains("files.example"), c.keptForGood);
  }
  engine::TrustPanelSlot::Set(nullptr);
  engine::LoadAcceptedCertificates(values::Value(), values::Value());
}

}  // namespace
