#pragma once
// What each seam of the running program holds, written where the environment asks
// (TRUVANE_SERVICES_REPORT=path) once start-up is done: one line per service slot and per
// hook member, tab-separated: its name; "installed", "default" or "derived from its
// default"; and who installs it ("at start-up", "with a display", "the default serves: why",
// "pending on: owner"). A test starts the real program with it, so a seam whose owner is
// built but which start-up forgot to install fails CI instead of silently doing nothing.

#include <string>

namespace shell {

inline constexpr const char kServicesReportVariable[] = "TRUVANE_SERVICES_REPORT";

// Every subsystem's seams listed in runtime::Seams(), once.
void ListEverySeam();

// The report's text for every listed seam, then any slot used that no list names.
std::string ServicesReportText();

// Writes the report when the variable names a file; a write that fails is told on
// standard error and changes nothing else.
void WriteServicesReportIfAsked();

}  // namespace shell
