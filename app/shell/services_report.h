#pragma once
// Which implementation each service slot of the running program holds, written where the
// environment asks (TRUVANE_SERVICES_REPORT=path) once start-up is done: one line per
// slot, its name, a tab, and "installed" or "default". A test starts the real program
// with it, so a service whose owner is built but which start-up forgot to install fails
// CI instead of silently doing nothing.

#include <string>

namespace shell {

inline constexpr const char kServicesReportVariable[] = "TRUVANE_SERVICES_REPORT";

// The report's text for the slots known to this process.
std::string ServicesReportText();

// Writes the report when the variable names a file; a write that fails is told on
// standard error and changes nothing else.
void WriteServicesReportIfAsked();

}  // namespace shell
