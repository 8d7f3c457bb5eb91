// Browsing a storage through the plug-in's read interface, as the host does: the listing
// cache filled from a local S3 server, with the requests it sends observed (and failed) by the
// fault proxy in front of the server.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <list>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "testhost/Testhost.h"
#include "torvik/Strings.h"

namespace {

using testhost::FaultAction;
using testhost::FaultRule;

struct InstanceDeleter {
    void operator()(IBackupDataWrite* instance) const { instance->Destroy(); }
};
using Instance = std::unique_ptr<IBackupDataWrite, InstanceDeleter>;

std::vector<std::string> Names(const std::list<CFileInfo>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(Torvik::strings::WstrToUTF8(entry.name));
    return names;
}

std::wstring Wide(const std::string& text) { return Torvik::strings::UTF8toWstr(text); }

// The decoded value of one query parameter of a request target; "<absent>" when not there.
std::string QueryValue(const std::string& target, const std::string& name) {
    const std::size_t question = target.find('?');
    if (question == std::string::npos) return "<absent>";
    std::size_t start = question + 1;
    while (start <= target.size()) {
        std::size_t end = target.find('&', start);
        if (end == std::string::npos) end = target.size();
        const std::string pair = target.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        if (pair.substr(0, equals) == name) {
            const std::string raw = equals == std::string::npos ? "" : pair.substr(equals + 1);
            std::string decoded;
            for (std::size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] == '%' && i + 2 < raw.size()) {
                    decoded += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
                    i += 2;
                } else {
                    decoded += raw[i];
                }
            }
            return decoded;
        }
        start = end + 1;
    }
    return "<absent>";
}

bool IsObjectListing(const testhost::RecordedRequest& request) {
    return request.method == "GET" && request.target.find("list-type=2") != std::string::npos;
}

bool IsBucketList(const testhost::RecordedRequest& request) {
    return request.method == "GET" && (request.target == "/" || request.target.rfind("/?", 0) == 0);
}

std::vector<testhost::RecordedRequest> ObjectListings(const testhost::FaultProxy& proxy) {
    std::vector<testhost::RecordedRequest> listings;
    for (const auto& request : proxy.Requests()) {
        if (IsObjectListing(request)) listings.push_back(request);
    }
    return listings;
}

int CountBucketLists(const testhost::FaultProxy& proxy) {
    const auto requests = proxy.Requests();
    return static_cast<int>(std::count_if(requests.begin(), requests.end(), IsBucketList));
}

// A libMardel instance whose endpoint is `url`.
class MardelHost {
  public:
    explicit MardelHost(const std::string& url) : lib("Mardel") {
        link.Set(L"ServerName", Wide(url));
        link.Set(L"AccessKeyID", L"AKIDBROWSING");
        link.Set(L"SecretAccessKey", L"browsing-secret");
        link.Set(L"Region", L"us-east-1");
    }
    Instance Open() { return Instance(lib.GetBackupDataWrite(&log, &link)); }

    testhost::PluginLibrary lib;
    testhost::RecordingLog log;
    testhost::MapLink link;
};

class Browsing : public testing::Test {
  protected:
    Browsing()
        : moto(testhost::MotoServer::Shared()),
          admin(moto.Url()),
          proxy(moto.Url()),
          host(proxy.Url()),
          bucket(admin.UniqueBucketName("browse")) {
        admin.CreateBucket(bucket);
    }

    std::wstring Path(const std::string& rest = "") const {
        return Wide(rest.empty() ? bucket : bucket + "\\" + rest);
    }

    testhost::MotoServer& moto;
    testhost::S3Admin admin;
    testhost::FaultProxy proxy;
    MardelHost host;
    std::string bucket;
};

TEST_F(Browsing, ListsOneLevelPerRequestAndSkipsMarkers) {
    admin.PutObject(bucket, "a/", "");
    admin.PutObject(bucket, "a/x.bak", "x");
    admin.PutObject(bucket, "b.bak", "bb");
    admin.PutObject(bucket, "c/d/e.bak", "e");
    Instance instance = host.Open();
    proxy.ClearRequests();

    std::list<CFileInfo> top;
    ASSERT_EQ(instance->GetListing(Path(), top), Success);
    EXPECT_EQ(Names(top), (std::vector<std::string>{"a", "c", "b.bak"}));
    auto listings = ObjectListings(proxy);
    ASSERT_EQ(listings.size(), 1u);
    EXPECT_EQ(QueryValue(listings[0].target, "prefix"), "");
    EXPECT_EQ(QueryValue(listings[0].target, "delimiter"), "/");
    EXPECT_EQ(QueryValue(listings[0].target, "continuation-token"), "<absent>");
    auto entry = top.begin();
    EXPECT_EQ(entry->attributes, CFileAttributes::DirectoryAttribute);
    ++entry;
    EXPECT_EQ(entry->attributes, CFileAttributes::DirectoryAttribute);
    ++entry;
    EXPECT_EQ(entry->attributes, CFileAttributes::NormalFileAttribute);
    EXPECT_EQ(entry->size, 2u);
    EXPECT_TRUE(entry->sizeValid);
    EXPECT_TRUE(entry->timeValid);

    proxy.ClearRequests();
    std::list<CFileInfo> a;
    ASSERT_EQ(instance->GetListing(Path("a"), a), Success);
    EXPECT_EQ(Names(a), (std::vector<std::string>{"x.bak"}));  // the marker a/ is no file
    listings = ObjectListings(proxy);
    ASSERT_EQ(listings.size(), 1u);
    EXPECT_EQ(QueryValue(listings[0].target, "prefix"), "a/");

    proxy.ClearRequests();
    std::list<CFileInfo> c;
    ASSERT_EQ(instance->GetListing(Path("c\\"), c), Success);
    EXPECT_EQ(Names(c), (std::vector<std::string>{"d"}));
    listings = ObjectListings(proxy);
    ASSERT_EQ(listings.size(), 1u);
    EXPECT_EQ(QueryValue(listings[0].target, "prefix"), "c/");
}

TEST_F(Browsing, ServesAListedFolderFromTheCache) {
    admin.PutObject(bucket, "f/one.bak", "1");
    Instance instance = host.Open();
    std::list<CFileInfo> first;
    ASSERT_EQ(instance->GetListing(Path("f"), first), Success);

    // Written behind the instance's back: a listed folder is not read again.
    admin.PutObject(bucket, "f/two.bak", "2");
    proxy.ClearRequests();
    std::list<CFileInfo> second;
    ASSERT_EQ(instance->GetListing(Path("f"), second), Success);
    CFileAttributes attributes;
    ASSERT_EQ(instance->GetElementAttributes(Path("f\\one.bak"), attributes), Success);
    EXPECT_EQ(instance->GetElementAttributes(Path("f\\two.bak"), attributes), NotFound);
    EXPECT_EQ(Names(second), (std::vector<std::string>{"one.bak"}));
    EXPECT_TRUE(proxy.Requests().empty());

    // Nor is a folder the listed bucket did not show.
    admin.PutObject(bucket, "late/x.bak", "x");
    std::list<CFileInfo> late;
    EXPECT_EQ(instance->GetListing(Path("late"), late), Failure);
    EXPECT_TRUE(late.empty());
    EXPECT_TRUE(proxy.Requests().empty());
}

TEST_F(Browsing, AttributesOfBucketsFoldersAndMissingElements) {
    admin.PutObject(bucket, "x/inner.bak", "i");
    admin.PutObject(bucket, "x", "same name as the folder");
    admin.PutObject(bucket, "y/", "");
    Instance instance = host.Open();
    proxy.ClearRequests();

    CFileAttributes attributes;
    ASSERT_EQ(instance->GetElementAttributes(Path(), attributes), Success);
    EXPECT_EQ(attributes.attributes, CFileAttributes::DirectoryAttribute);
    EXPECT_TRUE(proxy.Requests().empty());  // a bucket alone needs no listing
    EXPECT_EQ(instance->GetElementAttributes(Wide(bucket + "-absent"), attributes), Failure);

    // A prefix and an object of one name: both are listed, the folder first; the folder answers.
    std::list<CFileInfo> top;
    ASSERT_EQ(instance->GetListing(Path(), top), Success);
    ASSERT_EQ(Names(top), (std::vector<std::string>{"x", "y", "x"}));
    EXPECT_EQ(top.front().attributes, CFileAttributes::DirectoryAttribute);
    EXPECT_EQ(top.back().attributes, CFileAttributes::NormalFileAttribute);
    EXPECT_EQ(top.back().size, 23u);
    ASSERT_EQ(instance->GetElementAttributes(Path("x"), attributes), Success);
    EXPECT_EQ(attributes.attributes, CFileAttributes::DirectoryAttribute);

    std::list<CFileInfo> y;
    ASSERT_EQ(instance->GetListing(Path("y"), y), Success);
    EXPECT_TRUE(y.empty());  // only its own marker
    EXPECT_EQ(instance->GetElementAttributes(Path("y\\"), attributes), NotFound);
    EXPECT_EQ(instance->GetElementAttributes(Path("x\\missing.bak"), attributes), NotFound);
    EXPECT_EQ(instance->GetElementAttributes(Path("nofolder\\file.bak"), attributes), Failure);
}

TEST_F(Browsing, OrdersNamesByBytes) {
    for (const char* key : {"a.bak", "\xC3\xA9t\xC3\xA9.bak", "B.bak", "_x.bak", "Z/", "b/c"}) {
        admin.PutObject(bucket, key, "");
    }
    Instance instance = host.Open();
    std::list<CFileInfo> top;
    ASSERT_EQ(instance->GetListing(Path(), top), Success);
    EXPECT_EQ(Names(top), (std::vector<std::string>{"Z", "b", "B.bak", "_x.bak", "a.bak",
                                                    "\xC3\xA9t\xC3\xA9.bak"}));
    // The wide name is the same text as the UTF-8 key.
    EXPECT_EQ(top.back().name, L"\u00e9t\u00e9.bak");
}

TEST_F(Browsing, NamesAreTheKeysEvenWithXmlSpecialCharacters) {
    const std::vector<std::string> keys = {
        "amp&amp;text.bak", "lt&lt;gt&gt;.bak", "quote\"apos'.bak",
        "less<more>.bak",   "and&.bak",         "\xE6\x97\xA5\xE6\x9C\xAC.bak",
    };
    for (const auto& key : keys) admin.PutObject(bucket, "special/" + key, key);
    admin.PutObject(bucket, "special/&amp;dir/inside.bak", "");
    Instance instance = host.Open();

    std::list<CFileInfo> entries;
    ASSERT_EQ(instance->GetListing(Path("special"), entries), Success);
    std::vector<std::string> expected = keys;
    std::sort(expected.begin(), expected.end());
    expected.insert(expected.begin(), "&amp;dir");
    EXPECT_EQ(Names(entries), expected);

    // Every listed name finds its object again.
    for (const auto& key : keys) {
        CFileAttributes attributes;
        ASSERT_EQ(instance->GetElementAttributes(Path("special\\" + key), attributes), Success)
            << key;
        EXPECT_EQ(attributes.size, key.size()) << key;
    }
    std::list<CFileInfo> inside;
    ASSERT_EQ(instance->GetListing(Path("special\\&amp;dir"), inside), Success);
    EXPECT_EQ(Names(inside), (std::vector<std::string>{"inside.bak"}));
    const auto listings = ObjectListings(proxy);
    ASSERT_FALSE(listings.empty());
    EXPECT_EQ(QueryValue(listings.back().target, "prefix"), "special/&amp;dir/");
}

TEST_F(Browsing, TimesAreTheServersWholeSeconds) {
    admin.PutObject(bucket, "t.bak", "time");
    // The server's own record of the object, read without the client under test.
    const auto answer = admin.Request("GET", "/" + bucket + "?list-type=2");
    ASSERT_EQ(answer.status, 200);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(
        answer.body, match,
        std::regex("<LastModified>(\\d+)-(\\d+)-(\\d+)T(\\d+):(\\d+):(\\d+)[^<]*</LastModified>")));
    std::tm parts{};
    parts.tm_year = std::stoi(match[1]) - 1900;
    parts.tm_mon = std::stoi(match[2]) - 1;
    parts.tm_mday = std::stoi(match[3]);
    parts.tm_hour = std::stoi(match[4]);
    parts.tm_min = std::stoi(match[5]);
    parts.tm_sec = std::stoi(match[6]);

    Instance instance = host.Open();
    CFileAttributes attributes;
    ASSERT_EQ(instance->GetElementAttributes(Path("t.bak"), attributes), Success);
    EXPECT_EQ(attributes.modificationTime, static_cast<std::int64_t>(timegm(&parts)));
    EXPECT_EQ(attributes.size, 4u);
}

// A folder of more keys than the server's page holds, shared by the paging tests.
class LargeFolder : public Browsing {
  protected:
    static constexpr int keyCount = 1005;

    static void SetUpTestSuite() {
        testhost::S3Admin setup(testhost::MotoServer::Shared().Url());
        sharedBucket = setup.UniqueBucketName("paging");
        setup.CreateBucket(sharedBucket);
        for (int i = 0; i < keyCount; ++i) {
            char key[32];
            std::snprintf(key, sizeof key, "many/k%04d.bak", i);
            setup.PutObject(sharedBucket, key, "");
        }
    }

    std::wstring ManyPath() const { return Wide(sharedBucket + "/many"); }

    // The listing requests of the folder itself, not of the bucket's top level above it.
    std::vector<testhost::RecordedRequest> ManyListings() const {
        std::vector<testhost::RecordedRequest> many;
        for (const auto& request : ObjectListings(proxy)) {
            if (QueryValue(request.target, "prefix") == "many/") many.push_back(request);
        }
        return many;
    }

    static std::string sharedBucket;
};
std::string LargeFolder::sharedBucket;

TEST_F(LargeFolder, ReadsEveryPage) {
    Instance instance = host.Open();
    proxy.ClearRequests();
    std::list<CFileInfo> entries;
    ASSERT_EQ(instance->GetListing(ManyPath(), entries), Success);
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(keyCount));
    EXPECT_EQ(Torvik::strings::WstrToUTF8(entries.front().name), "k0000.bak");
    EXPECT_EQ(Torvik::strings::WstrToUTF8(entries.back().name), "k1004.bak");

    EXPECT_EQ(ObjectListings(proxy).size(), 3u);  // the bucket's top level, then two pages
    const auto listings = ManyListings();
    ASSERT_EQ(listings.size(), 2u);
    EXPECT_EQ(QueryValue(listings[0].target, "continuation-token"), "<absent>");
    EXPECT_NE(QueryValue(listings[1].target, "continuation-token"), "<absent>");
    EXPECT_EQ(QueryValue(listings[1].target, "prefix"), "many/");
    EXPECT_EQ(QueryValue(listings[1].target, "max-keys"), "<absent>");
}

TEST_F(LargeFolder, AFolderWhoseSecondPageFailedIsListedAgain) {
    testhost::ScopedEnv mode("AWS_RETRY_MODE", "standard");
    testhost::ScopedEnv attempts("AWS_MAX_ATTEMPTS", "1");
    Instance instance = host.Open();
    proxy.AddRule(FaultRule{"GET", "continuation-token=", 1, 1, FaultAction::Status, 500});
    proxy.ClearRequests();

    std::list<CFileInfo> failed;
    EXPECT_EQ(instance->GetListing(ManyPath(), failed), Failure);
    EXPECT_TRUE(failed.empty());
    EXPECT_TRUE(host.log.Contains("Cannot get folder listing many/"));
    EXPECT_EQ(ManyListings().size(), 2u);

    proxy.ClearRequests();
    std::list<CFileInfo> entries;
    ASSERT_EQ(instance->GetListing(ManyPath(), entries), Success);
    EXPECT_EQ(entries.size(), static_cast<std::size_t>(keyCount));
    EXPECT_EQ(ObjectListings(proxy).size(), 2u);  // both pages again, the bucket not
    EXPECT_EQ(ManyListings().size(), 2u);
    proxy.ClearRequests();
    std::list<CFileInfo> again;
    ASSERT_EQ(instance->GetListing(ManyPath(), again), Success);
    EXPECT_TRUE(ObjectListings(proxy).empty());
}

class FailedBucketList : public Browsing {
  protected:
    testhost::ScopedEnv mode{"AWS_RETRY_MODE", "standard"};
    testhost::ScopedEnv attempts{"AWS_MAX_ATTEMPTS", "1"};
};

TEST_F(FailedBucketList, TheRootListingLoadsTheBucketsAgain) {
    proxy.AddRule(FaultRule{"GET", "^/$", 1, 1, FaultAction::Status, 503, "SlowDown",
                            "Please reduce your request rate."});
    Instance instance = host.Open();
    EXPECT_TRUE(host.log.Contains("Cannot get buckets listing."));
    EXPECT_TRUE(host.log.Contains("SlowDown"));
    proxy.ClearRequests();

    std::list<CFileInfo> root;
    ASSERT_EQ(instance->GetListing(L"", root), Success);
    const std::vector<std::string> names = Names(root);
    EXPECT_NE(std::find(names.begin(), names.end(), bucket), names.end());
    EXPECT_EQ(CountBucketLists(proxy), 1);

    // Loaded now: the next root listing is served from the cache.
    proxy.ClearRequests();
    std::list<CFileInfo> again;
    ASSERT_EQ(instance->GetListing(L"", again), Success);
    EXPECT_EQ(CountBucketLists(proxy), 0);
}

TEST_F(FailedBucketList, ARootListingThatStillCannotLoadFails) {
    proxy.AddRule(
        FaultRule{"GET", "^/$", 1, -1, FaultAction::Status, 403, "AccessDenied", "Access Denied"});
    Instance instance = host.Open();
    host.log.Clear();
    proxy.ClearRequests();

    std::list<CFileInfo> root;
    EXPECT_EQ(instance->GetListing(L"", root), Failure);
    EXPECT_TRUE(root.empty());
    EXPECT_EQ(CountBucketLists(proxy), 1);
    ASSERT_FALSE(host.log.Lines().empty());
    EXPECT_EQ(host.log.Lines().front().text, "Cannot get buckets listing.");
    EXPECT_TRUE(host.log.Contains("AccessDenied"));

    // A lookup of a bucket tries as well, and fails while the list cannot be loaded.
    proxy.ClearRequests();
    CFileAttributes attributes;
    EXPECT_EQ(instance->GetElementAttributes(Path(), attributes), Failure);
    EXPECT_EQ(CountBucketLists(proxy), 1);

    // Once the service answers, the bucket is found by the next lookup.
    proxy.ClearRules();
    proxy.ClearRequests();
    std::list<CFileInfo> entries;
    EXPECT_EQ(instance->GetListing(Path(), entries), Success);
    EXPECT_EQ(CountBucketLists(proxy), 1);
}

// A minimal S3 endpoint answering every request from a fixed script, for listings that a real
// server cannot be made to produce cheaply (objects of several GiB, times with milliseconds).
class ScriptedS3 {
  public:
    ScriptedS3(std::string bucketsXml, std::string objectsXml)
        : bucketsXml_(std::move(bucketsXml)), objectsXml_(std::move(objectsXml)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (listener_ < 0 ||
            bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 8) != 0) {
            throw std::runtime_error("scripted server: cannot listen");
        }
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedS3() {
        stop_ = true;
        thread_.join();
        close(listener_);
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    int Requests() const { return requests_; }

  private:
    void Serve() {
        while (!stop_) {
            pollfd ready{listener_, POLLIN, 0};
            if (poll(&ready, 1, 50) <= 0) continue;
            const int connection = accept(listener_, nullptr, nullptr);
            if (connection < 0) continue;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                request.append(buffer, static_cast<std::size_t>(got));
            }
            ++requests_;
            const std::string line = request.substr(0, request.find("\r\n"));
            const std::string& body =
                line.find("list-type=2") != std::string::npos ? objectsXml_ : bucketsXml_;
            const std::string response =
                "HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\nConnection: close\r\n"
                "Content-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body;
            send(connection, response.data(), response.size(), MSG_NOSIGNAL);
            close(connection);
        }
    }

    std::string bucketsXml_;
    std::string objectsXml_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

TEST(ScriptedListing, KeepsLargeSizesWholeAndDropsFractionsOfSeconds) {
    ScriptedS3 server(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<ListAllMyBucketsResult xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\">"
        "<Owner><ID>owner</ID></Owner><Buckets><Bucket><Name>big</Name>"
        "<CreationDate>2024-01-01T00:00:00.000Z</CreationDate></Bucket></Buckets>"
        "</ListAllMyBucketsResult>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<ListBucketResult xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\">"
        "<Name>big</Name><Prefix></Prefix><Delimiter>/</Delimiter><MaxKeys>1000</MaxKeys>"
        "<KeyCount>2</KeyCount><IsTruncated>false</IsTruncated>"
        "<Contents><Key>huge.bak</Key><LastModified>1970-01-01T00:00:01.999Z</LastModified>"
        "<ETag>\"e\"</ETag><Size>5368709121</Size><StorageClass>STANDARD</StorageClass>"
        "</Contents>"
        "<Contents><Key>leap.bak</Key><LastModified>2024-02-29T23:59:59.500Z</LastModified>"
        "<ETag>\"e\"</ETag><Size>4294967296</Size><StorageClass>STANDARD</StorageClass>"
        "</Contents></ListBucketResult>");
    MardelHost host(server.Url());
    Instance instance = host.Open();

    std::list<CFileInfo> entries;
    ASSERT_EQ(instance->GetListing(L"big", entries), Success);
    ASSERT_EQ(Names(entries), (std::vector<std::string>{"huge.bak", "leap.bak"}));
    EXPECT_EQ(entries.front().size, 5368709121u);
    EXPECT_EQ(entries.front().modificationTime, 1);
    EXPECT_EQ(entries.back().size, 4294967296u);
    EXPECT_EQ(entries.back().modificationTime, 1709251199);
    EXPECT_EQ(server.Requests(), 2);
}

}  // namespace
