#include <aws/core/utils/xml/XmlSerializer.h>

#include <aws/core/utils/StringUtils.h>

#include "s3/Operations.h"
#include "s3/Xml.h"

#include <iterator>

namespace Aws {
namespace Internal {
Aws::String ReadWholeStream(Aws::IOStream& stream) {
    stream.clear();
    std::streampos saved = stream.tellg();
    if (saved == std::streampos(-1)) saved = 0;
    stream.seekg(0, std::ios_base::beg);
    Aws::String text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    stream.clear();
    stream.seekg(saved, std::ios_base::beg);
    return text;
}

bool XmlDocument::Parse(const Aws::String& text) {
    return m_doc.Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS;
}

bool XmlDocument::Parse(Aws::IOStream& stream) { return Parse(ReadWholeStream(stream)); }

Aws::String ElementText(const tinyxml2::XMLElement* element) {
    if (!element) return {};
    tinyxml2::XMLPrinter printer(nullptr, true);
    for (const tinyxml2::XMLNode* child = element->FirstChild(); child;
         child = child->NextSibling()) {
        child->Accept(&printer);
    }
    return Aws::Utils::Xml::DecodeEscapedXmlText(Aws::String(printer.CStr()));
}

Aws::String ChildText(const tinyxml2::XMLElement* parent, const char* name) {
    return parent ? ElementText(parent->FirstChildElement(name)) : Aws::String();
}

bool HasChild(const tinyxml2::XMLElement* parent, const char* name) {
    return parent && parent->FirstChildElement(name) != nullptr;
}
}  // namespace Internal
}  // namespace Aws

namespace Aws {
namespace S3 {
namespace Internal {
using Aws::Internal::ChildText;
using Aws::Internal::ElementText;
using Aws::Internal::HasChild;
using Aws::Internal::XmlDocument;
using Aws::Utils::StringUtils;
using namespace Aws::S3::Model;

namespace {
Aws::String Trimmed(const Aws::String& text) { return StringUtils::Trim(text.c_str()); }

bool ParseBool(const Aws::String& text) {
    return StringUtils::ToLower(Trimmed(text).c_str()) == "true";
}

Aws::Utils::DateTime ParseIsoDate(const Aws::String& text) {
    return Aws::Utils::DateTime(Trimmed(text), Aws::Utils::DateFormat::ISO_8601);
}
}  // namespace

ListBucketsResult ParseListBuckets(const OperationResponse& response) {
    ListBucketsResult result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    XmlDocument doc;
    if (!doc.Parse(*response.body) || !doc.Root()) return result;
    const auto* root = doc.Root();
    if (const auto* buckets = root->FirstChildElement("Buckets")) {
        for (const auto* b = buckets->FirstChildElement("Bucket"); b;
             b = b->NextSiblingElement("Bucket")) {
            Bucket bucket;
            if (HasChild(b, "Name")) bucket.SetName(ChildText(b, "Name"));
            if (HasChild(b, "CreationDate")) {
                bucket.SetCreationDate(ParseIsoDate(ChildText(b, "CreationDate")));
            }
            if (HasChild(b, "BucketRegion")) bucket.SetBucketRegion(ChildText(b, "BucketRegion"));
            result.AddBuckets(std::move(bucket));
        }
    }
    if (HasChild(root, "ContinuationToken")) {
        result.SetContinuationToken(ChildText(root, "ContinuationToken"));
    }
    if (HasChild(root, "Prefix")) result.SetPrefix(ChildText(root, "Prefix"));
    return result;
}

ListObjectsV2Result ParseListObjectsV2(const OperationResponse& response) {
    ListObjectsV2Result result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    XmlDocument doc;
    if (!doc.Parse(*response.body) || !doc.Root()) return result;
    const auto* root = doc.Root();
    for (const auto* c = root->FirstChildElement("Contents"); c;
         c = c->NextSiblingElement("Contents")) {
        Object object;
        if (HasChild(c, "Key")) object.SetKey(ChildText(c, "Key"));
        if (HasChild(c, "LastModified")) {
            object.SetLastModified(ParseIsoDate(ChildText(c, "LastModified")));
        }
        if (HasChild(c, "ETag")) object.SetETag(ChildText(c, "ETag"));
        if (HasChild(c, "Size")) {
            object.SetSize(StringUtils::ConvertToInt64(Trimmed(ChildText(c, "Size")).c_str()));
        }
        if (HasChild(c, "StorageClass")) object.SetStorageClass(ChildText(c, "StorageClass"));
        result.AddContents(std::move(object));
    }
    for (const auto* p = root->FirstChildElement("CommonPrefixes"); p;
         p = p->NextSiblingElement("CommonPrefixes")) {
        CommonPrefix prefix;
        if (HasChild(p, "Prefix")) prefix.SetPrefix(ChildText(p, "Prefix"));
        result.AddCommonPrefixes(std::move(prefix));
    }
    if (HasChild(root, "IsTruncated"))
        result.SetIsTruncated(ParseBool(ChildText(root, "IsTruncated")));
    if (HasChild(root, "Name")) result.SetName(ChildText(root, "Name"));
    if (HasChild(root, "Prefix")) result.SetPrefix(ChildText(root, "Prefix"));
    if (HasChild(root, "Delimiter")) result.SetDelimiter(ChildText(root, "Delimiter"));
    if (HasChild(root, "MaxKeys")) {
        result.SetMaxKeys(StringUtils::ConvertToInt32(Trimmed(ChildText(root, "MaxKeys")).c_str()));
    }
    if (HasChild(root, "KeyCount")) {
        result.SetKeyCount(
            StringUtils::ConvertToInt32(Trimmed(ChildText(root, "KeyCount")).c_str()));
    }
    if (HasChild(root, "EncodingType")) {
        result.SetEncodingType(
            EncodingTypeMapper::GetEncodingTypeForName(Trimmed(ChildText(root, "EncodingType"))));
    }
    if (HasChild(root, "ContinuationToken")) {
        result.SetContinuationToken(ChildText(root, "ContinuationToken"));
    }
    if (HasChild(root, "NextContinuationToken")) {
        result.SetNextContinuationToken(ChildText(root, "NextContinuationToken"));
    }
    if (HasChild(root, "StartAfter")) result.SetStartAfter(ChildText(root, "StartAfter"));
    return result;
}

GetBucketLocationResult ParseGetBucketLocation(const OperationResponse& response) {
    GetBucketLocationResult result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    XmlDocument doc;
    if (!doc.Parse(*response.body) || !doc.Root()) return result;
    result.SetLocationConstraint(BucketLocationConstraintMapper::GetBucketLocationConstraintForName(
        Trimmed(ElementText(doc.Root()))));
    return result;
}

CreateMultipartUploadResult ParseCreateMultipartUpload(const OperationResponse& response) {
    CreateMultipartUploadResult result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    XmlDocument doc;
    if (!doc.Parse(*response.body) || !doc.Root()) return result;
    const auto* root = doc.Root();
    if (HasChild(root, "Bucket")) result.SetBucket(ChildText(root, "Bucket"));
    if (HasChild(root, "Key")) result.SetKey(ChildText(root, "Key"));
    if (HasChild(root, "UploadId")) {
        result.SetUploadId(ChildText(root, "UploadId"));
    }
    return result;
}

CompleteMultipartUploadResult ParseCompleteMultipartUpload(const OperationResponse& response) {
    CompleteMultipartUploadResult result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    result.SetVersionId(response.Header("x-amz-version-id"));
    XmlDocument doc;
    if (!doc.Parse(*response.body) || !doc.Root()) return result;
    const auto* root = doc.Root();
    if (HasChild(root, "Location")) {
        result.SetLocation(ChildText(root, "Location"));
    }
    if (HasChild(root, "Bucket")) result.SetBucket(ChildText(root, "Bucket"));
    if (HasChild(root, "Key")) result.SetKey(ChildText(root, "Key"));
    if (HasChild(root, "ETag")) result.SetETag(ChildText(root, "ETag"));
    if (HasChild(root, "ChecksumCRC64NVME")) {
        result.SetChecksumCRC64NVME(ChildText(root, "ChecksumCRC64NVME"));
    }
    return result;
}
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
