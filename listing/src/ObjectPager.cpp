#include "listing/ObjectPager.h"

#include <aws/core/utils/StringUtils.h>
#include <aws/s3/model/ListObjectsV2Request.h>

#include <utility>

namespace {
std::string Decoded(const std::string& text, bool urlEncoded) {
    return urlEncoded ? Aws::Utils::StringUtils::URLDecode(text.c_str()) : text;
}
}  // namespace

ObjectPager::ObjectPager(std::shared_ptr<Aws::S3::S3Client> client, std::string bucket,
                         std::string prefix, std::string delimiter, int maxKeys)
    : client(std::move(client)),
      bucket(std::move(bucket)),
      prefix(std::move(prefix)),
      delimiter(std::move(delimiter)),
      maxKeys(maxKeys) {}

ResultCode ObjectPager::Next(Page& page) {
    page = Page();
    if (finished) return Success;
    Aws::S3::Model::ListObjectsV2Request request;
    request.SetBucket(bucket);
    if (!delimiter.empty()) request.SetDelimiter(delimiter);
    request.SetPrefix(prefix);
    request.SetEncodingType(Aws::S3::Model::EncodingType::url);
    if (maxKeys > 0) request.SetMaxKeys(maxKeys);
    if (!token.empty()) request.SetContinuationToken(token);
    auto outcome = client->ListObjectsV2(request);
    if (!outcome.IsSuccess()) {
        error = outcome.GetError();
        return Failure;
    }
    auto& result = outcome.GetResult();
    // The token is opaque and, in every service seen, sent as it is; it is never decoded.
    const std::string next = result.GetNextContinuationToken();
    if (!next.empty() && next == token) {
        repeatedToken = true;
        error = Aws::S3::S3Error(Aws::Client::AWSError<Aws::S3::S3Errors>(
            Aws::S3::S3Errors::UNKNOWN, "",
            "The service answered with the continuation token it was given: the listing would "
            "never end",
            false));
        return Failure;
    }
    token = next;
    finished = token.empty();

    const bool urlEncoded = result.GetEncodingType() == Aws::S3::Model::EncodingType::url;
    page.objects = result.GetContents();
    for (auto& object : page.objects) object.SetKey(Decoded(object.GetKey(), urlEncoded));
    for (const auto& commonPrefix : result.GetCommonPrefixes()) {
        page.commonPrefixes.push_back(Decoded(commonPrefix.GetPrefix(), urlEncoded));
    }
    return Success;
}
