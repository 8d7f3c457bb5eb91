// Error objects built from what a service answers: XML bodies, empty bodies, unknown codes,
// 200 answers carrying an <Error>, and the numbering that callers compare against.
#include <aws/core/utils/memory/stl/AWSStringStream.h>
#include <aws/s3/S3Errors.h>
#include <gtest/gtest.h>

#include "s3/ErrorMarshaller.h"
#include "s3/ResponseClassification.h"

using Aws::Client::CoreErrors;
using Aws::Http::HttpResponseCode;
using Aws::Internal::BuildHttpError;
using Aws::Internal::HttpResponse;
using Aws::S3::S3Error;
using Aws::S3::S3Errors;

namespace {
S3Error ErrorFor(long status, const std::string& body) {
    HttpResponse response;
    response.statusCode = status;
    response.headers = {{"x-amz-request-id", "HEADERID"}, {"content-type", "application/xml"}};
    response.remoteIp = "127.0.0.1";
    Aws::StringStream stream(body);
    return S3Error(BuildHttpError(response, stream));
}

std::string ErrorXml(const std::string& code, const std::string& message) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>" + code + "</Code><Message>" +
           message + "</Message><Resource>/b/k</Resource><RequestId>REQ123</RequestId></Error>";
}
}  // namespace

TEST(ErrorNumbering, NewestLayout) {
    EXPECT_EQ(static_cast<int>(S3Errors::MISSING_PARAMETER), 9);
    EXPECT_EQ(static_cast<int>(S3Errors::ACCESS_DENIED), 15);
    EXPECT_EQ(static_cast<int>(S3Errors::RESOURCE_NOT_FOUND), 16);
    EXPECT_EQ(static_cast<int>(S3Errors::NETWORK_CONNECTION), 99);
    EXPECT_EQ(static_cast<int>(S3Errors::UNKNOWN), 100);
    EXPECT_EQ(static_cast<int>(S3Errors::BUCKET_ALREADY_EXISTS), 129);
    EXPECT_EQ(static_cast<int>(S3Errors::IDEMPOTENCY_PARAMETER_MISMATCH), 132);
    EXPECT_EQ(static_cast<int>(S3Errors::NO_SUCH_BUCKET), 136);
    EXPECT_EQ(static_cast<int>(S3Errors::NO_SUCH_KEY), 137);
    EXPECT_EQ(static_cast<int>(S3Errors::NO_SUCH_UPLOAD), 138);
    EXPECT_EQ(static_cast<int>(S3Errors::TOO_MANY_PARTS), 141);
}

TEST(ErrorParsing, KnownS3AndCoreCodes) {
    S3Error noKey = ErrorFor(404, ErrorXml("NoSuchKey", "The specified key does not exist."));
    EXPECT_EQ(noKey.GetErrorType(), S3Errors::NO_SUCH_KEY);
    EXPECT_EQ(noKey.GetExceptionName(), "NoSuchKey");
    EXPECT_EQ(noKey.GetMessage(), "The specified key does not exist.");
    EXPECT_EQ(noKey.GetRequestId(), "REQ123");
    EXPECT_EQ(noKey.GetResponseCode(), HttpResponseCode::NOT_FOUND);
    EXPECT_EQ(noKey.GetRemoteHostIpAddress(), "127.0.0.1");
    EXPECT_TRUE(noKey.ResponseHeaderExists("X-Amz-Request-Id"));
    EXPECT_FALSE(noKey.ShouldRetry());

    S3Error denied = ErrorFor(403, ErrorXml("AccessDenied", "Access Denied"));
    EXPECT_EQ(denied.GetErrorType(), S3Errors::ACCESS_DENIED);
    EXPECT_EQ(denied.GetExceptionName(), "AccessDenied");

    S3Error slow = ErrorFor(503, ErrorXml(" SlowDown ", " Reduce your request rate. "));
    EXPECT_EQ(slow.GetErrorType(), S3Errors::SLOW_DOWN);
    EXPECT_EQ(slow.GetMessage(), "Reduce your request rate.");
    EXPECT_TRUE(slow.ShouldRetry());

    S3Error internal = ErrorFor(500, ErrorXml("InternalError", "x"));
    EXPECT_EQ(internal.GetErrorType(), S3Errors::INTERNAL_FAILURE);
    EXPECT_TRUE(internal.ShouldRetry());

    S3Error suffixed = ErrorFor(400, ErrorXml("aws.protocol#ThrottlingException", "t"));
    EXPECT_EQ(suffixed.GetErrorType(), S3Errors::THROTTLING);
    EXPECT_EQ(suffixed.GetExceptionName(), "ThrottlingException");
}

TEST(ErrorParsing, UnknownCodeIsUnknownAndNotRetriedEvenOn5xx) {
    S3Error error = ErrorFor(503, ErrorXml("SomethingNew", "Odd &amp; new"));
    EXPECT_EQ(error.GetErrorType(), S3Errors::UNKNOWN);
    EXPECT_EQ(error.GetExceptionName(), "SomethingNew");
    EXPECT_EQ(error.GetMessage(), "Unable to parse ExceptionName: SomethingNew Message: Odd & new");
    EXPECT_FALSE(error.ShouldRetry());
}

TEST(ErrorParsing, EmptyOrUnusableBodiesFallBackToTheStatus) {
    S3Error notFound = ErrorFor(404, "");
    EXPECT_EQ(notFound.GetErrorType(), S3Errors::RESOURCE_NOT_FOUND);
    EXPECT_EQ(notFound.GetExceptionName(), "");
    EXPECT_EQ(notFound.GetMessage(), "No response body.");
    EXPECT_EQ(notFound.GetRequestId(), "");  // not taken from the header
    EXPECT_EQ(notFound.GetResponseHeaders().at("x-amz-request-id"), "HEADERID");
    EXPECT_EQ(ErrorFor(403, "").GetErrorType(), S3Errors::ACCESS_DENIED);
    EXPECT_EQ(ErrorFor(400, "").GetErrorType(), S3Errors::UNKNOWN);
    EXPECT_TRUE(ErrorFor(503, "").ShouldRetry());
    EXPECT_FALSE(ErrorFor(400, "").ShouldRetry());

    S3Error garbage = ErrorFor(503, "<html>busy");
    EXPECT_EQ(garbage.GetErrorType(), S3Errors::SERVICE_UNAVAILABLE);
    EXPECT_EQ(garbage.GetExceptionName(), "");
    EXPECT_TRUE(garbage.ShouldRetry());
    EXPECT_EQ(ErrorFor(500, "<Error><Message>m</Message></Error>").GetErrorType(),
              S3Errors::INTERNAL_FAILURE);
    EXPECT_EQ(ErrorFor(429, "<x/>").GetErrorType(), S3Errors::SLOW_DOWN);
}

// A 2xx answer is a success only when it is what the operation returns.
TEST(ErrorParsing, SuccessfulAnswersMustBeTheOperationsResult) {
    using Aws::S3::Internal::AnswerKind;
    struct Cell {
        AnswerKind answer;
        const char* root;
        std::string body;
        bool fails;
        CoreErrors type;
        const char* exceptionName;
    };
    const std::string complete =
        "<CompleteMultipartUploadResult><ETag>x</ETag></CompleteMultipartUploadResult>";
    const std::string signIn =
        "<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><body>Please sign "
        "in</body></html>";
    const Cell cells[] = {
        {AnswerKind::Document, "CompleteMultipartUploadResult", complete, false, {}, ""},
        {AnswerKind::Document, "CompleteMultipartUploadResult", "", true, CoreErrors::UNKNOWN,
         "Xml Parse Error"},
        {AnswerKind::Document, "CompleteMultipartUploadResult", signIn, true, CoreErrors::UNKNOWN,
         "Xml Parse Error"},
        {AnswerKind::Document, "ListBucketResult", "not xml at all", true, CoreErrors::UNKNOWN,
         "Xml Parse Error"},
        {AnswerKind::Document, "ListAllMyBucketsResult", complete, true, CoreErrors::UNKNOWN,
         "Xml Parse Error"},
        {AnswerKind::Document, "CompleteMultipartUploadResult",
         ErrorXml("InternalError", "try again"), true, CoreErrors::INTERNAL_FAILURE, ""},
        {AnswerKind::Headers, nullptr, "", false, {}, ""},
        {AnswerKind::Headers, nullptr, " \r\n", false, {}, ""},
        {AnswerKind::Headers, nullptr, signIn, true, CoreErrors::UNKNOWN, "Xml Parse Error"},
        {AnswerKind::Headers, nullptr, ErrorXml("SlowDown", "later"), true, CoreErrors::SLOW_DOWN,
         ""},
        {AnswerKind::Headers, nullptr, "<unclosed", true, CoreErrors::UNKNOWN, "Xml Parse Error"},
        {AnswerKind::Content, nullptr, signIn, false, {}, ""},
    };
    for (const Cell& cell : cells) {
        Aws::S3::Internal::OperationRequest request;
        request.answer = cell.answer;
        request.resultRoot = cell.root;
        HttpResponse response;
        response.statusCode = 200;
        response.headers = {{"x-amz-request-id", "HEADERID"}};
        Aws::StringStream body(cell.body);
        const auto verdict =
            Aws::S3::Internal::ClassifyResponse(request, response, body, nullptr, "");
        SCOPED_TRACE(cell.body);
        ASSERT_EQ(verdict.failed, cell.fails);
        if (!cell.fails) {
            EXPECT_EQ(verdict.document != nullptr, cell.answer == AnswerKind::Document);
            continue;
        }
        EXPECT_EQ(verdict.error.GetErrorType(), cell.type);
        EXPECT_EQ(verdict.error.GetExceptionName(), cell.exceptionName);
        EXPECT_FALSE(verdict.error.GetMessage().empty());
        if (cell.type == CoreErrors::UNKNOWN) {
            // What came back is in the error, for the log.
            EXPECT_EQ(verdict.error.GetResponseCode(), HttpResponseCode::OK);
            EXPECT_TRUE(verdict.error.ResponseHeaderExists("x-amz-request-id"));
        }
    }
}

TEST(ErrorParsing, EmbeddedErrorInSuccessfulAnswer) {
    Aws::Internal::CoreError error;
    Aws::Internal::XmlDocument failed;
    ASSERT_TRUE(failed.Parse(ErrorXml("InternalError", "try again")));
    ASSERT_TRUE(Aws::Internal::FindEmbeddedError(failed.Root(), error));
    EXPECT_EQ(error.GetErrorType(), CoreErrors::INTERNAL_FAILURE);
    EXPECT_EQ(error.GetMessage(), "try again");
    EXPECT_EQ(error.GetRequestId(), "REQ123");
    EXPECT_TRUE(error.ShouldRetry());
    Aws::Internal::XmlDocument bare;
    ASSERT_TRUE(bare.Parse("<Error><Code>NoSuchUpload</Code></Error>"));
    ASSERT_TRUE(Aws::Internal::FindEmbeddedError(bare.Root(), error));
    EXPECT_EQ(static_cast<S3Errors>(error.GetErrorType()), S3Errors::NO_SUCH_UPLOAD);
    EXPECT_EQ(error.GetMessage(), "Error in body of the response");
}

TEST(ErrorParsing, TransportErrorText) {
    HttpResponse response;
    response.curlCode = 7;
    response.curlMessage = "Couldn't connect to server";
    S3Error error(Aws::Internal::BuildTransportError(response));
    EXPECT_EQ(error.GetErrorType(), S3Errors::NETWORK_CONNECTION);
    EXPECT_EQ(error.GetMessage(), "curlCode: 7, Couldn't connect to server");
    EXPECT_EQ(error.GetResponseCode(), HttpResponseCode::REQUEST_NOT_MADE);
    EXPECT_TRUE(error.ShouldRetry());
}
