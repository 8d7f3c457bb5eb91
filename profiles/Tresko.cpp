// Amazon S3 itself: no endpoint override, every bucket served from its own region.
#include "frame/ProviderProfile.h"

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        L"Amazon S3",
        nullptr,
        L"AccessKeyID",
        L"SecretAccessKey",
        L"Region",
        L"FallbackRegion",
        true,
        {},
        EndpointSource::SdkDefault,
        nullptr,
        nullptr,
        RegionPolicy::PerBucket,
        false,
        ClientStrategy::Regional,
        true,
        L"Please, create buckets from Amazon S3 web console",
        TransferReporting::StandardError,
    };
    return profile;
}
