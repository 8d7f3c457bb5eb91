// The byte store of an opened file: a stream buffer over fixed-size chunks. Appending never
// moves bytes already stored (a growing std::stringbuf doubles and copies, which for a part of
// more than 100 MiB would briefly hold it twice), and the read side can be repositioned
// anywhere from offset 0 to the end, which is what the S3 client needs of a request body: it
// measures the body by seeking to its end, and hashes and re-sends it from offset 0.
#pragma once

#include <cstdint>
#include <iostream>
#include <limits>
#include <memory>
#include <streambuf>
#include <utility>
#include <vector>

// The memory of one chunk. Past the first chunk it is mapped on its own and aligned to its size,
// so that the kernel can back it with one huge page instead of 512 small ones. Filling a fresh part
// page by page cost a fault per 4 KiB, which on a virtual machine made the first part of an upload
// cost more CPU than the encryption of a whole gigabyte.
class ChunkMemory {
  public:
    ChunkMemory() = default;
    // `size` bytes; huge: mapped on their own, aligned to `size` and backed by huge pages where
    // the kernel has them; otherwise from the heap. Holds nothing when memory runs out.
    ChunkMemory(std::size_t size, bool huge);
    ~ChunkMemory();
    ChunkMemory(ChunkMemory&& other) noexcept;
    ChunkMemory& operator=(ChunkMemory&& other) noexcept;

    char* Data() const { return data; }

  private:
    void Release();

    char* data = nullptr;
    std::size_t size = 0;
    bool mapped = false;
};

class ChunkedBuffer : public std::streambuf {
  public:
    // One huge page on x86-64.
    static constexpr std::size_t chunkSize = std::size_t{2} << 20;
    static constexpr std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();

    // `limit` caps the bytes the buffer takes; a write beyond it is refused (the stream
    // writing into it fails) and remembered, see Overrun().
    explicit ChunkedBuffer(std::uint64_t limit = unlimited);

    ChunkedBuffer(const ChunkedBuffer&) = delete;
    ChunkedBuffer& operator=(const ChunkedBuffer&) = delete;

    // Bytes written so far.
    std::uint64_t Size() const;
    // Offset of the next byte to be read.
    std::uint64_t ReadPosition() const;
    // Bytes written and not yet read.
    std::uint64_t Unread() const { return Size() - ReadPosition(); }
    // True once a write has been refused because it would have passed the limit.
    bool Overrun() const { return overrun; }

    // Appends `count` bytes; returns how many were taken (fewer only at the limit or when
    // memory runs out).
    std::uint64_t Append(const char* data, std::uint64_t count);

    // Forgets every byte; the limit stays. The chunks stay allocated and are filled again by
    // the next bytes: their pages are already mapped, so refilling them costs no page faults.
    void Clear();

    // Clear() under a new limit; chunks the new limit can never fill are freed.
    void Reset(std::uint64_t newLimit);

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int_type underflow() override;
    std::streamsize showmanyc() override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                     std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

  private:
    // Starts a new chunk for the put area; false at the limit or when memory runs out.
    bool StartChunk();
    // Points the get area at the chunk holding `position` (at most Size()).
    void SetReadPosition(std::uint64_t position);

    std::uint64_t limit;
    bool overrun = false;
    std::vector<ChunkMemory> chunks;  // the first `used` hold data
    std::size_t used = 0;
    std::uint64_t putBase = 0;  // offset of pbase() in the data
    std::uint64_t getBase = 0;  // offset of eback() in the data, or the read position if none
};

// A read/write stream over a ChunkedBuffer that keeps the buffer alive for as long as the
// stream itself: the S3 client may hold a request body, or own a response stream, for longer
// than the opened file keeps the buffer.
class ChunkedStream : public std::iostream {
  public:
    explicit ChunkedStream(std::shared_ptr<ChunkedBuffer> buffer)
        : std::iostream(buffer.get()), buffer(std::move(buffer)) {}

  private:
    std::shared_ptr<ChunkedBuffer> buffer;
};
