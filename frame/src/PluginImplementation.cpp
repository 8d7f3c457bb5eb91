#include "frame/PluginImplementation.h"

#include <aws/core/Aws.h>

#include <cstdint>
#include <map>
#include <utility>

#include "base/LinkValue.h"
#include "base/LogS3Error.h"
#include "base/ProviderProfile.h"
#include "base/S3Clients.h"
#include "paths/PathMapping.h"

namespace {
// No exception may cross into the host: whatever escapes an operation (an allocation that
// failed, say) becomes a plain failure of that operation.
template <class Operation>
ResultCode Guarded(Operation&& operation) noexcept {
    try {
        return operation();
    } catch (...) {
        return Failure;
    }
}

// A path the service can hold: every character Unicode text and none of them NUL. A lone
// surrogate or a value past U+10FFFF has no UTF-8 form; converted with a replacement, two
// different names would share one key and one file would silently replace the other. A NUL
// would cut the name short wherever it passes as a C string.
bool IsStorablePath(const std::wstring& path) {
    for (const wchar_t c : path) {
        const auto value = static_cast<std::uint32_t>(c);
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    }
    return true;
}

bool EndsInSeparator(const std::wstring& path) {
    return !path.empty() && (path.back() == L'/' || path.back() == L'\\');
}

// Whether the service may be asked about `path`. Keys are taken literally, so a path with a
// "." or ".." component would reach an object other than the one a host resolving the path
// means ("a\..\b" the key "a/../b", not "b"), and one with an empty component an object that no
// listing shows: such a path is refused, with a line in the host's log.
bool IsNamedPath(ILog* log, const std::wstring& path) {
    if (HasOnlyNamedComponents(GetStoragePath(path))) return true;
    log->WriteFormatted(PluginLogSeverity,
                        L"Path %s refused: a component is empty, \".\" or \"..\"", path.c_str());
    return false;
}

}  // namespace

PluginImplementation_SDKInitializer::PluginImplementation_SDKInitializer() {
    const Aws::SDKOptions options;
    Aws::InitAPI(options);
}

PluginImplementation::PluginImplementation(ILog* log, ILink* link)
    : profile(ActiveProfile()),
      log(log),
      link(link),
      s3Client(),
      serverName(ReadServerName()),
      credentials(ReadCredentials()),
      region(ReadRegionalParameter(profile.regionKey)),
      fallbackRegion(ReadRegionalParameter(profile.fallbackRegionKey)),
      clientConfig(GetConfig()),
      clients(
          profile, credentials, [this] { return GetConfig(); }, region),
      listing(log, clients, fallbackRegion),
      openedFiles(),
      names(profile, log, link, listing),
      transfer(profile, log, listing, openedFiles) {
    if (profile.endpointSource == EndpointSource::ServerNameParam && serverName.empty()) {
        // Without a server name the client would talk to the SDK's public default endpoint,
        // with the user's key id: no client is made, so nothing is sent and every operation
        // fails.
        for (const RootParameterCheck& check : profile.rootChecks) {
            if (profile.serverNameKey != nullptr &&
                std::wstring(check.key) == profile.serverNameKey) {
                log->Write(PluginLogSeverity, check.messageWhenEmpty);
            }
        }
    } else if (profile.clientStrategy != ClientStrategy::Regional) {
        s3Client = MakeS3Client(credentials, clientConfig);
        listing.SetS3Client(s3Client);
    }
    // A failure is already in the host log; the instance is usable all the same and reports
    // the missing buckets through its operations.
    listing.GetBucketsList();
}

PluginImplementation::~PluginImplementation() {
    // Files still open go first, while the listing cache and the clients exist: closing an
    // upload that is still open finishes it through its client. The entries are taken out of
    // the table before they are released, so the table is never seen half cleared.
    std::map<unsigned int, std::shared_ptr<OpenedFile>> stillOpen;
    stillOpen.swap(openedFiles.files);
    stillOpen.clear();
}

std::string PluginImplementation::GetValue(const std::wstring& key) {
    return ReadLinkValue(profile, log, link, key.c_str());
}

std::string PluginImplementation::ReadServerName() {
    switch (profile.endpointSource) {
        case EndpointSource::ServerNameParam:
            return profile.serverNameKey != nullptr ? GetValue(profile.serverNameKey) : "";
        case EndpointSource::FixedHost:
            return profile.fixedEndpoint != nullptr ? profile.fixedEndpoint : "";
        case EndpointSource::SdkDefault:
        case EndpointSource::ExportedEndpoint:
            break;
    }
    return {};
}

Aws::Auth::AWSCredentials PluginImplementation::ReadCredentials() {
    // Two statements: the access key is asked of the host before the secret key.
    const std::string accessKeyId = GetValue(profile.accessKeyKey);
    const std::string secretKey = GetValue(profile.secretKeyKey);
    return Aws::Auth::AWSCredentials(accessKeyId.c_str(), secretKey.c_str());
}

std::string PluginImplementation::ReadRegionalParameter(const wchar_t* key) {
    if (profile.regionPolicy != RegionPolicy::PerBucket || key == nullptr) return {};
    return GetValue(key);
}

Aws::Client::ClientConfiguration PluginImplementation::GetConfig() {
    Aws::Client::ClientConfiguration config;
    switch (profile.endpointSource) {
        case EndpointSource::ServerNameParam:
        case EndpointSource::FixedHost:
            config.endpointOverride = serverName.c_str();
            break;
        case EndpointSource::ExportedEndpoint: {
            // Read at every build: the host may point `Endpoint` elsewhere at any time, and may
            // even store a null pointer there, which means no override.
            const char* endpoint =
                profile.exportedEndpoint != nullptr ? *profile.exportedEndpoint : nullptr;
            config.endpointOverride = endpoint != nullptr ? endpoint : "";
            break;
        }
        case EndpointSource::SdkDefault:
            break;
    }
    if (profile.regionPolicy == RegionPolicy::RegionParam && profile.regionKey != nullptr) {
        const std::string configuredRegion = GetValue(profile.regionKey);
        if (!configuredRegion.empty()) config.region = configuredRegion.c_str();
    }
    if (profile.checksumsWhenRequired) {
        config.checksumConfig.requestChecksumCalculation =
            Aws::Client::RequestChecksumCalculation::WHEN_REQUIRED;
        config.checksumConfig.responseChecksumValidation =
            Aws::Client::ResponseChecksumValidation::WHEN_REQUIRED;
    }
    return config;
}

ResultCode PluginImplementation::OpenFile(const std::wstring& path, FileAccessMode::ID mode,
                                          unsigned int& handle) {
    if (!IsStorablePath(path)) return Failure;
    return Guarded([&] {
        if (!IsNamedPath(log, path)) return Failure;
        // A path ending in a separator names a folder: file data written there would replace
        // the folder's marker and could never be read back as a file.
        if (mode != FileAccessMode::Read && EndsInSeparator(path)) return Failure;
        return transfer.OpenFile(path, mode, handle);
    });
}

ResultCode PluginImplementation::ReadFile(unsigned char* buffer, unsigned int& size,
                                          unsigned int const& handle) {
    return Guarded([&] { return transfer.ReadFile(buffer, size, handle); });
}

ResultCode PluginImplementation::SeekFile(unsigned int const& handle,
                                          unsigned long const& position) {
    return Guarded([&] { return transfer.SeekFile(handle, position); });
}

ResultCode PluginImplementation::CloseFile(unsigned int const& handle) {
    return Guarded([&] { return transfer.CloseFile(handle); });
}

ResultCode PluginImplementation::WriteFile(unsigned char const* data, unsigned int& size,
                                           unsigned int const& handle) {
    return Guarded([&] { return transfer.WriteFile(data, size, handle); });
}

ResultCode PluginImplementation::GetElementAttributes(const std::wstring& path,
                                                      CFileAttributes& attributes) {
    if (!IsStorablePath(path)) return Failure;
    return Guarded([&] {
        return IsNamedPath(log, path) ? names.GetElementAttributes(path, attributes) : Failure;
    });
}

ResultCode PluginImplementation::GetListing(const std::wstring& path,
                                            std::list<CFileInfo>& entries) {
    if (!IsStorablePath(path)) return Failure;
    return Guarded(
        [&] { return IsNamedPath(log, path) ? names.GetListing(path, entries) : Failure; });
}

ResultCode PluginImplementation::CreateFolder(const std::wstring& path) {
    if (!IsStorablePath(path)) return Failure;
    return Guarded([&] { return IsNamedPath(log, path) ? names.CreateFolder(path) : Failure; });
}

ResultCode PluginImplementation::DeleteFolder(const std::wstring& path) {
    if (!IsStorablePath(path)) return Failure;
    return Guarded([&] { return IsNamedPath(log, path) ? names.DeleteFolder(path) : Failure; });
}

ResultCode PluginImplementation::DeleteFile(const std::wstring& path) {
    if (!IsStorablePath(path)) return Failure;
    return Guarded([&] { return IsNamedPath(log, path) ? names.DeleteFile(path) : Failure; });
}

// An object store keeps no attributes of its own, moves nothing in place and has no
// transactions: these succeed without effect.
ResultCode PluginImplementation::SetElementAttributes(const std::wstring& /*path*/,
                                                      CFileAttributes const& /*attributes*/) {
    return Success;
}

ResultCode PluginImplementation::MoveFile(const std::wstring& /*from*/,
                                          const std::wstring& /*to*/) {
    return Success;
}

ResultCode PluginImplementation::BeginTransaction() { return Success; }

ResultCode PluginImplementation::CommitTransaction() { return Success; }

void PluginImplementation::OnStop() {}
