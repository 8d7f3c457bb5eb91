// What is known of each provider, once: the parameters its plug-in reads and what they mean,
// where its requests go, and how a bucket's region is found. The profiles in profiles/ take
// their names from here, and plughost configures the plug-ins and its own S3 client from
// here, so the two cannot drift apart. Data only: nothing here reads a parameter or makes a
// request, and how a plug-in behaves (clients, messages, reporting) stays in its profile.
#pragma once

#include <cstddef>
#include <string>

namespace providers {

// A name in the two spellings its readers need: the host interface passes wide text,
// plughost's command line and parameters files narrow text. PROVIDER_TEXT makes both from one
// literal, so that they cannot differ.
struct Text {
    const char* narrow;
    const wchar_t* wide;
};
#define PROVIDER_TEXT(literal) (::providers::Text{literal, L"" literal})
inline constexpr Text NoText{nullptr, nullptr};

// The parameter keys, as the host stores them.
inline constexpr Text ServerNameKey = PROVIDER_TEXT("ServerName");
inline constexpr Text AccessKeyIdKey = PROVIDER_TEXT("AccessKeyID");
inline constexpr Text SecretAccessKeyKey = PROVIDER_TEXT("SecretAccessKey");
inline constexpr Text RegionKey = PROVIDER_TEXT("Region");
inline constexpr Text FallbackRegionKey = PROVIDER_TEXT("FallbackRegion");
inline constexpr Text UserNameKey = PROVIDER_TEXT("UserName");
inline constexpr Text PasswordKey = PROVIDER_TEXT("Password");

struct Parameter {
    Text key;
    bool required;
    const char* meaning;
};

// Where a plug-in sends its requests.
enum class EndpointKind {
    ServerNameParameter,  // the ServerName parameter
    Fixed,                // a host built into the plug-in
    Exported,             // the exported, writable Endpoint
    PerRegion,            // the SDK's own endpoint for each bucket's region
};

// How a per-region provider finds a bucket's region: it asks the service for the bucket's
// location. An empty location is how the service names its first region; "EU" is the old name
// of eu-west-1 and has no endpoint of its own. Requests that concern no bucket (the bucket list,
// a location) go to the default region.
struct LocationAlias {
    const char* location;
    const char* region;
};
inline constexpr char DefaultServiceRegion[] = "eu-west-1";
inline constexpr char RegionOfEmptyLocation[] = "us-east-1";
inline constexpr LocationAlias LocationAliases[] = {{"EU", "eu-west-1"}};

// The region of a bucket whose location the service gave as `location` ("" when it named
// none); `fallback` is the region taken for none.
inline std::string RegionOfLocation(const std::string& location, const std::string& fallback) {
    if (location.empty()) return fallback;
    for (const LocationAlias& alias : LocationAliases)
        if (location == alias.location) return alias.region;
    return location;
}

struct Provider {
    Text displayName;             // what the plug-in's descriptor calls it
    const char* library;          // the deliverable's file name
    const Parameter* parameters;  // in the order the plug-in reads them
    std::size_t parameterCount;
    EndpointKind endpoint;
    Text accessKeyKey;
    Text secretKeyKey;
    Text regionKey;          // NoText when no region is read
    Text fallbackRegionKey;  // NoText when none is read
};

inline constexpr char AccessKeyMeaning[] = "the access key id";
inline constexpr char SecretKeyMeaning[] =
    "the secret key (a secret: give it as @env:NAME or in a --params file, not on the command "
    "line)";

inline constexpr Parameter TreskoParameters[] = {
    {AccessKeyIdKey, true, AccessKeyMeaning},
    {SecretAccessKeyKey, true, SecretKeyMeaning},
    {RegionKey, false,
     "the region asked for the list of buckets and each bucket's location (default eu-west-1)"},
    {FallbackRegionKey, false,
     "the region of a bucket whose location names none (default us-east-1)"},
};
inline constexpr Parameter MardelParameters[] = {
    {ServerNameKey, true,
     "the service's address, e.g. https://s3.example.com or http://127.0.0.1:9000 (without a "
     "scheme the SDK uses HTTPS)"},
    {AccessKeyIdKey, true, AccessKeyMeaning},
    {SecretAccessKeyKey, true, SecretKeyMeaning},
    {RegionKey, false, "the signing region (default: AWS_REGION, else us-east-1)"},
};
inline constexpr Parameter PennatParameters[] = {
    {AccessKeyIdKey, true, AccessKeyMeaning},
    {SecretAccessKeyKey, true, SecretKeyMeaning},
};
// The two storage tiers of one provider read the same two parameters.
inline constexpr Parameter ProviderTierParameters[] = {
    {UserNameKey, true, AccessKeyMeaning},
    {PasswordKey, true, SecretKeyMeaning},
};

template <std::size_t N>
constexpr std::size_t CountOf(const Parameter (&)[N]) {
    return N;
}

inline constexpr Provider Tresko{
    PROVIDER_TEXT("Amazon S3"), "libTresko.so", TreskoParameters,   CountOf(TreskoParameters),
    EndpointKind::PerRegion,    AccessKeyIdKey, SecretAccessKeyKey, RegionKey,
    FallbackRegionKey};
inline constexpr Provider Mardel{PROVIDER_TEXT("S3 Cloud"),
                                 "libMardel.so",
                                 MardelParameters,
                                 CountOf(MardelParameters),
                                 EndpointKind::ServerNameParameter,
                                 AccessKeyIdKey,
                                 SecretAccessKeyKey,
                                 RegionKey,
                                 NoText};
inline constexpr Provider Pennat{PROVIDER_TEXT("VK Cloud"),
                                 "libPennat.so",
                                 PennatParameters,
                                 CountOf(PennatParameters),
                                 EndpointKind::Fixed,
                                 AccessKeyIdKey,
                                 SecretAccessKeyKey,
                                 NoText,
                                 NoText};
// The two storage tiers of one provider differ in their names only.
constexpr Provider ProviderTier(Text displayName, const char* library) {
    return {displayName,
            library,
            ProviderTierParameters,
            CountOf(ProviderTierParameters),
            EndpointKind::Exported,
            UserNameKey,
            PasswordKey,
            NoText,
            NoText};
}
inline constexpr Provider Ruvast = ProviderTier(PROVIDER_TEXT("Mail.ru HotBox"), "libRuvast.so");
inline constexpr Provider Golmer = ProviderTier(PROVIDER_TEXT("Mail.ru IceBox"), "libGolmer.so");

inline constexpr const Provider* AllProviders[] = {&Tresko, &Mardel, &Pennat, &Ruvast, &Golmer};

}  // namespace providers
