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

// A property of one service in the services section that the profile names ("services = x"
// in the profile, then "[services x]" with "s3 =" and indented "property = value" lines);
// empty when any of it is missing.
Aws::String GetServiceProperty(const Aws::String& profile, const Aws::String& service,
                               const Aws::String& property);
}  // namespace Internal
}  // namespace Aws
