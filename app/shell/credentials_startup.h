#pragma once
// Start-up's part for the credentials: the user's keychain (the Secret Service when the
// session has one, else the file store), the stored-password cipher and the credential
// look-ups the engine, the settings and the queue use, and the host-key questions.

namespace shell {

// Before the preferences are read: the proxy credentials come from the keychain.
// `interactive`: a display is there to ask host-key questions on.
void InstallCredentialServices(bool interactive);
// After the queue file: the authorisation list, then the cipher's key made when there is
// none yet.
void LoadCredentials();

}  // namespace shell
