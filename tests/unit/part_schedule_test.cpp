// The sizes in which an upload is sent: one transfer unit per part for files up to about
// 97.7 GiB, growing after each thousand parts so that 10,000 parts reach the 5 TiB an object
// may have; and the last part an object can take, sent near the limit with a small unit so
// that the test moves megabytes, not a terabyte.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/S3Clients.h"
#include "testhost/Testhost.h"
#include "transfer/S3UploadFileInfo.h"

namespace {

constexpr std::uint64_t kUnit = 104857600;
constexpr std::uint64_t kMiB = 1024 * 1024;

TEST(PartSchedule, OneUnitForTheFirstThousandPartsThenOneMorePerThousand) {
    const struct {
        int part;
        std::uint64_t threshold;
    } cells[] = {{1, kUnit},        {1000, kUnit},     {1001, 2 * kUnit},  {2000, 2 * kUnit},
                 {2001, 3 * kUnit}, {9000, 9 * kUnit}, {9001, 10 * kUnit}, {10000, 10 * kUnit}};
    for (const auto& cell : cells) {
        EXPECT_EQ(S3UploadFileInfo::PartThresholdFor(cell.part), cell.threshold) << cell.part;
    }
    // Every part holds more than its threshold: the least each thousand parts can carry.
    std::uint64_t atLeast = 0;
    std::uint64_t largest = 0;
    for (int part = 1; part <= S3UploadFileInfo::maxParts; ++part) {
        atLeast += S3UploadFileInfo::PartThresholdFor(part) + 1;
        largest = std::max(largest, S3UploadFileInfo::PartThresholdFor(part));
        if (part == 1000) {
            // Files of up to about 97.7 GiB go out exactly as in one-unit parts.
            EXPECT_GT(atLeast, std::uint64_t{97} << 30);
        }
    }
    EXPECT_GE(atLeast, std::uint64_t{5} << 40);         // the largest object the service stores
    EXPECT_LE(largest + kMiB, std::uint64_t{5} << 30);  // the largest part it takes
}

// An upload whose numbering starts just below the last part an object can have.
class NearTheLastPart : public S3UploadFileInfo {
  public:
    NearTheLastPart(std::shared_ptr<Aws::S3::S3Client> client, const std::string& bucket,
                    const std::string& key, ILog* log)
        : S3UploadFileInfo(TransferReporter(log), FileAccessMode::Write, std::move(client), bucket,
                           key) {
        partNumber = maxParts - 1;
        transferUnit = 5 * kMiB;  // the smallest part the service takes
    }
};

class PartLimit : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("AWS_EC2_METADATA_DISABLED", "true", 1);
        setenv("AWS_ENDPOINT_URL", "http://127.0.0.1:9", 1);
    }
    PartLimit()
        : admin(testhost::MotoServer::Shared().Url()),
          proxy(testhost::MotoServer::Shared().Url()),
          bucket(admin.UniqueBucketName("partlimit")) {
        admin.CreateBucket(bucket);
        Aws::Client::ClientConfiguration config;
        config.endpointOverride = proxy.Url();
        config.region = "us-east-1";
        client = MakeS3Client(Aws::Auth::AWSCredentials("AKIDLIMIT", "limit-secret"), config);
    }

    // Writes `bytes` bytes of 'p' in one block.
    static ResultCode WriteBlock(S3UploadFileInfo& upload, std::uint64_t bytes) {
        const std::string block(bytes, 'p');
        const unsigned char* data = reinterpret_cast<const unsigned char*>(block.data());
        return upload.WriteData(data, bytes);
    }

    int AbortsSent() const {
        int aborts = 0;
        for (const auto& r : proxy.Requests()) {
            if (r.method == "DELETE" && r.target.find("uploadId=") != std::string::npos) ++aborts;
        }
        return aborts;
    }

    // Once finished, the upload answers a later close as it answered the first, fails a later
    // write without a word, and sends nothing more.
    void ExpectFinished(S3UploadFileInfo& upload, ResultCode first) {
        proxy.ClearRequests();
        log.Clear();
        EXPECT_EQ(upload.Finish(), first);
        EXPECT_EQ(WriteBlock(upload, 1), Failure);
        EXPECT_TRUE(proxy.Requests().empty());
        EXPECT_TRUE(log.Texts().empty()) << testing::PrintToString(log.Texts());
    }

    int PartsSent() const {
        int parts = 0;
        for (const auto& r : proxy.Requests()) {
            if (r.method == "PUT" && r.target.find("partNumber=") != std::string::npos) ++parts;
        }
        return parts;
    }

    testhost::S3Admin admin;
    testhost::FaultProxy proxy;
    std::string bucket;
    std::shared_ptr<Aws::S3::S3Client> client;
    testhost::RecordingLog log;
};

TEST_F(PartLimit, TheLastPartGoesOutAndTheUploadCompletes) {
    NearTheLastPart upload(client, bucket, "last.bak", &log);
    const std::uint64_t part = 50 * kMiB + 1;  // ten units, and one byte more
    ASSERT_EQ(WriteBlock(upload, part), Success);
    EXPECT_EQ(PartsSent(), 1);
    EXPECT_EQ(upload.Finish(), Success);
    EXPECT_EQ(admin.GetObject(bucket, "last.bak").value_or("").size(), part);
    ExpectFinished(upload, Success);
}

TEST_F(PartLimit, DataBeyondTheLastPartFailsItsWriteBeforeAnythingIsSent) {
    NearTheLastPart upload(client, bucket, "over.bak", &log);
    ASSERT_EQ(WriteBlock(upload, 50 * kMiB + 1), Success);
    proxy.ClearRequests();
    EXPECT_EQ(WriteBlock(upload, 1), Failure);
    EXPECT_EQ(PartsSent(), 0);
    EXPECT_TRUE(log.Contains("at most 10000 parts")) << testing::PrintToString(log.Texts());
    EXPECT_EQ(upload.Finish(), Failure);
    EXPECT_EQ(AbortsSent(), 1);
    EXPECT_FALSE(admin.GetObject(bucket, "over.bak").has_value());
    EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());
    ExpectFinished(upload, Failure);
}

}  // namespace
