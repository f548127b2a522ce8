#pragma once
// What the main thread's handling of download-task events asks of the windows beyond the
// main list (main_list_services.h): the changed-rows table that the list-refresh timer
// redraws, the download inspector and the mini-window row, and the three questions a
// running download may put to the user (an unknown certificate root, a certificate to
// trust, and a user name and password).
//
// The credentials question is not modal: `AskCredentials` shows the "AuthRequired"
// window and returns at once; the window later calls `answer` exactly once (OK or
// Cancel, or Cancel when it is closed otherwise). The caller decides what the answer
// does, so the window holds no download state.
//
// The views register their implementation at start-up with DownloadEventViewsSlot::Set().
// Until then (headless runs) nothing is drawn, and questions that need a window are
// answered the only safe way without one, at once, so that the download ends instead of
// waiting for a window that never comes: the credentials question with Cancel, the
// certificate questions with "don't trust". The certificate questions, like the
// credentials one, return at once and call `answer` exactly once later.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/service_slot.h"

namespace ui {

struct CredentialsRequest {
  std::uint32_t uid = 0;
  std::string url;
  std::string displayName;  // the URL's last path component
  std::string host;
};

struct CredentialsAnswer {
  bool ok = false;  // false: Cancel
  std::string user;
  std::string password;
  bool remember = false;  // the "remember" check box
};

struct CertificateQuestion {
  std::uint32_t uid = 0;
  std::string url;
  std::vector<std::vector<std::uint8_t>> chain;  // DER, the server's certificate first
  std::int32_t errorDomain = 0;                  // the TLS failure (kind 5)
  std::int32_t errorCode = 0;
};

struct CertificateAnswer {
  bool trust = false;        // false: don't trust (the download fails)
  bool alwaysTrust = false;  // kept in the preferences, not only for this session
};

using CertificateAnswerFunction = std::function<void(const CertificateAnswer&)>;

class DownloadEventViews {
 public:
  virtual ~DownloadEventViews() = default;

  // The row joins the changed-rows table that the list-refresh timer redraws.
  virtual void NoteRowChanged(std::uint32_t uid) = 0;
  virtual void UpdateDownloadInspector(std::uint32_t uid) = 0;
  virtual void NotifyMiniWindowDownloadChanged(std::uint32_t uid) = 0;

  // Kind 5: the server's certificate chain ends in an unknown root.
  virtual void ShowUnknownCertificateWindow(const CertificateQuestion& question,
                                            CertificateAnswerFunction answer) = 0;
  // Kind 6: the certificate trust panel (a certificate other than the one accepted).
  virtual void AskDownloadCertificateTrust(const CertificateQuestion& question,
                                           CertificateAnswerFunction answer) = 0;
  // Kind 7: the credentials window (see above).
  virtual void AskCredentials(const CredentialsRequest& request,
                              std::function<void(const CredentialsAnswer&)> answer) = 0;
};

class HeadlessDownloadEventViews : public DownloadEventViews {
 public:
  void NoteRowChanged(std::uint32_t) override {}
  void UpdateDownloadInspector(std::uint32_t) override {}
  void NotifyMiniWindowDownloadChanged(std::uint32_t) override {}
  void ShowUnknownCertificateWindow(const CertificateQuestion&, CertificateAnswerFunction answer) override {
    answer(CertificateAnswer{});
  }
  void AskDownloadCertificateTrust(const CertificateQuestion&, CertificateAnswerFunction answer) override {
    answer(CertificateAnswer{});
  }
  void AskCredentials(const CredentialsRequest&,
                      std::function<void(const CredentialsAnswer&)> answer) override {
    answer(CredentialsAnswer{});
  }
};

using DownloadEventViewsSlot = runtime::ServiceSlot<DownloadEventViews, HeadlessDownloadEventViews>;

}  // namespace ui
