#include <aws/s3/S3EndpointProvider.h>

#include "core/Encoding.h"
#include "s3/EndpointUtils.h"

#include <cctype>

namespace Aws {
namespace Internal {
namespace {
bool IsAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

bool IsLowerAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }
}  // namespace

bool ParseEndpointUrl(const Aws::String& url, ParsedUrl& out) {
    size_t schemeEnd = url.find("://");
    if (schemeEnd == Aws::String::npos) return false;
    out.scheme = url.substr(0, schemeEnd);
    if (out.scheme != "http" && out.scheme != "https") return false;
    Aws::String rest = url.substr(schemeEnd + 3);
    if (rest.find_first_of("?#") != Aws::String::npos) return false;
    size_t slash = rest.find('/');
    out.authority = rest.substr(0, slash);
    out.path = slash == Aws::String::npos ? Aws::String() : rest.substr(slash);
    if (out.authority.empty() || out.authority.find('@') != Aws::String::npos) return false;
    if (out.authority[0] == '[') {
        size_t close = out.authority.find(']');
        if (close == Aws::String::npos) return false;
        out.host = out.authority.substr(1, close - 1);
        Aws::String after = out.authority.substr(close + 1);
        if (!after.empty() && after[0] != ':') return false;
    } else {
        size_t colon = out.authority.find(':');
        out.host = out.authority.substr(0, colon);
        if (colon != Aws::String::npos) {
            Aws::String port = out.authority.substr(colon + 1);
            if (port.empty()) return false;
            for (char c : port) {
                if (!std::isdigit(static_cast<unsigned char>(c))) return false;
            }
        }
    }
    return !out.host.empty();
}

bool IsValidHostLabel(const Aws::String& label, bool allowSubDomains) {
    if (allowSubDomains) {
        size_t start = 0;
        while (true) {
            size_t dot = label.find('.', start);
            if (!IsValidHostLabel(label.substr(start, dot - start), false)) return false;
            if (dot == Aws::String::npos) return true;
            start = dot + 1;
        }
    }
    if (label.empty() || label.size() > 63 || !IsAlnum(label[0])) return false;
    for (char c : label) {
        if (!IsAlnum(c) && c != '-') return false;
    }
    return true;
}

bool IsIpLiteral(const Aws::String& host) {
    if (host.find(':') != Aws::String::npos) return true;  // IPv6
    int parts = 0;
    size_t start = 0;
    while (true) {
        size_t dot = host.find('.', start);
        Aws::String part = host.substr(start, dot - start);
        if (part.empty() || part.size() > 3) return false;
        for (char c : part) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        }
        if (std::stoi(part) > 255) return false;
        ++parts;
        if (dot == Aws::String::npos) break;
        start = dot + 1;
    }
    return parts == 4;
}

bool IsVirtualHostableBucket(const Aws::String& bucket, bool allowSubDomains) {
    if (bucket.size() < 3 || bucket.size() > 63) return false;
    if (IsIpLiteral(bucket)) return false;
    if (!IsLowerAlnum(bucket.front()) || !IsLowerAlnum(bucket.back())) return false;
    size_t start = 0;
    while (true) {
        size_t dot = bucket.find('.', start);
        if (dot != Aws::String::npos && !allowSubDomains) return false;
        Aws::String label = bucket.substr(start, dot - start);
        if (label.empty() || !IsLowerAlnum(label.front()) || !IsLowerAlnum(label.back())) {
            return false;
        }
        for (char c : label) {
            if (!IsLowerAlnum(c) && c != '-') return false;
        }
        if (dot == Aws::String::npos) return true;
        start = dot + 1;
    }
}
}  // namespace Internal

namespace S3 {
namespace Endpoint {
using namespace Aws::Internal;

S3ResolvedEndpoint S3EndpointProvider::ResolveEndpoint(
    const S3EndpointParameters& parameters) const {
    S3ResolvedEndpoint result;
    const Aws::String& region = parameters.region;
    const Aws::String& bucket = parameters.bucket;

    if (!parameters.endpoint.empty() && parameters.useDualStack) {
        result.errorMessage = "Cannot set dual-stack in combination with a custom endpoint.";
        return result;
    }
    if (parameters.useFIPS || parameters.useDualStack) {
        result.errorMessage = "FIPS and dual-stack endpoints are not supported by this client.";
        return result;
    }
    if (region.empty()) {
        result.errorMessage = "A region must be set when sending requests to S3.";
        return result;
    }
    if (!IsValidHostLabel(region, false)) {
        result.errorMessage = "Invalid region: region was not a valid DNS name.";
        return result;
    }
    result.signingRegion = region == "aws-global" ? "us-east-1" : region;

    if (!parameters.endpoint.empty()) {
        ParsedUrl url;
        if (!ParseEndpointUrl(parameters.endpoint, url)) {
            result.errorMessage =
                "Custom endpoint `" + parameters.endpoint + "` was not a valid URI";
            return result;
        }
        if (bucket.empty()) {
            result.url = url.scheme + "://" + url.authority + url.path;
        } else if (!parameters.forcePathStyle && !IsIpLiteral(url.host) &&
                   IsVirtualHostableBucket(bucket, url.scheme == "http")) {
            result.url = url.scheme + "://" + bucket + "." + url.authority + url.path;
        } else {
            Aws::String path = url.path;
            if (path.empty() || path.back() != '/') path.push_back('/');
            result.url = url.scheme + "://" + url.authority + path + EncodeStrict(bucket);
        }
        return result;
    }

    const Aws::String suffix =
        region.compare(0, 3, "cn-") == 0 ? "amazonaws.com.cn" : "amazonaws.com";
    const bool global =
        region == "aws-global" || (parameters.useGlobalEndpoint && region == "us-east-1");
    const Aws::String host = global ? "s3." + suffix : "s3." + region + "." + suffix;
    if (bucket.empty()) {
        result.url = "https://" + host;
    } else if (!parameters.forcePathStyle && IsVirtualHostableBucket(bucket, false)) {
        result.url = "https://" + bucket + "." + host;
    } else {
        result.url = "https://" + host + "/" + EncodeStrict(bucket);
    }
    return result;
}
}  // namespace Endpoint
}  // namespace S3
}  // namespace Aws
