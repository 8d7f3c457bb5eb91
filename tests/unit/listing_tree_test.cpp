// The listing cache's own rules, driven directly rather than through a plug-in: how elements
// enter, replace and leave the tree, when a folder is read (again), and which client serves
// which use. The tree is filled from a local S3 server behind the fault proxy, which counts
// the requests the cache sends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "base/S3Clients.h"
#include "listing/ClientSource.h"
#include "listing/S3Listing.h"
#include "testhost/Testhost.h"
#include "torvik/Strings.h"

namespace {

ProviderProfile TestProfile(ClientStrategy strategy, bool rereadOnMiss) {
    ProviderProfile profile{};
    profile.displayName = L"Listing test";
    profile.accessKeyKey = L"AccessKeyID";
    profile.secretKeyKey = L"SecretAccessKey";
    profile.endpointSource = EndpointSource::ServerNameParam;
    profile.regionPolicy = RegionPolicy::RegionParam;
    profile.clientStrategy = strategy;
    profile.rereadListedFolderOnMiss = rereadOnMiss;
    profile.createBucketMessage = L"";
    profile.transferReporting = TransferReporting::HostLog;
    return profile;
}

std::vector<std::string> Names(const std::list<CFileInfo>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(Torvik::strings::WstrToUTF8(entry.name));
    return names;
}

CFileInfo FileRecord(const std::string& name, std::uint64_t size) {
    CFileInfo info;
    info.name = Torvik::strings::UTF8toWstr(name);
    info.attributes = CFileAttributes::NormalFileAttribute;
    info.size = size;
    info.sizeValid = true;
    return info;
}

CFileInfo FolderRecord(const std::string& name) {
    CFileInfo info;
    info.name = Torvik::strings::UTF8toWstr(name);
    info.attributes = CFileAttributes::DirectoryAttribute;
    return info;
}

// A listing cache of one profile, whose requests go through a fresh fault proxy.
class Tree {
  public:
    Tree(ClientStrategy strategy, bool rereadOnMiss)
        : proxy(testhost::MotoServer::Shared().Url()),
          profile(TestProfile(strategy, rereadOnMiss)),
          credentials("AKIDTREE", "tree-secret"),
          clients(
              profile, credentials, [this] { return Config(); }, ""),
          listing(&log, clients) {
        listing.SetS3Client(MakeS3Client(credentials, Config()));
    }

    Aws::Client::ClientConfiguration Config() const {
        Aws::Client::ClientConfiguration config;
        config.endpointOverride = proxy.Url();
        config.region = "us-east-1";
        return config;
    }

    int Listings() const {
        int count = 0;
        for (const auto& request : proxy.Requests()) {
            if (request.target.find("list-type=2") != std::string::npos) ++count;
        }
        return count;
    }

    testhost::FaultProxy proxy;
    ProviderProfile profile;
    Aws::Auth::AWSCredentials credentials;
    testhost::RecordingLog log;
    ClientSource clients;
    S3Listing listing;
};

class ListingTree : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        // A client made here must never look past loopback, for its region or its endpoint.
        setenv("AWS_EC2_METADATA_DISABLED", "true", 1);
        setenv("AWS_ENDPOINT_URL", "http://127.0.0.1:9", 1);
    }

    ListingTree()
        : admin(testhost::MotoServer::Shared().Url()), bucket(admin.UniqueBucketName("tree")) {
        admin.CreateBucket(bucket);
    }

    testhost::S3Admin admin;
    std::string bucket;
};

TEST_F(ListingTree, AnElementAddedToAnUnvisitedFolderJoinsItsLaterListing) {
    admin.PutObject(bucket, "a/old.bak", "old");
    Tree tree(ClientStrategy::Shared, true);
    ASSERT_EQ(tree.listing.GetBucketsList(), Success);

    CFileInfo folder = FolderRecord("new");
    ASSERT_EQ(tree.listing.AddElementToListing(bucket + "/a/new", folder), Success);
    EXPECT_EQ(tree.Listings(), 1);  // the bucket's top level, to find a; not a itself

    std::list<CFileInfo> entries;
    ASSERT_EQ(tree.listing.GetListing(bucket + "/a", entries), Success);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"new", "old.bak"}));
    EXPECT_EQ(tree.Listings(), 2);
}

TEST_F(ListingTree, AddingKeepsAnExistingRecordAndRecordingAWrittenFileReplacesIt) {
    admin.PutObject(bucket, "listed.bak", "12345");
    Tree tree(ClientStrategy::Shared, true);
    ASSERT_EQ(tree.listing.GetBucketsList(), Success);

    CFileInfo first = FileRecord("f.bak", 1);
    CFileInfo second = FileRecord("f.bak", 2);
    ASSERT_EQ(tree.listing.AddElementToListing(bucket + "/f.bak", first), Success);
    ASSERT_EQ(tree.listing.AddElementToListing(bucket + "/f.bak", second), Success);
    CFileAttributes attributes;
    ASSERT_EQ(tree.listing.GetElementInfo(bucket + "/f.bak", attributes), Success);
    EXPECT_EQ(attributes.size, 1u);

    ASSERT_EQ(tree.listing.RecordStoredElement(bucket + "/f.bak", FileRecord("f.bak", 3)), Success);
    ASSERT_EQ(tree.listing.GetElementInfo(bucket + "/f.bak", attributes), Success);
    EXPECT_EQ(attributes.size, 3u);

    // A record the service listed is replaced as well.
    ASSERT_EQ(tree.listing.GetElementInfo(bucket + "/listed.bak", attributes), Success);
    EXPECT_EQ(attributes.size, 5u);
    ASSERT_EQ(tree.listing.RecordStoredElement(bucket + "/listed.bak", FileRecord("listed.bak", 7)),
              Success);
    ASSERT_EQ(tree.listing.GetElementInfo(bucket + "/listed.bak", attributes), Success);
    EXPECT_EQ(attributes.size, 7u);
    EXPECT_EQ(attributes.attributes, CFileAttributes::NormalFileAttribute);
}

TEST_F(ListingTree, AFolderCreatedElsewhereIsFoundOnlyWhereTheProfileRereads) {
    for (bool reread : {true, false}) {
        SCOPED_TRACE(reread ? "rereads" : "does not reread");
        const std::string name = admin.UniqueBucketName("reread");
        admin.CreateBucket(name);
        Tree tree(ClientStrategy::Shared, reread);
        ASSERT_EQ(tree.listing.GetBucketsList(), Success);
        std::list<CFileInfo> entries;
        ASSERT_EQ(tree.listing.GetListing(name, entries), Success);
        EXPECT_TRUE(entries.empty());

        admin.PutObject(name, "new/", "");
        tree.proxy.ClearRequests();
        CFileInfo file = FileRecord("x.bak", 1);
        EXPECT_EQ(tree.listing.AddElementToListing(name + "/new/x.bak", file),
                  reread ? Success : Failure);
        EXPECT_EQ(tree.Listings(), reread ? 1 : 0);
        CFileAttributes attributes;
        EXPECT_EQ(tree.listing.GetElementInfo(name + "/new/x.bak", attributes),
                  reread ? Success : Failure);
    }
}

TEST_F(ListingTree, AnUnknownFolderTakesNoElementButAStoredOneProvesItsFolders) {
    Tree tree(ClientStrategy::Shared, false);
    ASSERT_EQ(tree.listing.GetBucketsList(), Success);
    CFileInfo file = FileRecord("x.bak", 1);
    EXPECT_EQ(tree.listing.AddElementToListing(bucket + "-absent/x.bak", file), Failure);
    EXPECT_EQ(tree.listing.AddElementToListing(bucket + "/absent/x.bak", file), Failure);
    // An object the service has just stored exists, and so do the folders on its way, even
    // where the tree, listed before another client made them, lacks them.
    ASSERT_EQ(tree.listing.RecordStoredElement(bucket + "/absent/deeper/x.bak", file), Success);
    CFileAttributes attributes;
    ASSERT_EQ(tree.listing.GetElementInfo(bucket + "/absent/deeper/x.bak", attributes), Success);
    EXPECT_EQ(attributes.size, 1u);
    EXPECT_TRUE(tree.listing.GetElementInfo(bucket + "/absent", attributes) == Success &&
                attributes.IsDirectory());
    // A listing that fails on the way still fails the record.
    Tree fresh(ClientStrategy::Shared, false);
    ASSERT_EQ(fresh.listing.GetBucketsList(), Success);
    testhost::FaultRule refuse;
    refuse.count = -1;
    refuse.pathRegex = "list-type=2";
    fresh.proxy.AddRule(refuse);
    EXPECT_EQ(fresh.listing.RecordStoredElement(bucket + "/a/y.bak", file), Failure);
}

TEST_F(ListingTree, RemovedElementsLeaveTheTreeWithoutARequest) {
    admin.PutObject(bucket, "keep.bak", "k");
    admin.PutObject(bucket, "gone.bak", "g");
    admin.PutObject(bucket, "dir/sub/deep.bak", "d");
    admin.PutObject(bucket, "dir/file.bak", "f");
    Tree tree(ClientStrategy::Shared, true);
    ASSERT_EQ(tree.listing.GetBucketsList(), Success);
    std::list<CFileInfo> entries;
    ASSERT_EQ(tree.listing.GetListing(bucket + "/dir/sub", entries), Success);
    tree.proxy.ClearRequests();

    tree.listing.RemoveFile(bucket + "/gone.bak");
    tree.listing.RemoveFolder(bucket + "/dir");
    // Paths the tree does not hold are left alone; a bucket is never removed.
    tree.listing.RemoveFile(bucket + "/nothing/here.bak");
    tree.listing.RemoveFolder(bucket + "/nothing/here");
    tree.listing.RemoveFolder(bucket);
    tree.listing.RemoveFile(bucket + "-absent/x.bak");
    EXPECT_TRUE(tree.proxy.Requests().empty());

    std::list<CFileInfo> top;
    ASSERT_EQ(tree.listing.GetListing(bucket, top), Success);
    EXPECT_EQ(Names(top), (std::vector<std::string>{"keep.bak"}));
    CFileAttributes attributes;
    EXPECT_EQ(tree.listing.GetElementInfo(bucket + "/gone.bak", attributes), NotFound);
    EXPECT_EQ(tree.listing.GetElementInfo(bucket + "/dir/sub/deep.bak", attributes), Failure);
    EXPECT_EQ(tree.listing.GetElementInfo(bucket, attributes), Success);
    EXPECT_TRUE(tree.proxy.Requests().empty());

    // A folder made again after its removal starts unlisted and empty but for what is added.
    CFileInfo folder = FolderRecord("dir");
    ASSERT_EQ(tree.listing.AddElementToListing(bucket + "/dir", folder), Success);
    std::list<CFileInfo> dir;
    ASSERT_EQ(tree.listing.GetListing(bucket + "/dir", dir), Success);
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"sub", "file.bak"}));
    EXPECT_EQ(tree.Listings(), 1);
}

TEST_F(ListingTree, AFolderIsListedOnlyWhenEveryPageHasBeenRead) {
    const std::string paged = admin.UniqueBucketName("pages");
    admin.CreateBucket(paged);
    for (int i = 0; i < 1003; ++i) admin.PutObject(paged, "p/" + std::to_string(10000 + i), "");
    testhost::ScopedEnv mode("AWS_RETRY_MODE", "standard");
    testhost::ScopedEnv attempts("AWS_MAX_ATTEMPTS", "1");
    Tree tree(ClientStrategy::Shared, true);
    tree.proxy.AddRule(testhost::FaultRule{"GET", "continuation-token=", 1, 1,
                                           testhost::FaultAction::Status, 500});

    S3Listing::Folder folder(std::string("p"));
    EXPECT_EQ(tree.listing.GetFolderListing(paged, "p/", &folder), Failure);
    EXPECT_FALSE(folder.listed);
    EXPECT_EQ(folder.files.size(), 1000u);  // the first page stays
    EXPECT_TRUE(tree.log.Contains("Cannot get folder listing p/"));

    ASSERT_EQ(tree.listing.GetFolderListing(paged, "p/", &folder), Success);
    EXPECT_TRUE(folder.listed);
    EXPECT_EQ(folder.files.size(), 1003u);
    EXPECT_EQ(folder.files.begin()->first, "10000");
    EXPECT_EQ(folder.files.rbegin()->first, "11002");
}

TEST_F(ListingTree, TheClientStrategyDecidesWhichClientServesAUse) {
    Tree shared(ClientStrategy::Shared, true);
    std::shared_ptr<Aws::S3::S3Client> client;
    for (ClientUse use : {ClientUse::Browse, ClientUse::Edit, ClientUse::Transfer}) {
        ASSERT_EQ(shared.listing.GetBucketClient(bucket, use, client), Success);
        EXPECT_EQ(client, shared.clients.SharedClient());
    }

    Tree edits(ClientStrategy::SharedWithShortLivedEdits, false);
    ASSERT_EQ(edits.listing.GetBucketClient(bucket, ClientUse::Browse, client), Success);
    EXPECT_EQ(client, edits.clients.SharedClient());
    ASSERT_EQ(edits.listing.GetBucketClient(bucket, ClientUse::Transfer, client), Success);
    EXPECT_EQ(client, edits.clients.SharedClient());
    std::shared_ptr<Aws::S3::S3Client> edit;
    std::shared_ptr<Aws::S3::S3Client> nextEdit;
    ASSERT_EQ(edits.listing.GetBucketClient(bucket, ClientUse::Edit, edit), Success);
    ASSERT_EQ(edits.listing.GetBucketClient(bucket, ClientUse::Edit, nextEdit), Success);
    ASSERT_TRUE(edit);
    EXPECT_NE(edit, edits.clients.SharedClient());
    EXPECT_NE(edit, nextEdit);
    // A short-lived client is built from the instance's configuration: it reaches the server.
    edits.proxy.ClearRequests();
    EXPECT_TRUE(edit->ListBuckets().IsSuccess());
    EXPECT_EQ(edits.proxy.Requests().size(), 1u);
    EXPECT_TRUE(shared.proxy.Requests().empty());  // choosing a client sends nothing

    // The first shared client stays.
    edits.listing.SetS3Client(MakeS3Client(edits.credentials, edits.Config()));
    ASSERT_EQ(edits.listing.GetBucketClient(bucket, ClientUse::Browse, client), Success);
    EXPECT_EQ(client, edits.clients.SharedClient());
}

TEST_F(ListingTree, ARegionalClientNeedsABucketTheCacheKnows) {
    Tree regional(ClientStrategy::Regional, true);
    // Regional clients have no endpoint of their own: send them to the proxy.
    testhost::ScopedEnv endpoint("AWS_ENDPOINT_URL_S3", regional.proxy.Url());
    ASSERT_EQ(regional.listing.GetBucketsList(), Success);
    regional.proxy.ClearRequests();
    std::shared_ptr<Aws::S3::S3Client> client;
    std::string region = "stale";
    EXPECT_EQ(regional.listing.GetBucketRegion(bucket + "-absent", region), NotFound);
    EXPECT_TRUE(region.empty());
    EXPECT_EQ(regional.listing.GetBucketClient(bucket + "-absent", ClientUse::Edit, client),
              Failure);
    EXPECT_FALSE(client);
    EXPECT_TRUE(regional.proxy.Requests().empty());
    EXPECT_TRUE(regional.log.Lines().empty());
}

}  // namespace
