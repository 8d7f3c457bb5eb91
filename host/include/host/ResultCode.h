// Result of every host-interface operation.
#pragma once

#include <cstdint>

enum ResultCode : std::int32_t {
    Success = 0,
    Failure = 1,
    NotFound = 3,
    EndOfData = 5,
    NotSupported = 6,
};
