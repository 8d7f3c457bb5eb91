// A file opened for writing: collects the host's blocks and stores them as one object, with a
// single PutObject for a file of at most one transfer unit and a multipart upload beyond.
#pragma once

#include <aws/s3/model/CompletedPart.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/HostInterfaces.h"
#include "transfer/S3OpenedFile.h"

class S3UploadFileInfo : public S3OpenedFile {
  public:
    // A part goes out as soon as more than this many bytes are buffered.
    static constexpr std::uint64_t partThreshold = 104857600;

    // With a log, failures are reported there; without one, only the failures that end the
    // upload are, on standard error.
    S3UploadFileInfo(ILog* log, const FileAccessMode::ID& mode,
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

  private:
    ResultCode InitializeMultipartUpload();
    ResultCode UploadNextPart();
    ResultCode PutWholeObject();
    ResultCode CompleteUpload();
    // Aborts an upload that cannot be completed; Failure in every case.
    ResultCode AbandonUpload();

    ILog* log;
    bool multipartStarted = false;
    std::string uploadId;
    int partNumber = 0;
    std::vector<Aws::S3::Model::CompletedPart> completedParts;
    CFileInfo fileInfo;
    // A request failed and the bytes it carried are gone: the object can no longer be whole.
    bool dataLost = false;
    bool finished = false;
    ResultCode finishResult = Failure;
};
