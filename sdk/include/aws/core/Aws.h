#pragma once

#include <aws/core/Core_EXPORTS.h>
#include <aws/core/VersionConfig.h>
#include <aws/core/utils/logging/LogLevel.h>

namespace Aws {
struct LoggingOptions {
    // No logger is installed unless a level other than Off is asked for; this library writes no
    // log at any level, so the level only exists for source compatibility.
    Utils::Logging::LogLevel logLevel = Utils::Logging::LogLevel::Off;
    const char* defaultLogPrefix = "aws_sdk_";
};

struct MemoryManagementOptions {
    // Custom memory systems are not supported; the standard allocator is always used.
    void* memoryManager = nullptr;
};

struct HttpOptions {
    bool initAndCleanupCurl = true;
    bool installSigPipeHandler = false;
    bool compliantRfc3986Encoding = false;
    bool preservePathSeparators = false;
};

struct CryptoOptions {
    bool initAndCleanupOpenSSL = true;
};

struct SDKVersion {
    unsigned char major = AWS_SDK_VERSION_MAJOR;
    unsigned char minor = AWS_SDK_VERSION_MINOR;
    unsigned short patch = AWS_SDK_VERSION_PATCH;
};

struct SDKOptions {
    LoggingOptions loggingOptions;
    MemoryManagementOptions memoryManagementOptions;
    HttpOptions httpOptions;
    CryptoOptions cryptoOptions;
    SDKVersion sdkVersion;
};

// Reference counted: only the first InitAPI initialises (with its options) and only the
// ShutdownAPI that balances it tears down. Safe to call from several threads.
AWS_CORE_API void InitAPI(const SDKOptions& options);
AWS_CORE_API void ShutdownAPI(const SDKOptions& options);
}  // namespace Aws
