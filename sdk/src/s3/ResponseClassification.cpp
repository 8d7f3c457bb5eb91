#include "s3/ResponseClassification.h"

#include "core/Crypto.h"

namespace Aws {
namespace S3 {
namespace Internal {
using Aws::Client::CoreErrors;

namespace {
// The failure upstream reports for an answer it cannot parse, with the response attached so
// that whoever logs the error sees what came back.
CoreError XmlParseError(const Aws::Internal::HttpResponse& response, const Aws::String& message) {
    CoreError error(CoreErrors::UNKNOWN, "Xml Parse Error", message, false);
    Aws::Internal::AttachResponse(error, response);
    return error;
}

Verdict Failed(CoreError error) {
    Verdict verdict;
    verdict.failed = true;
    verdict.error = std::move(error);
    return verdict;
}

bool IsBlank(const Aws::String& text) {
    return text.find_first_not_of(" \t\r\n") == Aws::String::npos;
}

// An answer whose headers are the result: it has no body, or an <Error> one. Anything else in
// its place (a gateway's sign-in page) is not what the service answers, and the request may
// never have reached it.
Verdict ClassifyHeadersAnswer(const Aws::Internal::HttpResponse& response, Aws::IOStream& body) {
    const Aws::String text = Aws::Internal::ReadWholeStream(body);
    if (IsBlank(text)) return {};
    Aws::Internal::XmlDocument doc;
    if (!doc.Parse(text) || !doc.Root()) return Failed(XmlParseError(response, doc.ErrorMessage()));
    CoreError embedded;
    if (Aws::Internal::FindEmbeddedError(doc.Root(), embedded)) return Failed(std::move(embedded));
    return Failed(XmlParseError(
        response, "Expected no body, got a <" + Aws::String(doc.Root()->Name()) + "> document"));
}

Verdict ClassifyDocumentAnswer(const OperationRequest& request,
                               const Aws::Internal::HttpResponse& response, Aws::IOStream& body) {
    const Aws::String expected = "<" + Aws::String(request.resultRoot) + ">";
    const Aws::String text = Aws::Internal::ReadWholeStream(body);
    if (text.empty()) {
        return Failed(
            XmlParseError(response, "Expected a " + expected + " document, got an empty body"));
    }
    auto doc = std::make_unique<Aws::Internal::XmlDocument>();
    if (!doc->Parse(text) || !doc->Root()) {
        return Failed(XmlParseError(
            response, "Expected a " + expected + " document: " + doc->ErrorMessage()));
    }
    CoreError embedded;
    if (Aws::Internal::FindEmbeddedError(doc->Root(), embedded)) return Failed(std::move(embedded));
    const Aws::String root = doc->Root()->Name();
    if (root != request.resultRoot &&
        (request.resultRootAlias == nullptr || root != request.resultRootAlias)) {
        return Failed(
            XmlParseError(response, "Expected a " + expected + " document, got <" + root + ">"));
    }
    Verdict verdict;
    verdict.document = std::move(doc);
    return verdict;
}
}  // namespace

Verdict ClassifyResponse(const OperationRequest& request,
                         const Aws::Internal::HttpResponse& response, Aws::IOStream& body,
                         Aws::Internal::RunningHash* bodyChecksum,
                         const Aws::String& expectedChecksum) {
    if (response.curlCode != 0) return Failed(Aws::Internal::BuildTransportError(response));
    if (response.bodyLengthMismatch) {
        CoreError error(CoreErrors::NETWORK_CONNECTION, "",
                        "Response body length doesn't match the content-length header.", true);
        Aws::Internal::AttachResponse(error, response);
        return Failed(std::move(error));
    }
    if (response.statusCode < 200 || response.statusCode > 299) {
        return Failed(Aws::Internal::BuildHttpError(response, body));
    }
    switch (request.answer) {
        case AnswerKind::Headers:
            return ClassifyHeadersAnswer(response, body);
        case AnswerKind::Document:
            return ClassifyDocumentAnswer(request, response, body);
        case AnswerKind::Content:
            break;
    }
    if (bodyChecksum && Aws::Internal::Base64Encode(bodyChecksum->Finish()) != expectedChecksum) {
        CoreError error(CoreErrors::VALIDATION, "", "Response checksums mismatch", false);
        Aws::Internal::AttachResponse(error, response);
        return Failed(std::move(error));
    }
    return {};
}
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
