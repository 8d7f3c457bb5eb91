#include "transfer/S3UploadFileInfo.h"

#include <aws/s3/model/AbortMultipartUploadRequest.h>
#include <aws/s3/model/CompleteMultipartUploadRequest.h>
#include <aws/s3/model/CompletedMultipartUpload.h>
#include <aws/s3/model/CreateMultipartUploadRequest.h>
#include <aws/s3/model/PutObjectRequest.h>
#include <aws/s3/model/UploadPartRequest.h>

#include <utility>

#include "TransferReport.h"
#include "namespace/PathMapping.h"
#include "torvik/Strings.h"

S3UploadFileInfo::S3UploadFileInfo(ILog* log, const FileAccessMode::ID& mode,
                                   std::shared_ptr<Aws::S3::S3Client> client,
                                   const std::string& bucket, const std::string& key)
    : S3OpenedFile(mode, std::move(client), bucket, key), log(log) {
    fileInfo.name = Torvik::strings::UTF8toWstr(GetElementName(key));
    fileInfo.attributes = CFileAttributes::NormalFileAttribute;
    fileInfo.creationTimeValid = false;
    fileInfo.accessTimeValid = false;
    fileInfo.timeValid = false;
    fileInfo.sizeValid = true;
}

S3UploadFileInfo::~S3UploadFileInfo() {
    if (!finished) Finish();
}

std::string S3UploadFileInfo::GetPath() const { return bucket + "/" + key; }

ResultCode S3UploadFileInfo::WriteData(const unsigned char*& data, unsigned long length) {
    if (dataLost || finished) return Failure;
    const std::uint64_t taken = buffer->Append(reinterpret_cast<const char*>(data), length);
    if (taken != length) {
        // Out of memory: the block is not whole in the buffer, so the object never can be.
        dataLost = true;
        ReplaceBuffer();
        return Failure;
    }
    fileInfo.size += length;
    if (GetBufferedDataSize() <= partThreshold) return Success;

    if (!multipartStarted && InitializeMultipartUpload() != Success) {
        dataLost = true;
        ReplaceBuffer();
        return Failure;
    }
    return UploadNextPart();
}

ResultCode S3UploadFileInfo::InitializeMultipartUpload() {
    multipartStarted = true;
    Aws::S3::Model::CreateMultipartUploadRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    auto outcome = client->CreateMultipartUpload(request);
    if (!outcome.IsSuccess()) {
        transfer_report::ToLog(log, L"Cannot initialize multipart upload.", &outcome.GetError());
        return Failure;
    }
    uploadId = outcome.GetResult().GetUploadId();
    if (uploadId.empty()) {
        // A part sent without an upload id would be a request on nothing.
        transfer_report::ToLog(log, L"Cannot initialize multipart upload.");
        return Failure;
    }
    return Success;
}

ResultCode S3UploadFileInfo::UploadNextPart() {
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
            transfer_report::ToLog(log, L"Cannot upload part.", &outcome.GetError());
        }
    }
    // Sent or lost, the part's bytes are done with; the next part refills the same chunks.
    if (!sent) {
        ReplaceBuffer();
        dataLost = true;
        return Failure;
    }
    RecycleBuffer();
    return Success;
}

ResultCode S3UploadFileInfo::Finish() {
    if (finished) return finishResult;
    finished = true;
    if (!multipartStarted) {
        finishResult = PutWholeObject();
    } else if (dataLost) {
        finishResult = AbandonUpload();
    } else if (GetBufferedDataSize() > 0 && UploadNextPart() != Success) {
        if (log == nullptr) transfer_report::ToStandardError("Can't upload part");
        finishResult = AbandonUpload();
    } else {
        finishResult = CompleteUpload();
    }
    ReplaceBuffer();
    return finishResult;
}

ResultCode S3UploadFileInfo::PutWholeObject() {
    Aws::S3::Model::PutObjectRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    request.SetBody(stream);
    auto outcome = client->PutObject(request);
    if (outcome.IsSuccess()) return Success;
    if (log != nullptr) {
        transfer_report::ToLog(log, nullptr, &outcome.GetError());
    } else {
        transfer_report::ToStandardError("Error occured during file upload");
    }
    return Failure;
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

    Aws::S3::Model::AbortMultipartUploadRequest abortRequest;
    abortRequest.SetBucket(bucket);
    abortRequest.SetKey(key);
    abortRequest.SetUploadId(uploadId);
    auto abort = client->AbortMultipartUpload(abortRequest);
    if (abort.IsSuccess()) {
        if (log != nullptr) {
            transfer_report::ToLog(log, L"Cannot complete the multipart upload.",
                                   &completion.GetError());
        } else {
            transfer_report::ToStandardError("Can't complete Multipart Upload");
        }
    } else if (log != nullptr) {
        transfer_report::ToLog(log, L"Multipart upload failed and cannot be canceled.",
                               &completion.GetError(), &abort.GetError());
    } else {
        transfer_report::ToStandardError("Multipart Upload failed and can't be canceled");
    }
    return Failure;
}

ResultCode S3UploadFileInfo::AbandonUpload() {
    // Without an upload id there is nothing on the service to abort.
    if (uploadId.empty()) return Failure;
    Aws::S3::Model::AbortMultipartUploadRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    request.SetUploadId(uploadId);
    auto abort = client->AbortMultipartUpload(request);
    if (abort.IsSuccess()) return Failure;
    if (log != nullptr) {
        transfer_report::ToLog(log, L"Multipart upload failed and cannot be canceled.",
                               &abort.GetError());
    } else {
        transfer_report::ToStandardError("Multipart Upload failed and can't be canceled");
    }
    return Failure;
}
