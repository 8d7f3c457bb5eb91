// The test host itself: the local server, the raw S3 access, and every fault the proxy
// injects, seen with plain HTTP requests so that a fault in the harness cannot hide behind
// the S3 client under test.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <list>
#include <set>
#include <string>
#include <vector>

#include "testhost/Testhost.h"

namespace {

using testhost::FaultAction;
using testhost::FaultRule;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

const char* kAuthorization =
    "Authorization: AWS4-HMAC-SHA256 Credential=testing/20260101/us-east-1/s3/aws4_request, "
    "SignedHeaders=host, Signature=00";

// One curl handle, kept across requests so that connection reuse can be observed.
class Client {
  public:
    struct Result {
        CURLcode code = CURLE_OK;
        long status = 0;
        std::string body;
        long long received = 0;
        long newConnections = 0;
    };

    Client() : curl_(curl_easy_init()) {}
    ~Client() { curl_easy_cleanup(curl_); }

    // `produce` fills an upload piece by piece (nullptr: no upload); `consume` sees the
    // response body (nullptr: kept in Result::body).
    Result Send(const std::string& method, const std::string& url, const std::string& body = "",
                std::vector<std::string> headers = {}, long long uploadSize = -1,
                std::function<size_t(char*, size_t)> produce = nullptr,
                std::function<void(const char*, size_t)> consume = nullptr,
                long timeoutMs = 60000) {
        Result result;
        curl_easy_reset(curl_);
        curl_slist* list = nullptr;
        headers.push_back(kAuthorization);
        headers.push_back("Content-Type: application/octet-stream");
        headers.push_back("Expect:");
        for (const std::string& header : headers) list = curl_slist_append(list, header.c_str());
        Sink sink{&result, consume};
        curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl_, CURLOPT_PROXY, "");
        curl_easy_setopt(curl_, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT_MS, timeoutMs);
        curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &Client::Write);
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &sink);
        if (method == "HEAD") {
            curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
        } else if (produce) {
            curl_easy_setopt(curl_, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(curl_, CURLOPT_READFUNCTION, &Client::Read);
            curl_easy_setopt(curl_, CURLOPT_READDATA, &produce);
            if (uploadSize >= 0) {
                curl_easy_setopt(curl_, CURLOPT_INFILESIZE_LARGE,
                                 static_cast<curl_off_t>(uploadSize));
            }
        } else if (method != "GET") {
            curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, method.c_str());
            curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body.data());
            curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        }
        result.code = curl_easy_perform(curl_);
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &result.status);
        curl_easy_getinfo(curl_, CURLINFO_NUM_CONNECTS, &result.newConnections);
        curl_slist_free_all(list);
        return result;
    }

  private:
    struct Sink {
        Result* result;
        std::function<void(const char*, size_t)> consume;
    };
    static size_t Write(char* data, size_t size, size_t count, void* user) {
        auto* sink = static_cast<Sink*>(user);
        sink->result->received += static_cast<long long>(size * count);
        if (sink->consume) {
            sink->consume(data, size * count);
        } else {
            sink->result->body.append(data, size * count);
        }
        return size * count;
    }
    static size_t Read(char* buffer, size_t size, size_t count, void* user) {
        return (*static_cast<std::function<size_t(char*, size_t)>*>(user))(buffer, size * count);
    }

    CURL* curl_;
};

class Harness : public testing::Test {
  protected:
    void SetUp() override {
        bucket = admin.UniqueBucketName("harness");
        admin.CreateBucket(bucket);
    }

    std::string Object(const testhost::FaultProxy& proxy, const std::string& key) const {
        return proxy.Url() + testhost::S3Admin::ObjectTarget(bucket, key);
    }

    testhost::MotoServer& moto = testhost::MotoServer::Shared();
    testhost::S3Admin admin{moto.Url()};
    std::string bucket;
};

TEST_F(Harness, ServerAnswersOnLoopback) {
    EXPECT_EQ(moto.Url(), "http://127.0.0.1:" + std::to_string(moto.Port()));
    Client client;
    const auto result = client.Send("GET", moto.Url() + "/");
    EXPECT_EQ(result.status, 200);
    EXPECT_NE(result.body.find("ListAllMyBucketsResult"), std::string::npos);
    EXPECT_TRUE(admin.BucketExists(bucket));
}

TEST_F(Harness, AdminRoundTripsObjectsWithAwkwardKeys) {
    const std::string keys[] = {"plain", "with space/and+plus", "caf\xc3\xa9/\xe4\xb8\xad.txt",
                                "a&b<c>/percent%2F", "deep/er/still/"};
    for (const std::string& key : keys) admin.PutObject(bucket, key, "data of " + key);
    for (const std::string& key : keys) EXPECT_EQ(admin.GetObject(bucket, key), "data of " + key);
    EXPECT_EQ(admin.GetObject(bucket, "absent"), std::nullopt);

    auto listed = admin.ListKeys(bucket);
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected(std::begin(keys), std::end(keys));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(admin.ListKeys(bucket, "deep/er/"), std::vector<std::string>{"deep/er/still/"});

    admin.DeleteObject(bucket, "plain");
    EXPECT_EQ(admin.GetObject(bucket, "plain"), std::nullopt);
    EXPECT_FALSE(admin.BucketExists(admin.UniqueBucketName("never-created")));
    EXPECT_THROW(admin.ListKeys(admin.UniqueBucketName("never-created")), std::runtime_error);
}

TEST_F(Harness, AdminListsEveryPageAndOpenUploads) {
    // More keys than one listing page holds.
    for (int i = 0; i < 1005; ++i) admin.PutObject(bucket, "k/" + std::to_string(i), "");
    EXPECT_EQ(admin.ListKeys(bucket, "k/").size(), 1005u);

    EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());
    const auto started = admin.Request("POST", testhost::S3Admin::ObjectTarget(bucket,
                                                                               "big file"
                                                                               ".bin") +
                                                   "?uploads");
    ASSERT_EQ(started.status, 200) << started.body;
    EXPECT_EQ(admin.ListMultipartUploads(bucket), std::vector<std::string>{"big file.bin"});
}

TEST_F(Harness, BucketNamesAreValidAndUnique) {
    std::set<std::string> seen;
    const std::vector<std::string> stems = {"Mixed_Case Stem!", "", std::string(80, 'x'), "-dash-"};
    for (const std::string& stem : stems) {
        const std::string name = admin.UniqueBucketName(stem);
        EXPECT_TRUE(seen.insert(name).second) << name;
        EXPECT_GE(name.size(), 3u);
        EXPECT_LE(name.size(), 63u);
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(name.front())));
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(name.back())));
        for (char c : name) EXPECT_TRUE(std::islower(c) || std::isdigit(c) || c == '-') << name;
        admin.CreateBucket(name);  // the server accepts it
    }
}

TEST(HarnessTls, ServerCertificateVerifiesAgainstTheTestCa) {
    testhost::MotoServer& tls = testhost::MotoServer::SharedTls();
    EXPECT_EQ(tls.Url().rfind("https://127.0.0.1:", 0), 0u);
    ASSERT_FALSE(tls.CaFile().empty());
    testhost::S3Admin admin(tls.Url(), tls.CaFile());
    const std::string bucket = admin.UniqueBucketName("tls");
    admin.CreateBucket(bucket);
    admin.PutObject(bucket, "k", "secret");
    EXPECT_EQ(admin.GetObject(bucket, "k"), "secret");
    // Without the CA the certificate is not trusted.
    testhost::S3Admin untrusting(tls.Url(), "/dev/null");
    EXPECT_THROW(untrusting.GetObject(bucket, "k"), std::runtime_error);
}

TEST_F(Harness, ProxyForwardsAndRecordsRequestsAsSent) {
    testhost::FaultProxy proxy(moto.Url());
    Client client;
    const auto put = client.Send("PUT", Object(proxy, "dir/a b"), "0123456789",
                                 {"X-Mixed-Case: Some Value", "x-amz-meta-note: kept"});
    ASSERT_EQ(put.status, 200);
    const auto get = client.Send("GET", Object(proxy, "dir/a b") + "?x-id=GetObject");
    EXPECT_EQ(get.status, 200);
    EXPECT_EQ(get.body, "0123456789");
    // The client's connection survives both exchanges.
    EXPECT_EQ(get.newConnections, 0);

    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "PUT");
    EXPECT_EQ(requests[0].target, "/" + bucket + "/dir/a%20b");
    EXPECT_EQ(requests[0].bodyBytes, 10);
    EXPECT_EQ(requests[0].body, "0123456789");
    EXPECT_EQ(requests[0].status, 200);
    EXPECT_EQ(requests[0].fault, "");
    EXPECT_EQ(requests[0].headers.at("x-mixed-case"), "Some Value");
    EXPECT_EQ(requests[0].headers.at("x-amz-meta-note"), "kept");
    EXPECT_EQ(requests[0].headers.at("content-length"), "10");
    EXPECT_EQ(requests[0].headers.count("X-Mixed-Case"), 0u);
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].target, "/" + bucket + "/dir/a%20b?x-id=GetObject");
    EXPECT_EQ(requests[1].bodyBytes, 0);

    proxy.ClearRequests();
    EXPECT_TRUE(proxy.Requests().empty());
}

TEST_F(Harness, ProxyPassesChunkedBodiesThrough) {
    testhost::FaultProxy proxy(moto.Url());
    Client client;
    int piece = 0;
    const auto put =
        client.Send("PUT", Object(proxy, "chunked"), "", {"Transfer-Encoding: chunked"}, -1,
                    [&piece](char* buffer, size_t room) -> size_t {
                        if (piece == 3) return 0;
                        const std::string text = "piece" + std::to_string(piece++);
                        std::copy(text.begin(), text.end(), buffer);
                        return std::min(room, text.size());
                    });
    ASSERT_EQ(put.status, 200);
    EXPECT_EQ(admin.GetObject(bucket, "chunked"), "piece0piece1piece2");
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].headers.at("transfer-encoding"), "chunked");
    EXPECT_EQ(requests[0].bodyBytes, 18);
    EXPECT_EQ(requests[0].body, "piece0piece1piece2");
}

TEST_F(Harness, StatusFaultFailsOnlyTheSelectedRequests) {
    admin.PutObject(bucket, "k", "v");
    testhost::FaultProxy proxy(moto.Url());
    FaultRule rule;
    rule.method = "GET";
    rule.pathRegex = "/k$";
    rule.nth = 2;
    rule.count = 2;
    rule.status = 503;
    rule.errorCode = "SlowDown";
    rule.errorMessage = "Please reduce your request rate.";
    proxy.AddRule(rule);
    Client client;
    std::vector<long> statuses;
    for (int i = 0; i < 4; ++i) statuses.push_back(client.Send("GET", Object(proxy, "k")).status);
    EXPECT_EQ(statuses, (std::vector<long>{200, 503, 503, 200}));
    // Other methods and targets are not counted.
    EXPECT_EQ(client.Send("HEAD", Object(proxy, "k")).status, 200);
    EXPECT_EQ(client.Send("GET", Object(proxy, "k2")).status, 404);

    proxy.ClearRequests();
    proxy.ClearRules();
    rule.nth = 1;
    rule.count = -1;
    proxy.AddRule(rule);
    const auto failed = client.Send("GET", Object(proxy, "k"));
    EXPECT_EQ(failed.status, 503);
    EXPECT_NE(failed.body.find("<Error><Code>SlowDown</Code><Message>Please reduce your request "
                               "rate.</Message>"),
              std::string::npos)
        << failed.body;
    EXPECT_EQ(client.Send("GET", Object(proxy, "k")).status, 503);
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].fault, "status");
    EXPECT_EQ(requests[0].status, 503);
}

TEST_F(Harness, AnswerWithoutForwardingConsumesTheBody) {
    testhost::FaultProxy proxy(moto.Url());
    FaultRule rule;
    rule.method = "PUT";
    rule.status = 500;
    proxy.AddRule(rule);
    Client client;
    const std::string body(200000, 'b');
    EXPECT_EQ(client.Send("PUT", Object(proxy, "refused"), body).status, 500);
    // Nothing reached the server, and the same connection carries the next request.
    const auto next = client.Send("PUT", Object(proxy, "accepted"), "ok");
    EXPECT_EQ(next.status, 200);
    EXPECT_EQ(next.newConnections, 0);
    EXPECT_EQ(admin.GetObject(bucket, "refused"), std::nullopt);
    EXPECT_EQ(admin.GetObject(bucket, "accepted"), "ok");
    EXPECT_EQ(proxy.Requests().at(0).bodyBytes, 200000);
}

TEST_F(Harness, ResetFaultResetsTheConnection) {
    admin.PutObject(bucket, "k", "v");
    testhost::FaultProxy proxy(moto.Url());
    FaultRule rule;
    rule.action = FaultAction::Reset;
    proxy.AddRule(rule);
    Client client;
    const auto reset = client.Send("GET", Object(proxy, "k"));
    EXPECT_EQ(reset.code, CURLE_RECV_ERROR) << curl_easy_strerror(reset.code);
    EXPECT_EQ(reset.status, 0);
    const auto after = client.Send("GET", Object(proxy, "k"));
    EXPECT_EQ(after.status, 200);
    EXPECT_EQ(after.newConnections, 1);
    EXPECT_EQ(proxy.Requests().at(0).fault, "reset");
}

TEST_F(Harness, TruncateFaultCutsTheBodyShort) {
    admin.PutObject(bucket, "k", std::string(10000, 'z'));
    testhost::FaultProxy proxy(moto.Url());
    FaultRule rule;
    rule.action = FaultAction::Truncate;
    rule.truncateAfter = 100;
    proxy.AddRule(rule);
    Client client;
    const auto cut = client.Send("GET", Object(proxy, "k"));
    EXPECT_EQ(cut.code, CURLE_PARTIAL_FILE) << curl_easy_strerror(cut.code);
    EXPECT_EQ(cut.status, 200);
    EXPECT_EQ(cut.body, std::string(100, 'z'));
    EXPECT_EQ(client.Send("GET", Object(proxy, "k")).body.size(), 10000u);
}

TEST_F(Harness, DelayFaultHoldsTheAnswerBack) {
    admin.PutObject(bucket, "k", "v");
    testhost::FaultProxy proxy(moto.Url());
    FaultRule rule;
    rule.action = FaultAction::Delay;
    rule.delayMs = 1500;
    rule.count = 2;
    proxy.AddRule(rule);
    Client client;
    const auto start = std::chrono::steady_clock::now();
    const auto slow = client.Send("GET", Object(proxy, "k"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(slow.status, 200);
    EXPECT_EQ(slow.body, "v");
    // A client that does not wait that long gives up.
    const auto impatient =
        client.Send("GET", Object(proxy, "k"), "", {}, -1, nullptr, nullptr, 300);
    EXPECT_EQ(impatient.code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(proxy.Requests().at(0).fault, "delay");
}

TEST_F(Harness, Error200AndMalformedXmlAnswerWithoutForwarding) {
    testhost::FaultProxy proxy(moto.Url());
    FaultRule error;
    error.action = FaultAction::Error200;
    error.errorCode = "InternalError";
    error.errorMessage = "inside a 200";
    error.pathRegex = "uploadId=";
    proxy.AddRule(error);
    FaultRule malformed;
    malformed.action = FaultAction::MalformedXml;
    malformed.method = "GET";
    malformed.pathRegex = "list-type=2";
    proxy.AddRule(malformed);
    Client client;

    const auto completed = client.Send("POST", Object(proxy, "k") + "?uploadId=abc", "<x/>");
    EXPECT_EQ(completed.status, 200);
    EXPECT_NE(completed.body.find("<Error><Code>InternalError</Code><Message>inside a 200"
                                  "</Message>"),
              std::string::npos)
        << completed.body;

    const auto listed = client.Send("GET", proxy.Url() + "/" + bucket + "?list-type=2");
    EXPECT_EQ(listed.status, 200);
    EXPECT_EQ(listed.body.rfind("<?xml", 0), 0u);
    EXPECT_EQ(listed.body.find("</ListAllMyBucketsResult>"), std::string::npos);
    EXPECT_EQ(listed.body.find("</ListBucketResult>"), std::string::npos);
    // A listing the rule does not select still reaches the server.
    EXPECT_NE(client.Send("GET", proxy.Url() + "/" + bucket).body.find("</ListBucketResult>"),
              std::string::npos);

    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].fault, "error200");
    EXPECT_EQ(requests[1].fault, "malformed");
    EXPECT_EQ(requests[2].fault, "");
}

long long ProxyPeakRss(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
    }
    return -1;
}

TEST_F(Harness, LargeBodiesStreamThroughInBothDirections) {
    constexpr long long kSize = 300LL * 1024 * 1024;
    testhost::FaultProxy proxy(moto.Url());
    Client client;
    // A pattern that changes with the offset, so that a lost or repeated piece shows.
    auto patternAt = [](long long offset) {
        return static_cast<char>((offset * 7 + offset / 4093) & 0xFF);
    };
    long long sent = 0;
    const auto upload = client.Send("PUT", Object(proxy, "large"), "", {}, kSize,
                                    [&](char* buffer, size_t room) -> size_t {
                                        size_t n = 0;
                                        while (n < room && sent < kSize)
                                            buffer[n++] = patternAt(sent++);
                                        return n;
                                    });
    ASSERT_EQ(upload.status, 200);
    long long received = 0;
    long long mismatches = 0;
    const auto download = client.Send(
        "GET", Object(proxy, "large"), "", {}, -1, nullptr, [&](const char* data, size_t size) {
            for (size_t i = 0; i < size; ++i) {
                if (data[i] != patternAt(received + static_cast<long long>(i))) {
                    ++mismatches;
                }
            }
            received += static_cast<long long>(size);
        });
    EXPECT_EQ(download.status, 200);
    EXPECT_EQ(received, kSize);
    EXPECT_EQ(mismatches, 0);
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].bodyBytes, kSize);
    EXPECT_EQ(requests[1].bodyBytes, 0);
    const long long peak = ProxyPeakRss(proxy.Pid());
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, 64LL * 1024 * 1024) << "the proxy held the body";
    admin.DeleteObject(bucket, "large");
}

TEST_F(Harness, ProxyTakesAGivenPort) {
    testhost::FaultProxy proxy(moto.Url(), testhost::FixedEndpointPort());
    EXPECT_EQ(proxy.Port(), testhost::FixedEndpointPort());
    EXPECT_EQ(proxy.Url(), "http://127.0.0.1:" + std::to_string(testhost::FixedEndpointPort()));
    Client client;
    EXPECT_EQ(client.Send("GET", proxy.Url() + "/" + bucket).status, 200);
}

TEST_F(Harness, LoopbackBuildOfTheFixedEndpointPluginTalksToTheGivenPort) {
    testhost::FaultProxy proxy(moto.Url(), testhost::FixedEndpointPort());
    testhost::PluginLibrary lib("PennatLoopback");
    testhost::RecordingLog log;
    testhost::MapLink link;
    link.Set(L"AccessKeyID", L"testing");
    link.Set(L"SecretAccessKey", L"testing");
    IBackupDataWrite* instance = lib.GetBackupDataWrite(&log, &link);
    ASSERT_NE(instance, nullptr);
    std::list<CFileInfo> entries;
    EXPECT_EQ(instance->GetListing(L"", entries), Success);
    instance->Destroy();
    bool listed = false;
    for (const CFileInfo& entry : entries) listed = listed || entry.name == Wide(bucket);
    EXPECT_TRUE(listed) << "bucket " << bucket << " not among " << entries.size();
    const auto requests = proxy.Requests();
    ASSERT_FALSE(requests.empty());
    for (const auto& request : requests) {
        EXPECT_EQ(request.headers.at("host"),
                  "127.0.0.1:" + std::to_string(testhost::FixedEndpointPort()));
    }
}

TEST(HarnessHostObjects, RecordingLogExpandsTheHostConversions) {
    testhost::RecordingLog log;
    log.Write(2, L"plain \u00e9");
    log.WriteFormatted(2, L"Folder %s has %d entries (100%%)", L"b/\u4e2d", 42);
    log.WriteFormatted(3, L"%d%s%q", -7, L"x");
    ASSERT_EQ(log.Lines().size(), 3u);
    EXPECT_EQ(log.Lines()[0].severity, 2);
    EXPECT_EQ(log.Lines()[0].text, "plain \xc3\xa9");
    EXPECT_EQ(log.Lines()[1].text, "Folder b/\xe4\xb8\xad has 42 entries (100%)");
    EXPECT_EQ(log.Lines()[2].severity, 3);
    EXPECT_EQ(log.Lines()[2].text, "-7x%q");
    EXPECT_TRUE(log.Contains("has 42"));
    EXPECT_FALSE(log.Contains("has 43"));
    EXPECT_EQ(log.Texts().size(), 3u);
    log.Clear();
    EXPECT_TRUE(log.Lines().empty());
}

TEST(HarnessHostObjects, MapLinkAnswersKnownKeysAndRecordsAsking) {
    testhost::MapLink link;
    link.Set(L"ServerName", L"http://127.0.0.1:1");
    link.Set(L"Empty", L"");
    std::wstring value = L"stale";
    EXPECT_TRUE(link.GetValue(L"ServerName", value));
    EXPECT_EQ(value, L"http://127.0.0.1:1");
    EXPECT_TRUE(link.GetValue(L"Empty", value));
    EXPECT_EQ(value, L"");
    value = L"stale";
    EXPECT_FALSE(link.GetValue(L"Region", value));
    EXPECT_EQ(value, L"");
    EXPECT_FALSE(link.GetValue(L"ServerName\u00e9", value));
    EXPECT_EQ(link.Asked(),
              (std::vector<std::wstring>{L"ServerName", L"Empty", L"Region", L"ServerName\u00e9"}));
    link.ClearAsked();
    EXPECT_TRUE(link.Asked().empty());
}

TEST(HarnessHostObjects, ScopedEnvRestoresWhatWasThere) {
    setenv("TESTHOST_PROBE", "before", 1);
    {
        testhost::ScopedEnv changed("TESTHOST_PROBE", "during");
        EXPECT_STREQ(std::getenv("TESTHOST_PROBE"), "during");
        {
            testhost::ScopedEnv removed("TESTHOST_PROBE", std::nullopt);
            EXPECT_EQ(std::getenv("TESTHOST_PROBE"), nullptr);
        }
        EXPECT_STREQ(std::getenv("TESTHOST_PROBE"), "during");
    }
    EXPECT_STREQ(std::getenv("TESTHOST_PROBE"), "before");
    unsetenv("TESTHOST_PROBE");
    { testhost::ScopedEnv added("TESTHOST_PROBE", "new"); }
    EXPECT_EQ(std::getenv("TESTHOST_PROBE"), nullptr);
}

TEST(HarnessHostObjects, TestMainKeepsPluginsOnLoopback) {
    EXPECT_STREQ(std::getenv("AWS_EC2_METADATA_DISABLED"), "true");
    EXPECT_STREQ(std::getenv("AWS_ENDPOINT_URL"), "http://127.0.0.1:9");
}

}  // namespace
