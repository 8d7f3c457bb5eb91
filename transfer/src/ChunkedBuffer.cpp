#include "transfer/ChunkedBuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

ChunkMemory::ChunkMemory(std::size_t size, bool huge) {
    if (!huge) {
        // From the heap, which hands the same memory to the next opened file: a small file
        // then touches no fresh page at all.
        data = new (std::nothrow) char[size];
        if (data != nullptr) this->size = size;
        return;
    }
    // Twice the size, then the unaligned ends given back: mmap aligns to pages only.
    void* region =
        mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) return;
    char* const start = static_cast<char*>(region);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(start);
    char* const aligned = start + (size - address % size) % size;
    if (aligned > start) munmap(start, static_cast<std::size_t>(aligned - start));
    char* const end = start + 2 * size;
    if (aligned + size < end)
        munmap(aligned + size, static_cast<std::size_t>(end - aligned - size));
    // Advice only: without huge pages the chunk is filled a small page at a time.
    madvise(aligned, size, MADV_HUGEPAGE);
    data = aligned;
    this->size = size;
    mapped = true;
}

ChunkMemory::~ChunkMemory() { Release(); }

ChunkMemory::ChunkMemory(ChunkMemory&& other) noexcept
    : data(std::exchange(other.data, nullptr)),
      size(std::exchange(other.size, 0)),
      mapped(std::exchange(other.mapped, false)) {}

ChunkMemory& ChunkMemory::operator=(ChunkMemory&& other) noexcept {
    if (this != &other) {
        Release();
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
        mapped = std::exchange(other.mapped, false);
    }
    return *this;
}

void ChunkMemory::Release() {
    if (data == nullptr) return;
    if (mapped) {
        munmap(data, size);
    } else {
        delete[] data;
    }
    data = nullptr;
}

ChunkedBuffer::ChunkedBuffer(std::uint64_t limit) : limit(limit) {}

std::uint64_t ChunkedBuffer::Size() const {
    return putBase + static_cast<std::uint64_t>(pptr() - pbase());
}

std::uint64_t ChunkedBuffer::ReadPosition() const {
    if (eback() == nullptr) return getBase;
    return getBase + static_cast<std::uint64_t>(gptr() - eback());
}

std::uint64_t ChunkedBuffer::Append(const char* data, std::uint64_t count) {
    std::uint64_t taken = 0;
    while (taken < count) {
        if (pptr() == epptr() && !StartChunk()) break;
        const std::uint64_t room = static_cast<std::uint64_t>(epptr() - pptr());
        const std::uint64_t step = std::min(room, count - taken);
        std::memcpy(pptr(), data + taken, step);
        pbump(static_cast<int>(step));  // at most one chunk
        taken += step;
    }
    return taken;
}

void ChunkedBuffer::Clear() {
    setp(nullptr, nullptr);
    setg(nullptr, nullptr, nullptr);
    used = 0;
    putBase = 0;
    getBase = 0;
    overrun = false;
}

void ChunkedBuffer::Reset(std::uint64_t newLimit) {
    Clear();
    limit = newLimit;
    const std::uint64_t needed = limit / chunkSize + (limit % chunkSize != 0 ? 1 : 0);
    if (needed < chunks.size()) chunks.resize(static_cast<std::size_t>(needed));
}

bool ChunkedBuffer::StartChunk() {
    const std::uint64_t size = Size();
    if (size >= limit) {
        overrun = true;
        return false;
    }
    if (used == chunks.size()) {
        // Pages are only touched as bytes arrive. The first chunk keeps small pages, so that
        // a small file costs only the pages it fills; a buffer that grows past it is a part
        // or a range, which fills whole chunks.
        ChunkMemory chunk(chunkSize, !chunks.empty());
        if (chunk.Data() == nullptr) return false;
        chunks.push_back(std::move(chunk));
    }
    char* begin = chunks[used++].Data();
    const std::uint64_t length = std::min<std::uint64_t>(chunkSize, limit - size);
    putBase = size;
    setp(begin, begin + length);
    return true;
}

void ChunkedBuffer::SetReadPosition(std::uint64_t position) {
    const std::uint64_t size = Size();
    if (position >= size) {
        setg(nullptr, nullptr, nullptr);
        getBase = position;
        return;
    }
    const std::size_t index = static_cast<std::size_t>(position / chunkSize);
    const std::uint64_t chunkStart = static_cast<std::uint64_t>(index) * chunkSize;
    const std::uint64_t available = std::min<std::uint64_t>(size - chunkStart, chunkSize);
    char* begin = chunks[index].Data();
    setg(begin, begin + (position - chunkStart), begin + available);
    getBase = chunkStart;
}

ChunkedBuffer::int_type ChunkedBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (pptr() == epptr() && !StartChunk()) return traits_type::eof();
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize ChunkedBuffer::xsputn(const char* data, std::streamsize count) {
    if (count <= 0) return 0;
    return static_cast<std::streamsize>(Append(data, static_cast<std::uint64_t>(count)));
}

ChunkedBuffer::int_type ChunkedBuffer::underflow() {
    // The get area may end short of bytes written after it was set up: look again.
    SetReadPosition(ReadPosition());
    if (gptr() == egptr()) return traits_type::eof();
    return traits_type::to_int_type(*gptr());
}

std::streamsize ChunkedBuffer::showmanyc() {
    const std::uint64_t unread = Unread();
    return unread == 0 ? -1 : static_cast<std::streamsize>(unread);
}

ChunkedBuffer::pos_type ChunkedBuffer::seekoff(off_type offset, std::ios_base::seekdir direction,
                                               std::ios_base::openmode which) {
    const pos_type failed(off_type(-1));
    const bool in = (which & std::ios_base::in) != 0;
    const bool out = (which & std::ios_base::out) != 0;
    if (!in && !out) return failed;
    if (in && out && direction == std::ios_base::cur) return failed;

    const std::uint64_t size = Size();
    std::uint64_t base = size;
    if (direction == std::ios_base::beg) {
        base = 0;
    } else if (direction == std::ios_base::cur && in) {
        base = ReadPosition();
    }
    if (offset < 0 && static_cast<std::uint64_t>(-offset) > base) return failed;
    const std::uint64_t target = base + static_cast<std::uint64_t>(offset);
    if (target > size) return failed;
    // Data only ever goes in at the end: the put position can be asked for, not moved.
    if (out && target != size) return failed;
    if (in) SetReadPosition(target);
    return pos_type(static_cast<off_type>(target));
}

ChunkedBuffer::pos_type ChunkedBuffer::seekpos(pos_type position, std::ios_base::openmode which) {
    return seekoff(off_type(position), std::ios_base::beg, which);
}
