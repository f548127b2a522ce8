#pragma once
// Sensitive servers: hosts the user has named as taking only one connection per download
// (servers that ban clients opening several). The rules are the preference "blackList"
// as the settings store holds it (`Settings::blackList`): download tasks and the queue's
// views read them from the store's current snapshot, which any thread may take, and a
// reload of the settings replaces them as a whole.
//
// A rule that begins with "." matches every host name ending with it (".example.org"
// matches "dl.example.org", not "example.org"); any other rule matches that one host.
// Host names are compared without regard to ASCII case, as DNS compares them, and a
// host's trailing root dot is ignored: "DL.Example.org." is the same server as
// "dl.example.org".

#include <string_view>

#include "platform/values/value.h"

namespace engine {

bool SensitiveServerRuleMatches(std::string_view rule, std::string_view host);
bool IsSensitiveServerHost(std::string_view host);

// Some entry's URL has a host that is a sensitive server.
bool URLListHasSensitiveServer(const values::Array& list);

}  // namespace engine
