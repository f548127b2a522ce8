#pragma once
// Start-up's part for the credentials: the user's keychain (the Secret Service when the
// session has one, else the file store), the stored-password cipher and the credential
// look-ups the engine, the settings and the queue use, and the host-key questions.

namespace shell {

// Before the preferences are read: the proxy credentials come from the keychain (opened
// when a secret is first wanted, never by start-up itself).
// `interactive`: a display is there to ask host-key questions on.
void InstallCredentialServices(bool interactive);
// After the queue file: the authorisation list, read when first wanted.
void LoadCredentials();

}  // namespace shell
