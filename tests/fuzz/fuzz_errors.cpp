// The error parser over arbitrary answers. The first byte picks the status (200 means a body
// that may carry an embedded <Error>), the second which headers come with it, the rest is the
// body. Checked: nothing throws, the error type is one the service's code or the status names
// (or UNKNOWN), the status and headers are attached, a parse is deterministic and leaves the
// body stream where it was, and the error written back as an <Error> document gives the same
// error.
#include <aws/core/utils/memory/stl/AWSStringStream.h>

#include "s3/ErrorMarshaller.h"
#include "s3/Xml.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
using Aws::Client::CoreErrors;
using Aws::Http::HttpResponseCode;
using Aws::Internal::CoreError;
using Aws::Internal::HttpResponse;

const long kStatuses[] = {200, 301, 307, 400, 401, 403, 404, 405, 408, 409, 411, 412,
                          416, 429, 500, 501, 502, 503, 504, 509, 598, 599, 418, 206};

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s\n%s\n", what, detail.c_str());
    std::abort();
}

std::string Describe(const CoreError& e) {
    std::string out = "type=" + std::to_string(static_cast<int>(e.GetErrorType()));
    out += " retry=" + std::to_string(e.ShouldRetry());
    out += "\nname[" + std::to_string(e.GetExceptionName().size()) + "]=" + e.GetExceptionName();
    out += "\nmessage[" + std::to_string(e.GetMessage().size()) + "]=" + e.GetMessage();
    out += "\nrequestId[" + std::to_string(e.GetRequestId().size()) + "]=" + e.GetRequestId();
    return out;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '\r') {
            out += "&#xD;";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string ErrorDocument(const std::string& code, const std::string& message,
                          const std::string& requestId) {
    return "<Error><Code>" + Escape(code) + "</Code><Message>" + Escape(message) +
           "</Message><RequestId>" + Escape(requestId) + "</RequestId></Error>";
}

// The type of an error must come from its code's name, from the status, or be UNKNOWN.
void CheckKnownType(const CoreError& e, long status) {
    const CoreErrors type = e.GetErrorType();
    if (type == CoreErrors::UNKNOWN) return;
    if (!e.GetExceptionName().empty() &&
        Aws::Internal::FindErrorByName(e.GetExceptionName()).GetErrorType() == type) {
        return;
    }
    const auto byStatus = Aws::Client::CoreErrorsMapper::GetErrorForHttpResponseCode(
        static_cast<HttpResponseCode>(status));
    if (byStatus.GetErrorType() == type) return;
    Fail("error type named by neither the code nor the status", Describe(e));
}

CoreError BuildHttp(const HttpResponse& response, const std::string& body, size_t readFrom) {
    Aws::StringStream stream(body);
    stream.seekg(static_cast<std::streamoff>(readFrom));
    const std::streampos before = stream.tellg();
    CoreError error = Aws::Internal::BuildHttpError(response, stream);
    if (stream.tellg() != before) Fail("error parse moved the read position", Describe(error));
    return error;
}

void CheckHttpError(const HttpResponse& response, const std::string& body) {
    const CoreError first = BuildHttp(response, body, body.size() / 2);
    const CoreError second = BuildHttp(response, body, 0);
    if (Describe(first) != Describe(second)) {
        Fail("two parses of one error differ", Describe(first) + "\n---\n" + Describe(second));
    }
    CheckKnownType(first, response.statusCode);
    if (static_cast<long>(first.GetResponseCode()) != response.statusCode) {
        Fail("status not attached", Describe(first));
    }
    if (first.GetResponseHeaders() != response.headers) Fail("headers not attached", "");

    // Written back with its code, an error the service named is found again as the same error.
    const bool named = first.GetErrorType() != CoreErrors::UNKNOWN &&
                       !first.GetExceptionName().empty() &&
                       Aws::Internal::FindErrorByName(first.GetExceptionName()).GetErrorType() ==
                           first.GetErrorType();
    if (named) {
        const std::string doc =
            ErrorDocument(first.GetExceptionName(), first.GetMessage(), first.GetRequestId());
        const CoreError again = BuildHttp(response, doc, 0);
        if (Describe(again) != Describe(first)) {
            Fail(("written back as " + doc).c_str(), Describe(first) + "\n---\n" + Describe(again));
        }
    }
}

// Whether a 200 body is an <Error> document, and which.
bool EmbeddedError(const std::string& body, CoreError& error) {
    Aws::Internal::XmlDocument doc;
    return doc.Parse(body) && Aws::Internal::FindEmbeddedError(doc.Root(), error);
}

void CheckEmbeddedError(const std::string& body) {
    CoreError first;
    CoreError second;
    const bool found = EmbeddedError(body, first);
    if (EmbeddedError(body, second) != found) {
        Fail("two looks for an embedded error disagree", body);
    }
    if (!found) return;
    if (Describe(first) != Describe(second)) {
        Fail("two parses of one embedded error differ",
             Describe(first) + "\n---\n" + Describe(second));
    }
    // No exception name is kept for an embedded error: its type comes from the code alone.
    if (first.GetErrorType() != CoreErrors::UNKNOWN && !first.GetExceptionName().empty()) {
        Fail("embedded error keeps an exception name", Describe(first));
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    HttpResponse response;
    response.statusCode = kStatuses[data[0] % (sizeof(kStatuses) / sizeof(kStatuses[0]))];
    const uint8_t headers = data[1];
    if (headers & 1) response.headers["x-amz-request-id"] = "4442587FB7D0A2F9";
    if (headers & 2) response.headers["content-type"] = "application/xml";
    if (headers & 4) response.headers["retry-after"] = "1";
    if (headers & 8) response.headers["x-amz-bucket-region"] = "eu-west-1";
    if (headers & 16) response.remoteIp = "127.0.0.1";
    const std::string body(reinterpret_cast<const char*>(data) + 2, size - 2);

    if (response.statusCode >= 200 && response.statusCode <= 299) {
        CheckEmbeddedError(body);
    } else {
        CheckHttpError(response, body);
    }
    return 0;
}
