// Filling the tree from the service: the account's buckets, and one folder level at a time.
#include <aws/s3/model/ListBucketsRequest.h>

#include "base/LogS3Error.h"
#include "listing/ObjectPager.h"
#include "listing/S3Listing.h"
#include "paths/PathMapping.h"
#include "torvik/Strings.h"

namespace {

// The host record of an object. The name is the key's last component exactly as stored, so
// that it opens the object again.
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
        log->Write(PluginLogSeverity, L"Cannot get buckets listing.");
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

    ObjectPager pager(client, bucket, prefix, "/");
    ObjectPager::Page page;
    int skipped = 0;
    while (pager.More()) {
        if (pager.Next(page) != Success) {
            // The folder stays unlisted, so the next visit reads it again and merges the pages
            // that were missed around the entries already taken in.
            log->WriteFormatted(PluginLogSeverity, L"Cannot get folder listing %s",
                                Torvik::strings::UTF8toWstr(prefix).c_str());
            LogS3Error(log, pager.Error());
            return Failure;
        }
        for (const std::string& commonPrefix : page.commonPrefixes) {
            std::string text = commonPrefix;
            if (!text.empty()) text.pop_back();  // the delimiter
            const std::string name = GetElementName(text);
            // A listing shows only names that lead the host back to what they were listed
            // from: an empty one ("a//b") or one holding '\' cannot be opened under its name,
            // and "." or ".." would take the host out of the folder it is in.
            if (!IsElementName(name)) {
                ++skipped;
                continue;
            }
            folder->folders.emplace(name, Folder(name));
        }
        for (const auto& object : page.objects) {
            const std::string& key = object.GetKey();
            // Folder markers, the folder's own among them, are not files.
            if (key.empty() || key.back() == '/') continue;
            const std::string name = GetElementName(key);
            if (!IsElementName(name)) {
                ++skipped;
                continue;
            }
            folder->files.emplace(name, File(FileRecord(object, name)));
        }
    }

    // The host must not take the folder for complete without being told what it does not see.
    if (skipped > 0) {
        log->WriteFormatted(PluginLogSeverity,
                            L"Folder listing %s: %d entries not shown: a name that is empty, \".\" "
                            L"or \"..\", or holds \"\\\" is no host's file name; the objects "
                            L"stay on the service",
                            Torvik::strings::UTF8toWstr(bucket + "/" + prefix).c_str(), skipped);
    }
    folder->listed = true;
    return Success;
}
