// The fixed shape in which a failed request's error reaches the host log.
#include <gtest/gtest.h>

#include <aws/core/http/HttpResponse.h>
#include <aws/s3/S3Errors.h>

#include <string>
#include <vector>

#include "base/LogS3Error.h"
#include "testhost/RecordingLog.h"

namespace {

Aws::S3::S3Error MakeError(Aws::S3::S3Errors type, const std::string& exceptionName,
                           const std::string& message, Aws::Http::HttpResponseCode code) {
    Aws::S3::S3Error error(Aws::Client::AWSError<Aws::S3::S3Errors>(type, exceptionName.c_str(),
                                                                    message.c_str(),
                                                                    /*isRetryable=*/false));
    error.SetRemoteHostIpAddress("127.0.0.1");
    error.SetRequestId("4442587FB7D0A2F9");
    error.SetResponseCode(code);
    return error;
}

TEST(LogS3Error, WithoutHeadersSixLinesInOrderAtSeverityTwo) {
    testhost::RecordingLog log;
    LogS3Error(&log, MakeError(Aws::S3::S3Errors::ACCESS_DENIED, "AccessDenied", "Access Denied",
                               Aws::Http::HttpResponseCode::FORBIDDEN));

    const std::vector<std::string> expected = {
        "ErrorType: 15",
        "ExceptionName: AccessDenied",
        "Message: Access Denied",
        "RemoteHostIpAddress: 127.0.0.1",
        "RequestId: 4442587FB7D0A2F9",
        "ResponseCode: 403",
    };
    EXPECT_EQ(log.Texts(), expected);
    for (const auto& line : log.Lines()) EXPECT_EQ(line.severity, 2) << line.text;
}

TEST(LogS3Error, HeadersFollowInAscendingByteOrderOfName) {
    testhost::RecordingLog log;
    Aws::S3::S3Error error =
        MakeError(Aws::S3::S3Errors::NO_SUCH_KEY, "NoSuchKey", "The specified key does not exist.",
                  Aws::Http::HttpResponseCode::NOT_FOUND);
    Aws::Http::HeaderValueCollection headers;
    headers["x-amz-request-id"] = "4442587FB7D0A2F9";
    headers["date"] = "Mon, 01 Jan 2024 00:00:00 GMT";
    headers["content-type"] = "application/xml";
    headers["Zz-upper"] = "first, as 'Z' sorts before every lower-case letter";
    error.SetResponseHeaders(headers);

    LogS3Error(&log, error);

    const std::vector<std::string> texts = log.Texts();
    ASSERT_EQ(texts.size(), 10u);
    EXPECT_EQ(texts[0],
              "ErrorType: " + std::to_string(static_cast<int>(Aws::S3::S3Errors::NO_SUCH_KEY)));
    EXPECT_EQ(texts[5], "ResponseCode: 404");
    EXPECT_EQ(texts[6], "Zz-upper: first, as 'Z' sorts before every lower-case letter");
    EXPECT_EQ(texts[7], "content-type: application/xml");
    EXPECT_EQ(texts[8], "date: Mon, 01 Jan 2024 00:00:00 GMT");
    EXPECT_EQ(texts[9], "x-amz-request-id: 4442587FB7D0A2F9");
    for (const auto& line : log.Lines()) EXPECT_EQ(line.severity, 2) << line.text;
}

TEST(LogS3Error, EmptyFieldsAreWrittenNotSkipped) {
    testhost::RecordingLog log;
    // What a request that never reached a server carries: no name, address or id.
    LogS3Error(&log, Aws::S3::S3Error());

    const std::vector<std::string> expected = {
        "ErrorType: 0",          "ExceptionName: ", "Message: ",
        "RemoteHostIpAddress: ", "RequestId: ",     "ResponseCode: -1",
    };
    EXPECT_EQ(log.Texts(), expected);
}

TEST(LogS3Error, NonAsciiTextArrivesAsTheSameCharacters) {
    testhost::RecordingLog log;
    // "Zugriff verweigert für Größe" and a key name with a CJK and an astral character.
    const std::string message =
        "Zugriff verweigert f\xc3\xbcr Gr\xc3\xb6\xc3\x9f"
        "e";
    Aws::S3::S3Error error = MakeError(Aws::S3::S3Errors::ACCESS_DENIED, "AccessDenied", message,
                                       Aws::Http::HttpResponseCode::FORBIDDEN);
    Aws::Http::HeaderValueCollection headers;
    headers["x-amz-meta-name"] = "\xe6\x97\xa5\xf0\x9f\x98\x80";
    error.SetResponseHeaders(headers);

    LogS3Error(&log, error);

    const std::vector<std::string> texts = log.Texts();
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[2], "Message: " + message);
    EXPECT_EQ(texts[6], "x-amz-meta-name: \xe6\x97\xa5\xf0\x9f\x98\x80");
}

}  // namespace
