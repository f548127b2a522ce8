#pragma once
// Sensitive servers: hosts the user has named as taking only one connection per download
// (servers that ban clients opening several). The list is the preference "blackList",
// loaded and replaced by the settings loader; download tasks and the queue's views read
// it from their own threads, so it lives behind its own critical region.
//
// A rule that begins with "." matches every host name ending with it (".example.org"
// matches "dl.example.org", not "example.org"); any other rule matches that one host.
// Host names are compared without regard to ASCII case, as DNS compares them, and a
// host's trailing root dot is ignored: "DL.Example.org." is the same server as
// "dl.example.org".

#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/critical_region.h"
#include "platform/values/value.h"

namespace engine {

inline constexpr const char kSensitiveServersPreferenceKey[] = "blackList";

// The region that guards the list. Enter it only to read or replace the list as a whole.
runtime::CriticalRegion& SensitiveServersRegion();

// Replaces the list (the settings loader, at start-up and after the preferences apply).
void SetSensitiveServerRules(std::vector<std::string> rules);
std::vector<std::string> CopySensitiveServerRules();

// The rules stored in the preference's value: its strings, other members skipped; empty
// when the value is missing or not an array.
std::vector<std::string> SensitiveServerRulesFromPreference(const values::Value* stored);

bool SensitiveServerRuleMatches(std::string_view rule, std::string_view host);
bool IsSensitiveServerHost(std::string_view host);

// Some entry's URL has a host that is a sensitive server.
bool URLListHasSensitiveServer(const values::Array& list);

}  // namespace engine
