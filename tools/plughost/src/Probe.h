// One connection attempt of plughost's own to an endpoint, to say what is there when a plug-in
// call has waited too long: the plug-in only reports a failed connection after all its retries.
#pragma once

#include <string>

namespace plughost {

// "host not found", "connection refused", "no answer to a connection attempt within 1 s",
// "it accepts connections"; "" for an empty or unreadable URL.
std::string ProbeEndpoint(const std::string& url);

}  // namespace plughost
