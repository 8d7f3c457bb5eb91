#include "transfer/S3OpenedFile.h"

#include <utility>

S3OpenedFile::S3OpenedFile(const FileAccessMode::ID& mode,
                           std::shared_ptr<Aws::S3::S3Client> client, const std::string& bucket,
                           const std::string& key)
    : OpenedFile(mode), bucket(bucket), key(key), client(std::move(client)) {
    ReplaceBuffer();
}

S3OpenedFile::~S3OpenedFile() = default;

std::uint64_t S3OpenedFile::GetBufferedDataSize() const { return buffer->Unread(); }

void S3OpenedFile::ReplaceBuffer(std::uint64_t limit) {
    // Let go of the old pair before the new one can start to fill.
    stream.reset();
    buffer.reset();
    buffer = std::make_shared<ChunkedBuffer>(limit);
    stream = std::make_shared<ChunkedStream>(buffer);
}

void S3OpenedFile::RecycleBuffer(std::uint64_t limit) {
    if (buffer.use_count() != 2 || stream.use_count() != 1) {
        ReplaceBuffer(limit);
        return;
    }
    buffer->Reset(limit);
    stream->clear();
}
