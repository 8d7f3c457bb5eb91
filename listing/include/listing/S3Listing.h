// The instance's picture of the object store as a file tree: buckets at the top, folders and
// files below them, filled lazily from S3 listings one folder level at a time. All paths are
// storage paths (UTF-8, '/'-separated, the bucket first).
#pragma once

#include <aws/s3/S3Client.h>

#include <list>
#include <map>
#include <memory>
#include <string>

#include "host/HostInterfaces.h"
#include "listing/ClientSource.h"

class S3Listing {
  public:
    class File {
      public:
        explicit File(const CFileInfo& info);
        CFileInfo info;
    };

    class Folder {
      public:
        explicit Folder(const std::string& name);
        explicit Folder(const CFileInfo& info);

        CFileInfo info;
        bool listed = false;  // every page of the folder's listing has been read
        std::map<std::string, Folder> folders;
        std::map<std::string, File> files;
    };

    class Bucket : public Folder {
      public:
        explicit Bucket(const std::string& name);

        std::string region;  // regional strategy: empty until first looked up
    };

    // Requests go through the clients that `clients` hands out (in the regional strategy,
    // requests that concern no bucket through a client for its default region).
    // `fallbackRegion` serves the buckets whose location has no constraint; empty means
    // "us-east-1", where the service keeps the buckets it reports without one.
    S3Listing(ILog* log, ClientSource& clients, const std::string& fallbackRegion = "");

    S3Listing(const S3Listing&) = delete;
    S3Listing& operator=(const S3Listing&) = delete;

    // Keeps the first client it is given as the instance-wide client.
    void SetS3Client(std::shared_ptr<Aws::S3::S3Client> client);

    // Reads the account's buckets and merges them into the tree. Until this has succeeded once,
    // the root listing and every lookup of a bucket the tree lacks call it again, so a bucket
    // list that failed to load is never mistaken for a storage without buckets.
    ResultCode GetBucketsList();

    // Appends copies of the entries of `path` (the buckets for the empty path; otherwise the
    // folder's sub-folders, then its files, each group in byte order), listing every folder on
    // the way that has not been read yet. Failure when the bucket list cannot be loaded, a
    // bucket or folder on the way is missing, or a listing fails.
    ResultCode GetListing(const std::string& path, std::list<CFileInfo>& out);

    // Copies the attributes of the element `path` names: Success, Failure (a bucket or folder
    // on the way is missing, or a listing failed) or NotFound (the parent exists, the last
    // component does not).
    ResultCode GetElementInfo(const std::string& path, CFileAttributes& attributes);
    // The same for a file only: where a folder and a file share the name, the file's record;
    // NotFound where the name is only a folder.
    ResultCode GetFileInfo(const std::string& path, CFileAttributes& attributes);

    // Puts the element into the tree (a folder when `info` is a directory), insert-if-absent.
    // Lists the folders on the way that have not been read yet (and, where the profile says
    // so, a listed folder that lacks the next component); Failure when the bucket or a folder
    // on the way is still missing then, or a listing fails.
    ResultCode AddElementToListing(const std::string& path, CFileInfo& info);

    // Records an element this instance has just stored on the service: like
    // AddElementToListing, but an existing file record under that name is replaced (so the new
    // size is what later reads see), and a bucket or folder on the way that the tree lacks is
    // added: the stored key proves it exists now, whatever was listed or deleted before.
    // Failure only when a listing on the way fails.
    ResultCode RecordStoredElement(const std::string& path, const CFileInfo& info);

    // Forgets an element this instance deleted: a file record, or a folder with everything
    // below it. Nothing is listed for this; a path the tree does not hold is left alone.
    void RemoveFile(const std::string& path);
    void RemoveFolder(const std::string& path);

    // Reads one folder level below `prefix` ("" for the bucket's top, otherwise ending in '/')
    // page by page and merges it into `folder`, which counts as listed once every page has been
    // read. Entries of the pages read before a failure stay.
    ResultCode GetFolderListing(const std::string& bucket, const std::string& prefix,
                                Folder* folder);

    // Regional strategy: the bucket's region, asked of the service once and cached.
    // Success, Failure (the request failed) or NotFound (the bucket is not in the tree).
    ResultCode GetBucketRegion(const std::string& bucket, std::string& region);

    // The client for a request about `bucket`, as the profile's client strategy decides:
    // Failure (or NotFound) when the bucket's region cannot be found; nothing is sent then.
    ResultCode GetBucketClient(const std::string& bucket, ClientUse use,
                               std::shared_ptr<Aws::S3::S3Client>& client);

  private:
    // The bucket's node; when the tree lacks it and the bucket list has never loaded, loads the
    // list first. Null when the bucket is still unknown.
    Bucket* FindBucket(const std::string& name);
    // The node that holds the last component of `path` and that component's name, walking
    // the tree as it stands: nothing is listed. Null when a node on the way is missing.
    Folder* FindParentWithoutListing(const std::string& path, std::string& name);
    // The folder that is to receive the last component of `path`, listing on the way as
    // AddElementToListing describes; with `createMissing`, a bucket or folder still missing
    // after that is added instead of failing.
    ResultCode FindParentForAdd(const std::string& path, bool createMissing, Folder*& parent,
                                std::string& name);
    // Walks to the folder that holds the last component of `path`, listing what is unlisted
    // on the way; the last component is left in `name`.
    ResultCode WalkToParent(const std::string& path, Folder*& parent, std::string& name);

    std::map<std::string, Bucket> buckets;
    std::string fallbackRegion;
    ILog* log;
    ClientSource& clients;
    bool bucketsLoaded = false;
};
