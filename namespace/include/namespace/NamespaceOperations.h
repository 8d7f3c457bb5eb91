// The storage instance's operations on the namespace: browsing (listings and attributes) and
// creating and deleting folders and files. Host paths come in; the listing cache answers what it
// can, and the edits go to the service through the client the listing hands out for the bucket.
#pragma once

#include <list>
#include <string>

#include "base/ProviderProfile.h"
#include "host/HostInterfaces.h"
#include "listing/S3Listing.h"

class NamespaceOperations {
  public:
    NamespaceOperations(const ProviderProfile& profile, ILog* log, ILink* link, S3Listing& listing);

    NamespaceOperations(const NamespaceOperations&) = delete;
    NamespaceOperations& operator=(const NamespaceOperations&) = delete;

    // The entries of a folder (the buckets for the empty path), appended to `entries`. Before
    // the root is listed, the profile's connection parameters are read anew; the first empty
    // one is reported and ends the call with Failure, `entries` untouched.
    ResultCode GetListing(const std::wstring& path, std::list<CFileInfo>& entries);
    ResultCode GetElementAttributes(const std::wstring& path, CFileAttributes& attributes);

    // Stores the folder's marker object (its key followed by '/') and enters the folder into
    // the listing cache. Buckets are never created: the root or a bucket alone is refused.
    ResultCode CreateFolder(const std::wstring& path);

    // Deletes every object whose key starts with the folder's key and '/', page after page,
    // stopping at the first delete that fails. The folder leaves the cache when all are gone.
    ResultCode DeleteFolder(const std::wstring& path);

    // Deletes the one object the path names and forgets it in the cache. A path without a key
    // (a bucket alone) is refused without a request.
    ResultCode DeleteFile(const std::wstring& path);

  private:
    const ProviderProfile& profile;
    ILog* log;
    ILink* link;
    S3Listing& listing;
};
