#include "testhost/S3Admin.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "Internal.h"

namespace testhost {
namespace {

// moto serves anonymous requests as an anonymous user, whom it denies private objects. A
// request that names an account is served as that account; the signature is not checked.
const char* kUnsignedAuthorization =
    "AWS4-HMAC-SHA256 Credential=testing/20260101/us-east-1/s3/aws4_request, "
    "SignedHeaders=host, "
    "Signature=0000000000000000000000000000000000000000000000000000000000000000";

std::string XmlText(const std::string& escaped) {
    std::string text;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '&') {
            text.push_back(escaped[i]);
            continue;
        }
        const std::size_t end = escaped.find(';', i);
        if (end == std::string::npos) {
            text.push_back('&');
            continue;
        }
        const std::string entity = escaped.substr(i + 1, end - i - 1);
        unsigned long code = 0;
        if (entity == "amp") {
            code = '&';
        } else if (entity == "lt") {
            code = '<';
        } else if (entity == "gt") {
            code = '>';
        } else if (entity == "quot") {
            code = '"';
        } else if (entity == "apos") {
            code = '\'';
        } else if (entity.size() > 1 && entity[0] == '#') {
            code = entity[1] == 'x' ? std::stoul(entity.substr(2), nullptr, 16)
                                    : std::stoul(entity.substr(1));
        } else {
            text.push_back('&');
            continue;
        }
        // UTF-8 of the referenced character.
        if (code < 0x80) {
            text.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            text.push_back(static_cast<char>(0xC0 | (code >> 6)));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            text.push_back(static_cast<char>(0xE0 | (code >> 12)));
            text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            text.push_back(static_cast<char>(0xF0 | (code >> 18)));
            text.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        i = end;
    }
    return text;
}

// Texts of every <tag> element inside each <parent> element, in document order. The answers
// parsed here are flat enough that a search for the tags is exact.
std::vector<std::string> ChildTexts(const std::string& xml, const std::string& parent,
                                    const std::string& tag) {
    std::vector<std::string> texts;
    const std::string open = "<" + parent + ">", close = "</" + parent + ">";
    for (std::size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at)) {
        const std::size_t end = xml.find(close, at);
        if (end == std::string::npos) break;
        const std::string element = xml.substr(at, end - at);
        const std::size_t start = element.find("<" + tag + ">");
        if (start != std::string::npos) {
            const std::size_t textStart = start + tag.size() + 2;
            texts.push_back(
                XmlText(element.substr(textStart, element.find("</" + tag + ">") - textStart)));
        }
        at = end;
    }
    return texts;
}

std::string FirstText(const std::string& xml, const std::string& tag) {
    const std::size_t start = xml.find("<" + tag + ">");
    if (start == std::string::npos) return "";
    const std::size_t textStart = start + tag.size() + 2;
    return XmlText(xml.substr(textStart, xml.find("</" + tag + ">", textStart) - textStart));
}

[[noreturn]] void Fail(const std::string& what, const S3Admin::Response& response) {
    throw std::runtime_error(what + " failed: status " + std::to_string(response.status) + " " +
                             response.body);
}

}  // namespace

S3Admin::S3Admin(std::string url, std::string caFile, std::string accessKey, std::string secretKey)
    : url_(std::move(url)),
      caFile_(std::move(caFile)),
      accessKey_(std::move(accessKey)),
      secretKey_(std::move(secretKey)) {}

std::string S3Admin::Encode(const std::string& text, bool keepSlash) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' ||
            (keepSlash && c == '/')) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
        }
    }
    return out;
}

std::string S3Admin::ObjectTarget(const std::string& bucket, const std::string& key) {
    return "/" + bucket + "/" + Encode(key, true);
}

S3Admin::Response S3Admin::Request(const std::string& method, const std::string& target,
                                   const std::string& body,
                                   const std::map<std::string, std::string>& headers) {
    // Without a type, the server would take a body for form data and drop it.
    std::map<std::string, std::string> all = {{"Content-Type", "application/octet-stream"}};
    const internal::Signing signing{accessKey_, secretKey_};
    if (accessKey_.empty()) all["Authorization"] = kUnsignedAuthorization;
    for (const auto& [name, value] : headers) all[name] = value;
    // Large bodies take their time through a server that checks every byte.
    const long timeoutMs = 30000 + static_cast<long>(body.size() / 10000);
    internal::HttpResult result =
        internal::Http(method, url_ + target, body, all, caFile_, timeoutMs,
                       accessKey_.empty() ? nullptr : &signing, true);
    Response response;
    response.status = result.status;
    response.body = result.status != 0 ? std::move(result.body) : result.error;
    response.headers = std::move(result.headers);
    return response;
}

void S3Admin::CreateBucket(const std::string& bucket, const std::string& locationConstraint) {
    std::string body;
    if (!locationConstraint.empty()) {
        body =
            "<CreateBucketConfiguration xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\">"
            "<LocationConstraint>" +
            locationConstraint + "</LocationConstraint></CreateBucketConfiguration>";
    }
    const Response response = Request("PUT", "/" + bucket, body);
    if (response.status != 200) Fail("CreateBucket " + bucket, response);
}

void S3Admin::PutObject(const std::string& bucket, const std::string& key,
                        const std::string& data) {
    const Response response = Request("PUT", ObjectTarget(bucket, key), data);
    if (response.status != 200) Fail("PutObject " + bucket + "/" + key, response);
}

void S3Admin::DeleteObject(const std::string& bucket, const std::string& key) {
    const Response response = Request("DELETE", ObjectTarget(bucket, key));
    if (response.status != 204 && response.status != 200) {
        Fail("DeleteObject " + bucket + "/" + key, response);
    }
}

void S3Admin::DeleteBucket(const std::string& bucket) {
    const Response response = Request("DELETE", "/" + bucket);
    if (response.status != 204 && response.status != 200) Fail("DeleteBucket " + bucket, response);
}

std::optional<std::string> S3Admin::GetObject(const std::string& bucket, const std::string& key) {
    Response response = Request("GET", ObjectTarget(bucket, key));
    if (response.status == 404) return std::nullopt;
    if (response.status != 200) Fail("GetObject " + bucket + "/" + key, response);
    return std::move(response.body);
}

std::optional<long long> S3Admin::ObjectSize(const std::string& bucket, const std::string& key) {
    const Response response = Request("HEAD", ObjectTarget(bucket, key));
    if (response.status == 404) return std::nullopt;
    const auto length = response.headers.find("content-length");
    if (response.status != 200 || length == response.headers.end()) {
        Fail("HeadObject " + bucket + "/" + key, response);
    }
    return std::stoll(length->second);
}

void S3Admin::DeleteBucketAndContents(const std::string& bucket) {
    for (const Upload& upload : ListUploads(bucket)) {
        const Response response =
            Request("DELETE", ObjectTarget(bucket, upload.key) +
                                  "?uploadId=" + Encode(upload.uploadId, false));
        if (response.status != 204 && response.status != 200) {
            Fail("AbortMultipartUpload " + bucket + "/" + upload.key, response);
        }
    }
    for (const std::string& key : ListKeys(bucket)) DeleteObject(bucket, key);
    DeleteBucket(bucket);
}

std::vector<std::string> S3Admin::ListKeys(const std::string& bucket, const std::string& prefix) {
    std::vector<std::string> keys;
    std::string token;
    do {
        std::string target = "/" + bucket + "?list-type=2&prefix=" + Encode(prefix, false);
        if (!token.empty()) target += "&continuation-token=" + Encode(token, false);
        const Response response = Request("GET", target);
        if (response.status != 200) Fail("ListObjectsV2 " + bucket, response);
        for (std::string& key : ChildTexts(response.body, "Contents", "Key")) {
            keys.push_back(std::move(key));
        }
        token = FirstText(response.body, "IsTruncated") == "true"
                    ? FirstText(response.body, "NextContinuationToken")
                    : "";
    } while (!token.empty());
    return keys;
}

std::vector<std::string> S3Admin::ListMultipartUploads(const std::string& bucket) {
    std::vector<std::string> keys;
    for (Upload& upload : ListUploads(bucket)) keys.push_back(std::move(upload.key));
    return keys;
}

std::vector<S3Admin::Upload> S3Admin::ListUploads(const std::string& bucket) {
    std::vector<Upload> uploads;
    std::string keyMarker, uploadIdMarker;
    while (true) {
        std::string target = "/" + bucket + "?uploads";
        if (!keyMarker.empty()) {
            target += "&key-marker=" + Encode(keyMarker, false) +
                      "&upload-id-marker=" + Encode(uploadIdMarker, false);
        }
        const Response response = Request("GET", target);
        if (response.status != 200) Fail("ListMultipartUploads " + bucket, response);
        const std::vector<std::string> keys = ChildTexts(response.body, "Upload", "Key");
        const std::vector<std::string> ids = ChildTexts(response.body, "Upload", "UploadId");
        for (std::size_t i = 0; i < keys.size(); ++i) {
            uploads.push_back({keys[i], i < ids.size() ? ids[i] : ""});
        }
        if (FirstText(response.body, "IsTruncated") != "true") break;
        keyMarker = FirstText(response.body, "NextKeyMarker");
        uploadIdMarker = FirstText(response.body, "NextUploadIdMarker");
        if (keyMarker.empty()) break;
    }
    return uploads;
}

bool S3Admin::BucketExists(const std::string& bucket) {
    const Response response = Request("HEAD", "/" + bucket);
    if (response.status == 200) return true;
    if (response.status == 404) return false;
    Fail("HeadBucket " + bucket, response);
}

std::vector<std::string> S3Admin::ListBuckets() {
    const Response response = Request("GET", "/");
    if (response.status != 200) Fail("ListBuckets", response);
    return ChildTexts(response.body, "Bucket", "Name");
}

std::string S3Admin::UniqueBucketName(const std::string& stem) {
    static std::atomic<unsigned> counter{0};
    std::string name;
    for (unsigned char c : stem) {
        const char lower = static_cast<char>(std::tolower(c));
        if (std::isalnum(static_cast<unsigned char>(lower))) {
            name.push_back(lower);
        } else if (!name.empty() && name.back() != '-') {
            name.push_back('-');
        }
    }
    while (!name.empty() && name.back() == '-') name.pop_back();
    if (name.empty()) name = "bucket";
    const auto clock = std::chrono::steady_clock::now().time_since_epoch().count();
    char suffix[48];
    std::snprintf(suffix, sizeof(suffix), "-%d-%u-%04x", static_cast<int>(getpid()), ++counter,
                  static_cast<unsigned>(clock & 0xFFFF));
    if (name.size() + std::string(suffix).size() > 63) name.resize(63 - std::string(suffix).size());
    while (!name.empty() && name.back() == '-') name.pop_back();
    if (name.empty()) name = "b";
    return name + suffix;
}

}  // namespace testhost
