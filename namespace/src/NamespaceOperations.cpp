#include "namespace/NamespaceOperations.h"

#include <aws/s3/model/DeleteObjectRequest.h>
#include <aws/s3/model/PutObjectRequest.h>

#include "base/LinkValue.h"
#include "base/LogS3Error.h"
#include "base/ProviderProfile.h"
#include "listing/ObjectPager.h"
#include "paths/PathMapping.h"
#include "torvik/Strings.h"

NamespaceOperations::NamespaceOperations(const ProviderProfile& profile, ILog* log, ILink* link,
                                         S3Listing& listing)
    : profile(profile), log(log), link(link), listing(listing) {}

ResultCode NamespaceOperations::GetListing(const std::wstring& path,
                                           std::list<CFileInfo>& entries) {
    if (path.empty()) {
        // Read anew each time: the host may have changed its configuration since set-up, and
        // an empty value is better reported here than as an opaque service error.
        for (const RootParameterCheck& check : profile.rootChecks) {
            if (ReadLinkValue(profile, log, link, check.key).empty()) {
                log->Write(PluginLogSeverity, check.messageWhenEmpty);
                return Failure;
            }
        }
    }
    return listing.GetListing(GetStoragePath(path), entries);
}

ResultCode NamespaceOperations::GetElementAttributes(const std::wstring& path,
                                                     CFileAttributes& attributes) {
    return listing.GetElementInfo(GetStoragePath(path), attributes);
}

ResultCode NamespaceOperations::CreateFolder(const std::wstring& path) {
    const std::string storagePath = GetStoragePath(path);
    if (storagePath.find('/') == std::string::npos) {
        log->Write(PluginLogSeverity, profile.createBucketMessage);
        return Failure;
    }
    const auto [bucket, key] = SplitStoragePath(storagePath);
    // A leading separator leaves no bucket; a request without one would be read as addressing
    // the first component of the key as a bucket.
    if (bucket.empty()) {
        log->WriteFormatted(PluginLogSeverity, L"Cannot create folder %s", path.c_str());
        return Failure;
    }
    const std::string name = GetElementName(storagePath);

    std::shared_ptr<Aws::S3::S3Client> client;
    if (listing.GetBucketClient(bucket, ClientUse::Edit, client) != Success || !client) {
        return Failure;
    }

    Aws::S3::Model::PutObjectRequest request;
    request.SetBucket(bucket);
    request.SetKey(key + "/");
    const auto outcome = client->PutObject(request);
    if (!outcome.IsSuccess()) {
        log->WriteFormatted(PluginLogSeverity, L"Cannot create folder %s", path.c_str());
        LogS3Error(log, outcome.GetError());
        return Failure;
    }

    CFileInfo info;
    info.attributes = CFileAttributes::DirectoryAttribute;
    info.name = Torvik::strings::UTF8toWstr(name);
    // The marker is stored; whether the cache could take the folder does not change that.
    listing.RecordStoredElement(storagePath, info);
    return Success;
}

ResultCode NamespaceOperations::DeleteFolder(const std::wstring& path) {
    const std::string storagePath = GetStoragePath(path);
    const auto [bucket, key] = SplitStoragePath(storagePath);
    if (bucket.empty()) return Failure;
    const std::string prefix = key + "/";

    std::shared_ptr<Aws::S3::S3Client> client;
    if (listing.GetBucketClient(bucket, ClientUse::Edit, client) != Success || !client) {
        return Failure;
    }

    // Flat listing (no delimiter), page after page. Each page is deleted before the next is
    // asked for: the continuation token names a position in key order, which the deletes of
    // keys before it do not move.
    ObjectPager pager(client, bucket, prefix, "");
    ObjectPager::Page page;
    while (pager.More()) {
        if (pager.Next(page) != Success) {
            // A failed request is the caller's to report; a service that repeats its token
            // is not something an operator would otherwise learn of.
            if (pager.RepeatedToken()) {
                log->WriteFormatted(PluginLogSeverity, L"Cannot get folder listing %s",
                                    Torvik::strings::UTF8toWstr(prefix).c_str());
                LogS3Error(log, pager.Error());
            }
            return Failure;
        }
        for (const auto& object : page.objects) {
            Aws::S3::Model::DeleteObjectRequest deleteRequest;
            deleteRequest.SetBucket(bucket);
            deleteRequest.SetKey(object.GetKey());
            if (!client->DeleteObject(deleteRequest).IsSuccess()) return Failure;
        }
    }

    // The cache names the deleted prefix by the storage path: for a bucket alone that is the
    // bucket's folder with the empty name (the keys beginning with '/'), never the bucket.
    listing.RemoveFolder(storagePath);
    return Success;
}

ResultCode NamespaceOperations::DeleteFile(const std::wstring& path) {
    const std::string storagePath = GetStoragePath(path);
    const auto [bucket, key] = SplitStoragePath(storagePath);
    // An object delete with an empty key would address the bucket itself, one without a bucket
    // the first component of the key.
    if (bucket.empty() || key.empty()) {
        log->WriteFormatted(PluginLogSeverity, L"Cannot delete file %s", path.c_str());
        return Failure;
    }

    std::shared_ptr<Aws::S3::S3Client> client;
    if (listing.GetBucketClient(bucket, ClientUse::Edit, client) != Success || !client) {
        return Failure;
    }

    Aws::S3::Model::DeleteObjectRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    const auto outcome = client->DeleteObject(request);
    if (!outcome.IsSuccess()) {
        log->WriteFormatted(PluginLogSeverity, L"Cannot delete file %s", path.c_str());
        LogS3Error(log, outcome.GetError());
        return Failure;
    }
    listing.RemoveFile(storagePath);
    return Success;
}
