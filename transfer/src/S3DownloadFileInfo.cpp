#include "transfer/S3DownloadFileInfo.h"

#include <aws/s3/model/GetObjectRequest.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

// Room for an error document in the buffer of a short range: the S3 client writes error
// bodies into the same stream as data, and a cut-off error document loses its code.
constexpr std::uint64_t errorBodyRoom = 16 * 1024;

// Reads the decimal number at the front of `text`, digits only; false if there is none or
// it does not fit.
bool ReadNumber(const std::string& text, std::size_t& at, std::uint64_t& value) {
    const std::size_t begin = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        const std::uint64_t digit = static_cast<std::uint64_t>(text[at] - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
        ++at;
    }
    return at > begin;
}

}  // namespace

S3DownloadFileInfo::S3DownloadFileInfo(TransferReporter report, const FileAccessMode::ID& mode,
                                       std::shared_ptr<Aws::S3::S3Client> client,
                                       const std::string& bucket, const std::string& key,
                                       std::uint64_t size)
    : S3OpenedFile(mode, std::move(client), bucket, key), report(report), size(size) {}

S3DownloadFileInfo::~S3DownloadFileInfo() = default;

ResultCode S3DownloadFileInfo::ReadData(unsigned char*& destination, unsigned long& length) {
    std::uint64_t buffered = GetBufferedDataSize();
    if (buffered == 0 && position < size) {
        if (DownloadNextPart() != Success) return Failure;
        buffered = GetBufferedDataSize();
    }
    const std::uint64_t delivered = std::min<std::uint64_t>(buffered, length);
    if (delivered > 0) {
        buffer->sgetn(reinterpret_cast<char*>(destination),
                      static_cast<std::streamsize>(delivered));
        // The last range read to its end is of no further use: free it now rather than at
        // close, so that a handle read to the end holds nothing. Earlier ranges keep their
        // chunks for the next one.
        if (GetBufferedDataSize() == 0 && position >= size) ReplaceBuffer();
    }
    length = static_cast<unsigned long>(delivered);
    return Success;
}

ResultCode S3DownloadFileInfo::DownloadNextPart() {
    const std::uint64_t last = std::min(size, position + rangeSpan);
    // The range may name one byte past the object's end; the answer stops at the end.
    const std::uint64_t expected = std::min(last, size - 1) - position + 1;
    const std::string range = "bytes=" + std::to_string(position) + "-" + std::to_string(last);

    RecycleBuffer(std::max(expected, errorBodyRoom));
    std::shared_ptr<ChunkedBuffer> target = buffer;

    Aws::S3::Model::GetObjectRequest request;
    request.SetBucket(bucket);
    request.SetKey(key);
    request.SetRange(range);
    // The body goes straight into the part's buffer. Every attempt starts it afresh; a body
    // longer than the range is refused at its first excess byte, which ends the transfer.
    request.SetResponseStreamFactory([target]() -> Aws::IOStream* {
        target->Clear();
        return new ChunkedStream(target);
    });

    auto outcome = client->GetObject(request);
    if (!outcome.IsSuccess()) {
        report.Tell(L"Cannot download part", nullptr, &outcome.GetError());
        ReplaceBuffer();
        return Failure;
    }
    const std::string contentRange = outcome.GetResult().GetContentRange();
    if (!IsWholeRange(expected, contentRange)) {
        report.Tell(L"Cannot download part", nullptr);
        ReplaceBuffer();
        return Failure;
    }
    // Whatever the client did with the body stream, the host reads the part from its start.
    buffer->pubseekpos(0, std::ios_base::in);
    position = last + 1;
    return Success;
}

bool S3DownloadFileInfo::IsWholeRange(std::uint64_t expected,
                                      const std::string& contentRange) const {
    if (buffer->Overrun() || buffer->Size() != expected) return false;
    // A server that ignored the range and sent an object of the expected length sends no
    // Content-Range; one that honoured it names the range and the object's total size.
    if (contentRange.empty()) return true;
    const std::string unit = "bytes ";
    if (contentRange.compare(0, unit.size(), unit) != 0) return false;
    std::size_t at = unit.size();
    std::uint64_t first = 0;
    std::uint64_t lastByte = 0;
    std::uint64_t total = 0;
    if (!ReadNumber(contentRange, at, first)) return false;
    if (at >= contentRange.size() || contentRange[at++] != '-') return false;
    if (!ReadNumber(contentRange, at, lastByte)) return false;
    if (at >= contentRange.size() || contentRange[at++] != '/') return false;
    if (!ReadNumber(contentRange, at, total) || at != contentRange.size()) return false;
    return first == position && lastByte == position + expected - 1 && total == size;
}
