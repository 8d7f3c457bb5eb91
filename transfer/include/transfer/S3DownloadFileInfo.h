// A file opened for reading: serves the host's reads from one byte range of the object at a
// time, fetched with a ranged GetObject when the buffer runs empty.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/HostInterfaces.h"
#include "transfer/S3OpenedFile.h"
#include "transfer/TransferReporter.h"

class S3DownloadFileInfo : public S3OpenedFile {
  public:
    // A range runs from its first byte to that byte plus this span, both included.
    static constexpr std::uint64_t rangeSpan = 104857600;

    // `size` is the object's size as the listing cache knew it at open; the ranges are computed
    // from it alone. Failed fetches are told to `report`'s log only; on standard error, never.
    S3DownloadFileInfo(TransferReporter report, const FileAccessMode::ID& mode,
                       std::shared_ptr<Aws::S3::S3Client> client, const std::string& bucket,
                       const std::string& key, std::uint64_t size);
    ~S3DownloadFileInfo() override;

    // Copies at most `length` bytes of the current range to `destination`, fetching the next
    // range first when the buffer is empty, and sets `length` to the count copied. Failure
    // (nothing copied, `length` as it was) when that fetch failed.
    ResultCode ReadData(unsigned char*& destination, unsigned long& length);

    std::uint64_t Position() const { return position; }
    // Every byte of the object has been delivered.
    bool AtEnd() const { return position >= size && GetBufferedDataSize() == 0; }

  private:
    ResultCode DownloadNextPart();
    // Whether the answer to the range [position, last] of an object of `size` bytes was that
    // range and nothing else.
    bool IsWholeRange(std::uint64_t expected, const std::string& contentRange) const;

    TransferReporter report;
    std::uint64_t size;
    std::uint64_t position = 0;
};
