#pragma once
// Records what the download-event handling asked of the windows. Credentials questions
// are kept with their answer callbacks, so a test plays the user: AnswerCredentials(i, ...).

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/ui/services/download_event_views.h"

class FakeDownloadEventViews : public ui::DownloadEventViews {
 public:
  std::vector<std::uint32_t> changedRows, inspectorUpdates, miniWindowChanges;
  struct CertificateQuestion {
    int kind;  // 5 or 6
    std::uint32_t uid;
    std::string url;
    bool hasTrust;
    std::int32_t domain, code;
  };
  std::vector<CertificateQuestion> certificateQuestions;
  std::vector<ui::CredentialsRequest> credentialRequests;

  void NoteRowChanged(std::uint32_t uid) override { changedRows.push_back(uid); }
  void UpdateDownloadInspector(std::uint32_t uid) override { inspectorUpdates.push_back(uid); }
  void NotifyMiniWindowDownloadChanged(std::uint32_t uid) override { miniWindowChanges.push_back(uid); }
  void ShowUnknownCertificateWindow(const ui::CertificateQuestion& q,
                                    ui::CertificateAnswerFunction answer) override {
    certificateQuestions.push_back({5, q.uid, q.url, !q.chain.empty(), q.errorDomain, q.errorCode});
    certificateAnswers_.push_back(std::move(answer));
  }
  void AskDownloadCertificateTrust(const ui::CertificateQuestion& q,
                                   ui::CertificateAnswerFunction answer) override {
    certificateQuestions.push_back({6, q.uid, q.url, !q.chain.empty(), 0, 0});
    certificateAnswers_.push_back(std::move(answer));
  }
  // The user answers the i-th certificate question (once).
  void AnswerCertificate(std::size_t i, const ui::CertificateAnswer& answer) {
    if (auto f = std::exchange(certificateAnswers_.at(i), nullptr)) f(answer);
  }
  void AskCredentials(const ui::CredentialsRequest& request,
                      std::function<void(const ui::CredentialsAnswer&)> answer) override {
    credentialRequests.push_back(request);
    answers_.push_back(std::move(answer));
  }

  // The user answers the i-th credentials window (once).
  void AnswerCredentials(std::size_t i, const ui::CredentialsAnswer& answer) {
    if (auto f = std::exchange(answers_.at(i), nullptr)) f(answer);
  }

 private:
  std::vector<std::function<void(const ui::CredentialsAnswer&)>> answers_;
  std::vector<ui::CertificateAnswerFunction> certificateAnswers_;
};
