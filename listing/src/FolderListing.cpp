// Filling the tree from the service: the account's buckets, and one folder level at a time.
#include <aws/s3/model/ListBucketsRequest.h>
#include <aws/s3/model/ListObjectsV2Request.h>

#include "frame/LogS3Error.h"
#include "listing/S3Listing.h"
#include "namespace/PathMapping.h"
#include "torvik/Strings.h"

namespace {

constexpr int logSeverity = 2;

// The host record of an object. The service's names are the keys: the SDK's result has
// decoded the XML text once, and the name must stay exactly the key so that it opens again.
CFileInfo FileRecord(const Aws::S3::Model::Object& object, const std::string& name) {
    CFileInfo info;
    info.size = static_cast<std::uint64_t>(object.GetSize());
    info.timeValid = true;
    info.sizeValid = true;
    info.modificationTime = object.GetLastModified().Millis() / 1000;
    info.attributes = CFileAttributes::NormalFileAttribute;
    info.name = Torvik::strings::UTF8toWstr(name);
    return info;
}

}  // namespace

ResultCode S3Listing::GetBucketsList() {
    const std::shared_ptr<Aws::S3::S3Client> client = clients.ServiceClient();
    if (!client) return Failure;
    const auto outcome = client->ListBuckets(Aws::S3::Model::ListBucketsRequest());
    if (!outcome.IsSuccess()) {
        log->Write(logSeverity, L"Cannot get buckets listing.");
        LogS3Error(log, outcome.GetError());
        return Failure;
    }
    for (const auto& bucket : outcome.GetResult().GetBuckets()) {
        buckets.emplace(bucket.GetName(), Bucket(bucket.GetName()));
    }
    bucketsLoaded = true;
    return Success;
}

ResultCode S3Listing::GetFolderListing(const std::string& bucket, const std::string& prefix,
                                       Folder* folder) {
    // One client serves every page of the listing.
    std::shared_ptr<Aws::S3::S3Client> client;
    if (GetBucketClient(bucket, ClientUse::Browse, client) != Success) return Failure;

    std::string token;
    do {
        Aws::S3::Model::ListObjectsV2Request request;
        request.SetBucket(bucket);
        request.SetDelimiter("/");
        request.SetPrefix(prefix);
        if (!token.empty()) request.SetContinuationToken(token);
        const auto outcome = client->ListObjectsV2(request);
        if (!outcome.IsSuccess()) {
            // The folder stays unlisted, so the next visit reads it again and merges the pages
            // that were missed around the entries already taken in.
            log->WriteFormatted(logSeverity, L"Cannot get folder listing %s",
                                Torvik::strings::UTF8toWstr(prefix).c_str());
            LogS3Error(log, outcome.GetError());
            return Failure;
        }
        const auto& result = outcome.GetResult();
        token = result.GetNextContinuationToken();

        for (const auto& commonPrefix : result.GetCommonPrefixes()) {
            std::string text = commonPrefix.GetPrefix();
            if (!text.empty()) text.pop_back();  // the delimiter
            const std::string name = GetElementName(text);
            folder->folders.emplace(name, Folder(name));
        }
        for (const auto& object : result.GetContents()) {
            const std::string& key = object.GetKey();
            // Folder markers, the folder's own among them, are not files.
            if (key.empty() || key.back() == '/') continue;
            const std::string name = GetElementName(key);
            folder->files.emplace(name, File(FileRecord(object, name)));
        }
    } while (!token.empty());

    folder->listed = true;
    return Success;
}
