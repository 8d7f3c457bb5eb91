#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>

namespace Aws {
namespace Internal {
// The environment variable's value, empty when unset.
Aws::String GetEnv(const char* name);

// AWS_PROFILE, then AWS_DEFAULT_PROFILE, else "default".
Aws::String GetConfigProfileName();

// AWS_CONFIG_FILE, else ~/.aws/config.
Aws::String GetConfigFilePath();

// A property of a profile of the shared config file ("[default]" or "[profile name]"), read
// afresh on every call; empty when the file, profile or property is missing.
Aws::String GetProfileProperty(const Aws::String& profile, const Aws::String& property);
}  // namespace Internal
}  // namespace Aws
