#pragma once
// Every test runs with HOME and the XDG folders inside a private temporary folder, so
// that no test reads or writes the real user's settings, queue or downloads, and tests
// running side by side never see each other's files.

#include <string>

namespace testsupport {

// The temporary home of this test process (created before the first test runs).
const std::string& TempHome();

// A fresh, empty folder inside the temporary home.
std::string MakeTempDir(const std::string& prefix = "t");

// Writes `contents` to `path`, creating parent folders. Fails the test on error.
void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);

}  // namespace testsupport
