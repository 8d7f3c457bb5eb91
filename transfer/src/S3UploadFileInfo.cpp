#include "transfer/S3UploadFileInfo.h"

#include <aws/s3/model/AbortMultipartUploadRequest.h>
#include <aws/s3/model/CompleteMultipartUploadRequest.h>
#include <aws/s3/model/CompletedMultipartUpload.h>
#include <aws/s3/model/CreateMultipartUploadRequest.h>
#include <aws/s3/model/PutObjectRequest.h>
#include <aws/s3/model/UploadPartRequest.h>

#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "listing/ObjectPager.h"
#include "paths/PathMapping.h"
#include "torvik/Strings.h"

namespace {
// An ETag without the quotes a service puts around it.
std::string Unquoted(const std::string& etag) {
    if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"') {
        return etag.substr(1, etag.size() - 2);
    }
    return etag;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The ETag a service gives an object completed from parts with these ETags: the MD5 of their
// binary MD5s one after another, then "-" and the count. Empty when a part's ETag is no MD5
// (an encrypted upload, say), so that nothing can match it.
std::string MultipartETag(const std::vector<Aws::S3::Model::CompletedPart>& parts) {
    std::string digests;
    for (const auto& part : parts) {
        const std::string hex = Unquoted(part.GetETag());
        if (hex.size() != 32) return {};
        for (std::size_t i = 0; i < hex.size(); i += 2) {
            const int high = HexDigit(hex[i]);
            const int low = HexDigit(hex[i + 1]);
            if (high < 0 || low < 0) return {};
            digests.push_back(static_cast<char>(high * 16 + low));
        }
    }
    unsigned char md5[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(digests.data(), digests.size(), md5, &length, EVP_md5(), nullptr) != 1) {
        return {};
    }
    static const char kHex[] = "0123456789abcdef";
    std::string etag;
    for (unsigned int i = 0; i < length; ++i) {
        etag.push_back(kHex[md5[i] >> 4]);
        etag.push_back(kHex[md5[i] & 0xF]);
    }
    return etag + "-" + std::to_string(parts.size());
}
}  // namespace

std::uint64_t S3UploadFileInfo::PartThresholdFor(int partNumber, std::uint64_t unit) {
    const int thousands = partNumber <= 0 ? 1 : (partNumber + 999) / 1000;
    return unit * static_cast<std::uint64_t>(thousands);
}

S3UploadFileInfo::S3UploadFileInfo(TransferReporter report, const FileAccessMode::ID& mode,
                                   std::shared_ptr<Aws::S3::S3Client> client,
                                   const std::string& bucket, const std::string& key)
    : S3OpenedFile(mode, std::move(client), bucket, key), report(report) {
    fileInfo.name = Torvik::strings::UTF8toWstr(GetElementName(key));
    fileInfo.attributes = CFileAttributes::NormalFileAttribute;
    fileInfo.creationTimeValid = false;
    fileInfo.accessTimeValid = false;
    fileInfo.timeValid = false;
    fileInfo.sizeValid = true;
}

S3UploadFileInfo::~S3UploadFileInfo() {
    if (state != UploadState::Finished) Finish();
}

std::string S3UploadFileInfo::GetPath() const { return bucket + "/" + key; }

// ---- Transitions: the only places the state changes ----

void S3UploadFileInfo::EnterMultipart(std::string id) {
    state = UploadState::Multipart;
    uploadId = std::move(id);
}

ResultCode S3UploadFileInfo::EnterFailed() {
    state = UploadState::Failed;
    ReplaceBuffer();
    return Failure;
}

S3UploadFileInfo::UploadState S3UploadFileInfo::EnterFinished() {
    const UploadState left = state;
    state = UploadState::Finished;
    return left;
}

// ---- The host's calls ----

ResultCode S3UploadFileInfo::WriteData(const unsigned char*& data, unsigned long length) {
    if (state == UploadState::Failed || state == UploadState::Finished) return Failure;
    if (length > 0 && partNumber >= maxParts) {
        RefuseBeyondLastPart();
        return EnterFailed();
    }
    const std::uint64_t taken = buffer->Append(reinterpret_cast<const char*>(data), length);
    if (taken != length) {
        // Out of memory: the block is not whole in the buffer, so the object never can be.
        report.Tell(L"Out of memory: the data written cannot be kept for upload.", nullptr);
        return EnterFailed();
    }
    fileInfo.size += length;
    if (GetBufferedDataSize() <= PartThresholdFor(partNumber + 1, transferUnit)) return Success;

    if (state == UploadState::Buffering && InitializeMultipartUpload() != Success) {
        return EnterFailed();
    }
    return UploadNextPart() == Success ? Success : EnterFailed();
}

ResultCode S3UploadFileInfo::Finish() {
    if (state == UploadState::Finished) return finishResult;
    // Finished before anything is sent: the close runs once, also when an exception cuts it
    // short, and its result (Failure until known) answers every later call.
    switch (EnterFinished()) {
        case UploadState::Buffering:
            finishResult = PutWholeObject();
            break;
        case UploadState::Multipart:
            finishResult = CompleteMultipart();
            break;
        case UploadState::Failed:
            // Bytes written are gone: storing what is left would replace the object under the
            // key with an incomplete one.
            finishResult = AbortUpload(nullptr);
            break;
        case UploadState::Finished:
            break;
    }
    ReplaceBuffer();
    return finishResult;
}

// ---- Requests ----

ResultCode S3UploadFileInfo::InitializeMultipartUpload() {
    Aws::S3::Model::CreateMultipartUploadRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    // The type the object gets, as a single PutObject gives it; left out, the request's own
    // XML type would be stored with the object.
    request.SetContentType("binary/octet-stream");
    auto outcome = client->CreateMultipartUpload(request);
    if (!outcome.IsSuccess()) {
        report.Tell(L"Cannot initialize multipart upload.", nullptr, &outcome.GetError());
        return Failure;
    }
    if (outcome.GetResult().GetUploadId().empty()) {
        // A part sent without an upload id would be a request on nothing.
        report.Tell(L"Cannot initialize multipart upload.", nullptr);
        return Failure;
    }
    EnterMultipart(outcome.GetResult().GetUploadId());
    return Success;
}

ResultCode S3UploadFileInfo::UploadNextPart() {
    if (partNumber >= maxParts) return RefuseBeyondLastPart();
    ++partNumber;
    bool sent = false;
    {
        Aws::S3::Model::UploadPartRequest request;
        request.SetBucket(bucket);
        request.SetKey(key);
        request.SetPartNumber(partNumber);
        request.SetUploadId(uploadId);
        request.SetBody(stream);
        auto outcome = client->UploadPart(request);
        if (outcome.IsSuccess()) {
            Aws::S3::Model::CompletedPart part;
            part.SetETag(outcome.GetResult().GetETag());
            part.SetPartNumber(partNumber);
            completedParts.push_back(std::move(part));
            sent = true;
        } else {
            report.Tell(L"Cannot upload part.", nullptr, &outcome.GetError());
        }
    }
    // A lost part's bytes are the caller's to drop; a sent part's chunks take the next one.
    if (!sent) return Failure;
    RecycleBuffer();
    return Success;
}

ResultCode S3UploadFileInfo::PutWholeObject() {
    Aws::S3::Model::PutObjectRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    request.SetBody(stream);
    auto outcome = client->PutObject(request);
    if (outcome.IsSuccess()) return Success;
    report.Tell(nullptr, "Error occured during file upload", &outcome.GetError());
    return Failure;
}

ResultCode S3UploadFileInfo::CompleteMultipart() {
    if (GetBufferedDataSize() > 0 && UploadNextPart() != Success) {
        // The last part is lost, and with it the object; its bytes go before the abort.
        ReplaceBuffer();
        report.Tell(nullptr, "Can't upload part");
        return AbortUpload(nullptr);
    }
    return CompleteUpload();
}

ResultCode S3UploadFileInfo::CompleteUpload() {
    Aws::S3::Model::CompletedMultipartUpload parts;
    parts.SetParts(completedParts);
    Aws::S3::Model::CompleteMultipartUploadRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    request.SetUploadId(uploadId);
    request.SetMultipartUpload(std::move(parts));
    // A 200 answer whose body is an <Error> comes back as a failed outcome too.
    auto completion = client->CompleteMultipartUpload(request);
    if (completion.IsSuccess()) return Success;
    // The answer may be lost while the service completed the upload (a retry then finds no
    // such upload): the object itself tells. A completion that timed out may still be under
    // way, the service joining a large object's parts in silence: it is given a minute more,
    // counting the lookups, which the same silence may make time out and be retried.
    if (StoredAsCompleted()) return Success;
    if (completion.GetError().GetErrorType() == Aws::S3::S3Errors::NETWORK_CONNECTION) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (const int seconds : {1, 2, 4, 8, 15, 30}) {
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) break;
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(std::chrono::seconds(seconds), left));
            if (StoredAsCompleted()) return Success;
        }
    }

    return AbortUpload(&completion.GetError());
}

ResultCode S3UploadFileInfo::AbortUpload(const Aws::S3::S3Error* completionError) {
    // Without an upload id there is nothing on the service to abort.
    if (uploadId.empty()) return Failure;
    Aws::S3::Model::AbortMultipartUploadRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    request.SetUploadId(uploadId);
    auto abort = client->AbortMultipartUpload(request);
    if (!abort.IsSuccess()) {
        report.Tell(L"Multipart upload failed and cannot be canceled.",
                    "Multipart Upload failed and can't be canceled", completionError,
                    &abort.GetError());
    } else if (completionError != nullptr) {
        report.Tell(L"Cannot complete the multipart upload.", "Can't complete Multipart Upload",
                    completionError);
    }
    return Failure;
}

ResultCode S3UploadFileInfo::RefuseBeyondLastPart() {
    // Every byte from here on needs a part the service would refuse, and with it the whole
    // upload: the file fails now, before anything more is sent.
    report.Tell(L"The file is too large: an object holds at most 10000 parts.",
                "The file is too large for one object");
    return Failure;
}

bool S3UploadFileInfo::StoredAsCompleted() const {
    const std::string expected = MultipartETag(completedParts);
    if (expected.empty()) return false;
    ObjectPager pager(client, bucket, key, "", 1);
    ObjectPager::Page page;
    if (pager.Next(page) != Success) return false;
    for (const auto& object : page.objects) {
        if (object.GetKey() != key) continue;
        return Unquoted(object.GetETag()) == expected &&
               static_cast<std::uint64_t>(object.GetSize()) == fileInfo.size;
    }
    return false;
}
