// With a window, a download's certificate question is the trust panel: a window showing
// the certificate, whose answer goes back to the download and, when accepted, keeps the
// certificate for the host (for this session, or for good with "Always trust"). A
// question without a readable certificate gets the plain unknown-root window.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/engine/network/accepted_certificates.h"
#include "app/shell/certificate_questions.h"
#include "app/ui/small_windows/certificate_trust_panel.h"
#include "app/ui/small_windows/unknown_certificate_window.h"
#include "platform/net/certificate.h"
#include "platform/net/stream_error.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/services/desktop_services.h"
#include "platform/values/url.h"
#include "tests/servers/test_certificates.h"

namespace {

using namespace std::chrono_literals;
using toolbox::kApplicationSignature;

enum class Press { kCancel, kContinue, kAlwaysTrust, kClose };

// Answers the panel once it runs, as the user would: from a timer of the main loop, which
// the panel's modal run keeps serving. Gives up (closing nothing) after a bound.
std::shared_ptr<runtime::Timer> AnswerPanel(Press press, std::string* shownMessage,
                                            std::string* shownDetails) {
  return toolbox::InstallMainTimer(20ms, 20ms, [=, tries = 0](runtime::Timer& timer) mutable {
    toolbox::Window* panel = ui::CurrentTrustPanel();
    if (!panel) {
      if (++tries > 250) timer.Invalidate();
      return;
    }
    timer.Invalidate();
    *shownMessage = panel->FindControl(kApplicationSignature, ui::kTrustMessageID)->Text();
    *shownDetails = panel->FindControl(kApplicationSignature, ui::kTrustDetailsID)->Text();
    switch (press) {
      case Press::kCancel:
        panel->FindControl(kApplicationSignature, ui::kTrustCancelID)->Click();
        break;
      case Press::kAlwaysTrust:
        panel->FindControl(kApplicationSignature, ui::kTrustAlwaysID)->SetValue(1);
        [[fallthrough]];
      case Press::kContinue:
        panel->FindControl(kApplicationSignature, ui::kTrustContinueID)->Click();
        break;
      case Press::kClose:
        panel->Close();
        break;
    }
  });
}

TEST(CertificateQuestions, TheTrustPanelAsksAndItsAnswerReturnsToTheDownload) {
  const auto certificate = net::Certificate::FromPem(testservers::MakeSelfSigned({}).certificate_pem);
  ASSERT_TRUE(certificate);
  struct Case {
    Press press;
    bool trust;
    bool always;
  } cases[] = {{Press::kCancel, false, false},
               {Press::kClose, false, false},
               {Press::kContinue, true, false},
               {Press::kAlwaysTrust, true, true}};
  shell::InstallCertificateQuestions();
  shell::WindowedDownloadEventViews views;
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.press));
    engine::LoadAcceptedCertificates(values::Value(), values::Value());
    ui::CertificateQuestion question;
    question.uid = 5;
    question.url = "https://files.example:8443/a.iso";
    question.chain = {certificate->Der()};
    question.errorDomain = static_cast<int>(net::ErrorDomain::kSsl);
    question.errorCode = net::tls_code::kUnknownRoot;
    std::string message, details;
    auto timer = AnswerPanel(c.press, &message, &details);
    std::vector<ui::CertificateAnswer> answers;
    views.ShowUnknownCertificateWindow(question,
                                       [&](const ui::CertificateAnswer& a) { answers.push_back(a); });
    timer->Invalidate();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].trust, c.trust);
    EXPECT_EQ(answers[0].alwaysTrust, c.always);
    EXPECT_NE(message.find("files.example"), std::string::npos) << message;
    EXPECT_NE(details.find("localhost"), std::string::npos) << details;
    EXPECT_EQ(ui::CurrentTrustPanel(), nullptr) << "the panel goes with its answer";
    const auto url = *values::Url::Create(question.url);
    EXPECT_EQ(engine::CopyAcceptedCertificateData(url).has_value(), c.trust);
    EXPECT_EQ(engine::PermanentCertificateTables().first.contains("files.example"), c.always);
  }
  engine::TrustPanelSlot::Set(nullptr);
  ui::DownloadEventViewsSlot::Set(nullptr);
  engine::LoadAcceptedCertificates(values::Value(), values::Value());
}

TEST(CertificateQuestions, WithoutACertificateThePlainWindowNamesTheHost) {
  shell::WindowedDownloadEventViews views;
  for (bool connect : {false, true}) {
    ui::CertificateQuestion question;
    question.uid = 9;
    question.url = "https://mirror.example/b.iso";
    question.chain = {{0x30, 0x01}};  // not a certificate
    std::vector<ui::CertificateAnswer> answers;
    views.ShowUnknownCertificateWindow(question,
                                       [&](const ui::CertificateAnswer& a) { answers.push_back(a); });
    std::shared_ptr<toolbox::Window> window;
    for (auto& w : toolbox::Window::AllWindows())
      if (w->Property(kApplicationSignature, ui::kUnknownRootUIDProperty)) window = w;
    ASSERT_TRUE(window);
    EXPECT_NE(
        window->FindControl(kApplicationSignature, ui::kUnknownRootTextID)->Text().find("mirror.example"),
        std::string::npos);
    EXPECT_TRUE(answers.empty()) << "the window waits for the user";
    window->FindControl(kApplicationSignature, connect ? 3 : 2)->Click();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].trust, connect);
    EXPECT_FALSE(answers[0].alwaysTrust);
    EXPECT_TRUE(window->IsReleased());
  }
}

TEST(CertificateQuestions, TheHostGoesWhereTheTextSaysAndNowhereElse) {
  const struct {
    const char* text;
    const char* shown;
  } cases[] = {{"No marker here", "No marker here"},
               {"^0 has an unknown root", "ftp.example has an unknown root"},
               {"Root of ^0 (^0)", "Root of ftp.example (^0)"},
               {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(ui::InsertHostName(c.text, "ftp.example"), c.shown) << c.text;
}

TEST(CertificateQuestions, PanelPicture) {
  const auto certificate = net::Certificate::FromPem(testservers::MakeSelfSigned({}).certificate_pem);
  ASSERT_TRUE(certificate);
  auto panel = ui::CreateTrustPanelWindow(
      {*certificate}, "The root certificate for files.example is unknown. Do you still want to connect?");
  panel->Show();
  const toolbox::Image image = panel->Grab();
  EXPECT_EQ(image.width(), int(panel->ContentBounds().width));
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR"))
    panel->GrabToPng(std::string(keep) + "/trust_panel.png");
  panel->Release();
}

}  // namespace
