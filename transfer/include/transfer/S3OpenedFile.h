// What every opened file of a storage instance holds: the bytes in transit between the host and
// the service, the object they belong to, and the client that carries them.
#pragma once

#include <aws/s3/S3Client.h>

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

#include "torvik/OpenedFile.h"
#include "transfer/ChunkedBuffer.h"

class S3OpenedFile : public OpenedFile {
  public:
    S3OpenedFile(const FileAccessMode::ID& mode, std::shared_ptr<Aws::S3::S3Client> client,
                 const std::string& bucket, const std::string& key);
    ~S3OpenedFile() override;

    // Bytes written into the buffer and not yet taken out of it.
    std::uint64_t GetBufferedDataSize() const;

    const std::string& Bucket() const { return bucket; }
    const std::string& Key() const { return key; }

  protected:
    // Drops the current buffer (and whatever it still holds) for a new empty one that takes
    // at most `limit` bytes.
    void ReplaceBuffer(std::uint64_t limit = ChunkedBuffer::unlimited);
    // Empties the buffer for the next part or range under `limit`, keeping its chunks: a
    // gigabyte passes through the same hundred mebibytes instead of a fresh allocation (and a
    // page fault every 4 KiB) per part. Falls back to ReplaceBuffer() while the S3 client
    // still holds the old stream.
    void RecycleBuffer(std::uint64_t limit = ChunkedBuffer::unlimited);

    std::shared_ptr<ChunkedBuffer> buffer;
    std::shared_ptr<std::iostream> stream;
    std::string bucket;
    std::string key;
    std::shared_ptr<Aws::S3::S3Client> client;
};
