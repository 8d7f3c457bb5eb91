// The part buffer is refilled part after part without freeing its chunks: what a reader sees
// after a reset must be the new bytes alone, at the new limit.
#include "transfer/ChunkedBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Pattern(char first, std::size_t length) {
    std::string data(length, '\0');
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<char>(first + i % 251);
    return data;
}

std::string ReadAll(ChunkedBuffer& buffer) {
    buffer.pubseekpos(0, std::ios_base::in);
    std::string out(static_cast<std::size_t>(buffer.Size()), '\0');
    const std::streamsize got = buffer.sgetn(&out[0], static_cast<std::streamsize>(out.size()));
    out.resize(static_cast<std::size_t>(got));
    return out;
}

TEST(ChunkedBuffer, RefilledPartsReadBackAsTheirOwnBytesOnly) {
    ChunkedBuffer buffer;
    const std::string first = Pattern('a', 3 * ChunkedBuffer::chunkSize + 100);
    ASSERT_EQ(buffer.Append(first.data(), first.size()), first.size());
    EXPECT_EQ(ReadAll(buffer), first);

    // Shorter, ending inside the second chunk: nothing of the first part may show through.
    buffer.Reset(ChunkedBuffer::unlimited);
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(buffer.ReadPosition(), 0u);
    const std::string second = Pattern('k', ChunkedBuffer::chunkSize + 17);
    ASSERT_EQ(buffer.Append(second.data(), second.size()), second.size());
    EXPECT_EQ(ReadAll(buffer), second);
    EXPECT_EQ(buffer.pubseekoff(0, std::ios_base::end, std::ios_base::in),
              std::streampos(static_cast<std::streamoff>(second.size())));

    // Longer than both: the kept chunks are reused and new ones follow.
    buffer.Clear();
    const std::string third = Pattern('x', 4 * ChunkedBuffer::chunkSize + 5);
    ASSERT_EQ(buffer.Append(third.data(), third.size()), third.size());
    EXPECT_EQ(ReadAll(buffer), third);
}

TEST(ChunkedBuffer, ResetTakesTheNewLimitAndForgetsAnOverrun) {
    ChunkedBuffer buffer(10);
    const std::string data = Pattern('a', 2 * ChunkedBuffer::chunkSize);
    EXPECT_EQ(buffer.Append(data.data(), 20), 10u);
    buffer.sputc('z');
    EXPECT_TRUE(buffer.Overrun());

    buffer.Reset(ChunkedBuffer::chunkSize + 1);
    EXPECT_FALSE(buffer.Overrun());
    EXPECT_EQ(buffer.Append(data.data(), data.size()), ChunkedBuffer::chunkSize + 1);
    EXPECT_EQ(ReadAll(buffer), data.substr(0, ChunkedBuffer::chunkSize + 1));

    buffer.Reset(5);
    EXPECT_EQ(buffer.Append(data.data() + 7, 9), 5u);
    EXPECT_EQ(ReadAll(buffer), data.substr(7, 5));
}

}  // namespace
