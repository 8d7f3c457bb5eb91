// The tree and the walks along storage paths. Requests to the service are made only through
// GetBucketsList and GetFolderListing (FolderListing.cpp).
#include "listing/S3Listing.h"

#include "paths/PathMapping.h"
#include "providers/ProviderFacts.h"
#include "torvik/Strings.h"

namespace {

// Takes the next component off the front of `rest`.
std::string NextComponent(std::string& rest) {
    const std::size_t slash = rest.find('/');
    std::string component;
    if (slash == std::string::npos) {
        component = rest;
        rest.clear();
    } else {
        component = rest.substr(0, slash);
        rest.erase(0, slash + 1);
    }
    return component;
}

void CopyAttributes(const CFileInfo& info, CFileAttributes& attributes) {
    attributes = static_cast<const CFileAttributes&>(info);
}

}  // namespace

S3Listing::File::File(const CFileInfo& info) : info(info) {}

S3Listing::Folder::Folder(const std::string& name) {
    info.attributes = CFileAttributes::DirectoryAttribute;
    info.name = Torvik::strings::UTF8toWstr(name);
}

S3Listing::Folder::Folder(const CFileInfo& info) : info(info) {}

S3Listing::Bucket::Bucket(const std::string& name) : Folder(name) {}

S3Listing::S3Listing(ILog* log, ClientSource& clients, const std::string& fallbackRegion)
    : fallbackRegion(fallbackRegion.empty() ? std::string(providers::RegionOfEmptyLocation)
                                            : fallbackRegion),
      log(log),
      clients(clients) {}

void S3Listing::SetS3Client(std::shared_ptr<Aws::S3::S3Client> client) {
    if (!clients.SharedClient()) clients.SetSharedClient(std::move(client));
}

S3Listing::Bucket* S3Listing::FindBucket(const std::string& name) {
    auto found = buckets.find(name);
    if (found == buckets.end() && !bucketsLoaded) {
        if (GetBucketsList() != Success) return nullptr;
        found = buckets.find(name);
    }
    return found == buckets.end() ? nullptr : &found->second;
}

ResultCode S3Listing::GetListing(const std::string& path, std::list<CFileInfo>& out) {
    if (path.empty()) {
        if (!bucketsLoaded && GetBucketsList() != Success) return Failure;
        for (const auto& bucket : buckets) out.push_back(bucket.second.info);
        return Success;
    }

    auto [bucketName, rest] = SplitStoragePath(path);
    Folder* current = FindBucket(bucketName);
    if (current == nullptr) return Failure;
    std::string prefix;
    if (!current->listed) {
        const ResultCode result = GetFolderListing(bucketName, prefix, current);
        if (result != Success) return result;
    }
    while (!rest.empty()) {
        const std::string component = NextComponent(rest);
        prefix += component + "/";
        const auto found = current->folders.find(component);
        if (found == current->folders.end()) return Failure;
        current = &found->second;
        if (!current->listed) {
            const ResultCode result = GetFolderListing(bucketName, prefix, current);
            if (result != Success) return result;
        }
    }

    for (const auto& folder : current->folders) out.push_back(folder.second.info);
    for (const auto& file : current->files) out.push_back(file.second.info);
    return Success;
}

ResultCode S3Listing::WalkToParent(const std::string& path, Folder*& parent, std::string& name) {
    auto [bucketName, rest] = SplitStoragePath(path);
    Folder* current = FindBucket(bucketName);
    if (current == nullptr) return Failure;
    std::string prefix;
    if (!current->listed) {
        const ResultCode result = GetFolderListing(bucketName, prefix, current);
        if (result != Success) return result;
    }
    while (rest.find('/') != std::string::npos) {
        const std::string component = NextComponent(rest);
        prefix += component + "/";
        const auto found = current->folders.find(component);
        if (found == current->folders.end()) return Failure;
        current = &found->second;
        if (!current->listed) {
            const ResultCode result = GetFolderListing(bucketName, prefix, current);
            if (result != Success) return result;
        }
    }
    parent = current;
    name = rest;
    return Success;
}

ResultCode S3Listing::GetElementInfo(const std::string& path, CFileAttributes& attributes) {
    auto [bucketName, rest] = SplitStoragePath(path);
    if (rest.empty()) {
        Folder* bucket = FindBucket(bucketName);
        if (bucket == nullptr) return Failure;
        CopyAttributes(bucket->info, attributes);
        return Success;
    }
    Folder* parent = nullptr;
    std::string name;
    const ResultCode walked = WalkToParent(path, parent, name);
    if (walked != Success) return walked;
    // A folder and a file may share a name; the folder answers.
    const auto folder = parent->folders.find(name);
    if (folder != parent->folders.end()) {
        CopyAttributes(folder->second.info, attributes);
        return Success;
    }
    const auto file = parent->files.find(name);
    if (file != parent->files.end()) {
        CopyAttributes(file->second.info, attributes);
        return Success;
    }
    return NotFound;
}

ResultCode S3Listing::GetFileInfo(const std::string& path, CFileAttributes& attributes) {
    if (SplitStoragePath(path).second.empty()) return NotFound;  // a bucket is no file
    Folder* parent = nullptr;
    std::string name;
    const ResultCode walked = WalkToParent(path, parent, name);
    if (walked != Success) return walked;
    const auto file = parent->files.find(name);
    if (file == parent->files.end()) return NotFound;
    CopyAttributes(file->second.info, attributes);
    return Success;
}

ResultCode S3Listing::FindParentForAdd(const std::string& path, bool createMissing, Folder*& parent,
                                       std::string& name) {
    auto [bucketName, rest] = SplitStoragePath(path);
    Folder* current = FindBucket(bucketName);
    if (current == nullptr) {
        if (!createMissing || !bucketsLoaded || bucketName.empty()) return Failure;
        current = &buckets.emplace(bucketName, Bucket(bucketName)).first->second;
    }

    std::string prefix;
    while (rest.find('/') != std::string::npos) {
        const std::string component = NextComponent(rest);
        // Where the profile allows it, a listed folder that lacks the component is read again:
        // the folder may have been created by another client since it was listed.
        const bool missing = current->folders.find(component) == current->folders.end();
        if (!current->listed || (missing && clients.Profile().rereadListedFolderOnMiss)) {
            const ResultCode result = GetFolderListing(bucketName, prefix, current);
            if (result != Success) return result;
        }
        auto found = current->folders.find(component);
        if (found == current->folders.end()) {
            if (!createMissing) return Failure;
            found = current->folders.emplace(component, Folder(component)).first;
        }
        current = &found->second;
        prefix += component + "/";
    }
    parent = current;
    name = rest;
    return Success;
}

ResultCode S3Listing::AddElementToListing(const std::string& path, CFileInfo& info) {
    Folder* parent = nullptr;
    std::string name;
    const ResultCode result = FindParentForAdd(path, false, parent, name);
    if (result != Success) return result;
    if (info.IsDirectory()) {
        parent->folders.emplace(name, Folder(info));
    } else {
        parent->files.emplace(name, File(info));
    }
    return Success;
}

ResultCode S3Listing::RecordStoredElement(const std::string& path, const CFileInfo& info) {
    Folder* parent = nullptr;
    std::string name;
    const ResultCode result = FindParentForAdd(path, true, parent, name);
    if (result != Success) return result;
    if (info.IsDirectory()) {
        parent->folders.emplace(name, Folder(info));
    } else {
        parent->files.insert_or_assign(name, File(info));
    }
    return Success;
}

S3Listing::Folder* S3Listing::FindParentWithoutListing(const std::string& path, std::string& name) {
    auto [bucketName, rest] = SplitStoragePath(path);
    const auto bucket = buckets.find(bucketName);
    if (bucket == buckets.end()) return nullptr;
    Folder* current = &bucket->second;
    while (rest.find('/') != std::string::npos) {
        const auto found = current->folders.find(NextComponent(rest));
        if (found == current->folders.end()) return nullptr;
        current = &found->second;
    }
    name = rest;
    return current;
}

void S3Listing::RemoveFile(const std::string& path) {
    std::string name;
    Folder* parent = FindParentWithoutListing(path, name);
    if (parent != nullptr) parent->files.erase(name);
}

void S3Listing::RemoveFolder(const std::string& path) {
    // The bucket itself is never removed: for a bucket name alone the last component is the
    // empty name, the folder that holds the keys beginning with '/'.
    std::string name;
    Folder* parent = FindParentWithoutListing(path, name);
    if (parent != nullptr) parent->folders.erase(name);
}
