// The answers of the S3 client's operations over arbitrary 200 bodies: the classification that
// parses them once and the result parsers after it. The first byte picks the operation, the
// rest is the body. Checked: the outcome is deterministic, and a result written back as XML
// is accepted again and parses to the same result.
#include <aws/core/utils/memory/stl/AWSStringStream.h>

#include "s3/Operations.h"
#include "s3/ResponseClassification.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {
using Aws::S3::Internal::OperationResponse;
using namespace Aws::S3::Model;

void Fail(const char* what, const std::string& first, const std::string& second) {
    std::fprintf(stderr, "%s\n--- first:\n%s\n--- second:\n%s\n", what, first.c_str(),
                 second.c_str());
    std::abort();
}

// Text as an element's content: the markup characters escaped, and the carriage return as a
// reference because a raw one would be normalised into a line feed.
std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\r':
                out += "&#xD;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string Element(const char* name, const std::string& text) {
    return std::string("<") + name + ">" + Escape(text) + "</" + name + ">";
}

std::string DateText(const Aws::Utils::DateTime& date) {
    if (!date.WasParseSuccessful()) return "(invalid)";
    return date.ToGmtString(Aws::Utils::DateFormat::ISO_8601);
}

// Every field of a result, each on a line of its own with its length so that no two different
// results describe alike.
void Field(std::string& out, const char* name, const std::string& value) {
    out += name;
    out += "[" + std::to_string(value.size()) + "]=" + value + "\n";
}

std::string Describe(const ListBucketsResult& r) {
    std::string out;
    for (const Bucket& b : r.GetBuckets()) {
        Field(out, "Name", b.GetName());
        Field(out, "CreationDate", DateText(b.GetCreationDate()));
        Field(out, "BucketRegion", b.GetBucketRegion());
    }
    Field(out, "ContinuationToken", r.GetContinuationToken());
    Field(out, "Prefix", r.GetPrefix());
    Field(out, "RequestId", r.GetRequestId());
    return out;
}

std::string Describe(const ListObjectsV2Result& r) {
    std::string out;
    for (const Object& o : r.GetContents()) {
        Field(out, "Key", o.GetKey());
        Field(out, "LastModified", DateText(o.GetLastModified()));
        Field(out, "ETag", o.GetETag());
        Field(out, "Size", std::to_string(o.GetSize()));
        Field(out, "StorageClass", o.GetStorageClass());
    }
    for (const CommonPrefix& p : r.GetCommonPrefixes()) Field(out, "CommonPrefix", p.GetPrefix());
    Field(out, "IsTruncated", r.GetIsTruncated() ? "true" : "false");
    Field(out, "Name", r.GetName());
    Field(out, "Prefix", r.GetPrefix());
    Field(out, "Delimiter", r.GetDelimiter());
    Field(out, "MaxKeys", std::to_string(r.GetMaxKeys()));
    Field(out, "KeyCount", std::to_string(r.GetKeyCount()));
    Field(out, "EncodingType", EncodingTypeMapper::GetNameForEncodingType(r.GetEncodingType()));
    Field(out, "ContinuationToken", r.GetContinuationToken());
    Field(out, "NextContinuationToken", r.GetNextContinuationToken());
    Field(out, "StartAfter", r.GetStartAfter());
    Field(out, "RequestId", r.GetRequestId());
    return out;
}

std::string Describe(const GetBucketLocationResult& r) {
    std::string out;
    Field(out, "LocationConstraint",
          BucketLocationConstraintMapper::GetNameForBucketLocationConstraint(
              r.GetLocationConstraint()));
    Field(out, "RequestId", r.GetRequestId());
    return out;
}

std::string Describe(const CreateMultipartUploadResult& r) {
    std::string out;
    Field(out, "Bucket", r.GetBucket());
    Field(out, "Key", r.GetKey());
    Field(out, "UploadId", r.GetUploadId());
    Field(out, "RequestId", r.GetRequestId());
    return out;
}

std::string Describe(const CompleteMultipartUploadResult& r) {
    std::string out;
    Field(out, "Location", r.GetLocation());
    Field(out, "Bucket", r.GetBucket());
    Field(out, "Key", r.GetKey());
    Field(out, "ETag", r.GetETag());
    Field(out, "ChecksumCRC64NVME", r.GetChecksumCRC64NVME());
    Field(out, "RequestId", r.GetRequestId());
    return out;
}

std::string Serialise(const ListBucketsResult& r) {
    std::string xml = "<ListAllMyBucketsResult><Buckets>";
    for (const Bucket& b : r.GetBuckets()) {
        xml += "<Bucket>" + Element("Name", b.GetName());
        // An unparsable date is written back unparsable.
        xml += Element("CreationDate", b.GetCreationDate().WasParseSuccessful()
                                           ? DateText(b.GetCreationDate())
                                           : "not a date");
        xml += Element("BucketRegion", b.GetBucketRegion()) + "</Bucket>";
    }
    xml += "</Buckets>" + Element("ContinuationToken", r.GetContinuationToken());
    xml += Element("Prefix", r.GetPrefix()) + "</ListAllMyBucketsResult>";
    return xml;
}

std::string Serialise(const ListObjectsV2Result& r) {
    std::string xml = "<ListBucketResult>";
    for (const Object& o : r.GetContents()) {
        xml += "<Contents>" + Element("Key", o.GetKey());
        xml += Element("LastModified", o.GetLastModified().WasParseSuccessful()
                                           ? DateText(o.GetLastModified())
                                           : "not a date");
        xml += Element("ETag", o.GetETag()) + Element("Size", std::to_string(o.GetSize()));
        xml += Element("StorageClass", o.GetStorageClass()) + "</Contents>";
    }
    for (const CommonPrefix& p : r.GetCommonPrefixes()) {
        xml += "<CommonPrefixes>" + Element("Prefix", p.GetPrefix()) + "</CommonPrefixes>";
    }
    xml += Element("IsTruncated", r.GetIsTruncated() ? "true" : "false");
    xml += Element("Name", r.GetName()) + Element("Prefix", r.GetPrefix());
    xml += Element("Delimiter", r.GetDelimiter());
    xml += Element("MaxKeys", std::to_string(r.GetMaxKeys()));
    xml += Element("KeyCount", std::to_string(r.GetKeyCount()));
    xml += Element("EncodingType", EncodingTypeMapper::GetNameForEncodingType(r.GetEncodingType()));
    xml += Element("ContinuationToken", r.GetContinuationToken());
    xml += Element("NextContinuationToken", r.GetNextContinuationToken());
    xml += Element("StartAfter", r.GetStartAfter()) + "</ListBucketResult>";
    return xml;
}

std::string Serialise(const GetBucketLocationResult& r) {
    return Element("LocationConstraint",
                   BucketLocationConstraintMapper::GetNameForBucketLocationConstraint(
                       r.GetLocationConstraint()));
}

std::string Serialise(const CreateMultipartUploadResult& r) {
    return "<InitiateMultipartUploadResult>" + Element("Bucket", r.GetBucket()) +
           Element("Key", r.GetKey()) + Element("UploadId", r.GetUploadId()) +
           "</InitiateMultipartUploadResult>";
}

std::string Serialise(const CompleteMultipartUploadResult& r) {
    return "<CompleteMultipartUploadResult>" + Element("Location", r.GetLocation()) +
           Element("Bucket", r.GetBucket()) + Element("Key", r.GetKey()) +
           Element("ETag", r.GetETag()) + Element("ChecksumCRC64NVME", r.GetChecksumCRC64NVME()) +
           "</CompleteMultipartUploadResult>";
}

// What the client makes of a 200 answer with `body` for an operation whose result element is
// `root`: the result, or nothing when the answer is refused.
template <typename Parser>
auto Answer(const char* root, Parser parse, const std::string& body)
    -> std::optional<std::decay_t<decltype(parse(std::declval<OperationResponse&>()).GetResult())>> {
    Aws::S3::Internal::OperationRequest request;
    request.answer = Aws::S3::Internal::AnswerKind::Document;
    request.resultRoot = root;
    Aws::Internal::HttpResponse http;
    http.statusCode = 200;
    http.headers["x-amz-request-id"] = "REQ1";
    Aws::StringStream stream{Aws::String(body)};
    auto verdict = Aws::S3::Internal::ClassifyResponse(request, http, stream, nullptr, "");
    if (verdict.failed) return std::nullopt;
    OperationResponse response;
    response.responseCode = Aws::Http::HttpResponseCode::OK;
    response.headers = http.headers;
    response.document = std::move(verdict.document);
    auto parsed = parse(response);
    if (!parsed.IsSuccess()) return std::nullopt;
    return parsed.GetResultWithOwnership();
}

template <typename Parser>
void Check(const char* root, Parser parse, const std::string& body) {
    const auto first = Answer(root, parse, body);
    const auto second = Answer(root, parse, body);
    if (first.has_value() != second.has_value()) Fail("two answers of one body differ", body, "");
    if (!first) return;
    const std::string described = Describe(*first);
    if (described != Describe(*second)) Fail("two parses of one body differ", described, "");

    const std::string written = Serialise(*first);
    const auto again = Answer(root, parse, written);
    if (!again) Fail(("written back as " + written + ", refused").c_str(), described, "");
    const std::string reparsed = Describe(*again);
    if (reparsed != described) Fail(("written back as " + written).c_str(), described, reparsed);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    namespace I = Aws::S3::Internal;
    switch (data[0] % 5) {
        case 0:
            Check("ListAllMyBucketsResult", I::ParseListBuckets, body);
            break;
        case 1:
            Check("ListBucketResult", I::ParseListObjectsV2, body);
            break;
        case 2:
            Check("LocationConstraint", I::ParseGetBucketLocation, body);
            break;
        case 3:
            Check("InitiateMultipartUploadResult", I::ParseCreateMultipartUpload, body);
            break;
        default:
            Check("CompleteMultipartUploadResult", I::ParseCompleteMultipartUpload, body);
            break;
    }
    return 0;
}
