// VK Cloud object storage at its fixed hot-tier endpoint.
#include "frame/ProviderProfile.h"

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        L"VK Cloud",
        nullptr,
        L"AccessKeyID",
        L"SecretAccessKey",
        nullptr,
        nullptr,
        false,
        {{L"AccessKeyID", L"Access Key is empty"}, {L"SecretAccessKey", L"Secret Key is empty"}},
        EndpointSource::FixedHost,
        PENNAT_FIXED_ENDPOINT,
        nullptr,
        RegionPolicy::SdkDefault,
        false,
        ClientStrategy::Shared,
        true,
        L"Please, create buckets from web console",
        TransferReporting::HostLog,
    };
    return profile;
}
