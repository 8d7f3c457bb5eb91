#pragma once

// The library is linked statically into each plug-in, so nothing is exported.
#define AWS_CORE_API
#define AWS_CORE_LOCAL
