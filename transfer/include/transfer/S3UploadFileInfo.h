// A file opened for writing: collects the host's blocks and stores them as one object, with a
// single PutObject for a file of at most one transfer unit and a multipart upload beyond.
#pragma once

#include <aws/s3/model/CompletedPart.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/HostInterfaces.h"
#include "transfer/S3OpenedFile.h"
#include "transfer/TransferReporter.h"

class S3UploadFileInfo : public S3OpenedFile {
  public:
    // The transfer unit: a part goes out as soon as more than this many bytes are buffered,
    // for the first thousand parts.
    static constexpr std::uint64_t partThreshold = 104857600;
    // The most parts one object can have.
    static constexpr int maxParts = 10000;

    // The threshold in force while part `partNumber` (1-based) is collected: one unit for parts
    // 1 to 1,000, two units for parts 1,001 to 2,000, and so on up to ten units for the last
    // thousand. Every file of up to about 97.7 GiB is sent in parts of one unit; 10,000 parts
    // hold 5,500,000 MiB, more than the 5 TiB an object can have, and no part exceeds ten
    // units (1000 MiB), well below the 5 GiB a part may have.
    static std::uint64_t PartThresholdFor(int partNumber, std::uint64_t unit = partThreshold);

    // Failures are told to `report`: to a log every one, on standard error only those that end
    // the upload.
    S3UploadFileInfo(TransferReporter report, const FileAccessMode::ID& mode,
                     std::shared_ptr<Aws::S3::S3Client> client, const std::string& bucket,
                     const std::string& key);
    // Finishes the upload if Finish() was never called (the instance went away with the file
    // still open).
    ~S3UploadFileInfo() override;

    // Takes all `length` bytes, and sends a part when the buffer passes the threshold. After
    // any request of the upload has failed, nothing more is taken and the answer is Failure.
    ResultCode WriteData(const unsigned char*& data, unsigned long length);

    // Sends what is left and ends the upload: one PutObject, or the last part and the
    // completion (the multipart upload is aborted when it cannot be completed or has lost a
    // part). Success only when the object now holds every byte written. Runs once; later
    // calls return the first result.
    ResultCode Finish();

    // The file's storage path: bucket, '/', key.
    std::string GetPath() const;
    // The listing record of the file: its name, the bytes written, a normal file.
    CFileInfo GetFileInfo() const { return fileInfo; }

  protected:
    // The numbering and the unit of the schedule; a test that must not send a terabyte starts
    // the numbering near the limit with a small unit.
    int partNumber = 0;
    std::uint64_t transferUnit = partThreshold;

  private:
    // Where the upload stands. The state changes only in the transitions below:
    //
    //   Buffering -> Multipart   EnterMultipart: the buffer passed the first part's threshold
    //                            and the service gave the upload an id
    //   Buffering, Multipart -> Failed
    //                            EnterFailed: bytes written are lost (a request failed, memory
    //                            ran out, or no part is left for them)
    //   any other -> Finished    EnterFinished: the close (Finish) began
    //
    // Finish then does what the state it left calls for: one PutObject from Buffering; the
    // last part and the completion from Multipart; from Failed, the abort of the multipart
    // upload if one was started. An upload that cannot be completed is aborted the same way.
    enum class UploadState {
        Buffering,  // every byte written is in the buffer, no upload started
        Multipart,  // parts go out as the buffer fills, under uploadId
        Failed,     // the object can no longer be whole: writes fail, the close aborts
        Finished,   // closed: writes fail, finishResult answers every later close
    };

    void EnterMultipart(std::string id);
    // Drops the buffer with the bytes lost; Failure, for the call that lost them to return.
    ResultCode EnterFailed();
    // Returns the state the upload was in.
    UploadState EnterFinished();

    ResultCode InitializeMultipartUpload();
    // Sends the buffer as the next part. A lost part's bytes stay for the caller to drop.
    ResultCode UploadNextPart();
    ResultCode PutWholeObject();
    // The close of a multipart upload: the last part if bytes are left, then the completion.
    ResultCode CompleteMultipart();
    ResultCode CompleteUpload();
    // Aborts the multipart upload, if the service has one, and reports what needs telling: a
    // refused abort always, and after `completionError` (null when bytes were lost instead) a
    // completed abort too. Failure in every case.
    ResultCode AbortUpload(const Aws::S3::S3Error* completionError);
    // Reports that all parts an object can have are used; Failure.
    ResultCode RefuseBeyondLastPart();
    // Whether the key now holds the object this upload would have completed: the multipart
    // ETag its parts give, and every byte written. For a completion whose answer was lost.
    bool StoredAsCompleted() const;

    TransferReporter report;
    UploadState state = UploadState::Buffering;
    // The service's id of the multipart upload: set on entering Multipart and kept from there
    // on for the completion or the abort; empty while the service holds no upload.
    std::string uploadId;
    std::vector<Aws::S3::Model::CompletedPart> completedParts;
    CFileInfo fileInfo;
    ResultCode finishResult = Failure;
};
