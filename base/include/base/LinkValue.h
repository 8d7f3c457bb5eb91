// The host's configuration parameters, read through its link. The instance reads its
// connection parameters at set-up, and the namespace operations read some of them again before
// the root is listed.
#pragma once

#include <string>

#include "base/ProviderProfile.h"
#include "host/HostInterfaces.h"

// A parameter as the host's link gives it, in UTF-8; empty when the host does not know it.
// When `profile` reports missing parameters, an unknown key is written to the log.
std::string ReadLinkValue(const ProviderProfile& profile, ILog* log, ILink* link,
                          const wchar_t* key);
