// Any S3-compatible service, at the server and region the user gives.
#include "frame/ProviderProfile.h"

const ProviderProfile& ActiveProfile() {
    static const ProviderProfile profile{
        L"S3 Cloud",
        L"ServerName",
        L"AccessKeyID",
        L"SecretAccessKey",
        L"Region",
        nullptr,
        false,
        {{L"ServerName", L"Server name is empty"},
         {L"AccessKeyID", L"Access Key is empty"},
         {L"SecretAccessKey", L"Secret Key is empty"}},
        EndpointSource::ServerNameParam,
        nullptr,
        nullptr,
        RegionPolicy::RegionParam,
        // Many S3-compatible services reject the streaming checksum trailer.
        true,
        ClientStrategy::Shared,
        true,
        L"Please, create buckets from web console",
        TransferReporting::HostLog,
    };
    return profile;
}
