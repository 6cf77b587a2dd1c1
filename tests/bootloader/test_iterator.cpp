#include "fw_update/buffer/iterator.h"
#include "fw_update/log.h"

#include "bootloader/bootloader_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using fwu::Buffer;
using fwu::Iterator;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class IteratorTest : public fwtest::ScratchLogTest {
protected:
    // (offset, length) of every chunk read until the end.
    static std::vector<std::pair<std::uint32_t, std::uint32_t>> chunks(Iterator& it,
                                                                       std::uint32_t max = 1024) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> result;
        std::vector<std::uint8_t> data(max);
        std::uint32_t offset = 0;
        while (std::uint32_t n = it.read(data.data(), max, offset))
            result.emplace_back(offset, n);
        return result;
    }
};

using Chunk = std::pair<std::uint32_t, std::uint32_t>;

TEST_F(IteratorTest, ChunksStopAtPageBoundaries) {
    Buffer b(0x900, 0xFF, log);
    Iterator it(b);
    it.set_step(32);
    it.set_begin(0x7F8);
    it.set_end(0x860);
    EXPECT_EQ(it.chunk_length(), 8u);
    EXPECT_THAT(chunks(it),
                ElementsAre(Chunk{0x7F8, 8}, Chunk{0x800, 32}, Chunk{0x820, 32}, Chunk{0x840, 32}));
    EXPECT_EQ(it.chunk_length(), 0u);
    EXPECT_EQ(it.progress(), 100u);

    it.set_begin(0x7F8);
    it.set_end(0x80A);
    EXPECT_THAT(chunks(it, 5),
                ElementsAre(Chunk{0x7F8, 5}, Chunk{0x7FD, 3}, Chunk{0x800, 5}, Chunk{0x805, 5}));

    Buffer small(8, 0, log);
    Iterator one(small);
    one.set_step(8);
    EXPECT_THAT(chunks(one), ElementsAre(Chunk{0, 8}));
    EXPECT_EQ(dir.read("log.txt"), "");
}

TEST_F(IteratorTest, WriteStoresAndAdvances) {
    Buffer b(16, 0xFF, log);
    Iterator it(b);
    it.set_begin(4);
    it.set_end(12);
    const std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5, 6, 7, 8};
    it.write(bytes.data(), 4);
    EXPECT_EQ(it.address(), 8u);
    EXPECT_EQ(it.progress(), 50u);
    // 4 bytes before the end
    EXPECT_EQ(fwtest::error_of<std::out_of_range>([&] { it.write(bytes.data(), 8); }), "Buffer is full.");
    EXPECT_EQ(it.address(), 8u);
    EXPECT_EQ(b.data()[8], 0xFF);
    it.write(bytes.data() + 4, 4);
    EXPECT_EQ(it.address(), 12u);
    EXPECT_EQ(b.data()[4], 1);
    EXPECT_EQ(b.data()[11], 8);
    EXPECT_EQ(b.data()[12], 0xFF);
}

TEST_F(IteratorTest, WindowLimits) {
    Buffer b(64, 0, log);
    Iterator it(b);
    EXPECT_NO_THROW(it.set_begin(64)); // an empty window at the end
    EXPECT_NO_THROW(it.set_end(64));
    EXPECT_EQ(fwtest::error_of<std::out_of_range>([&] { it.set_begin(65); }),
              "Begin address exceeds buffer size.");
    EXPECT_EQ(fwtest::error_of<std::out_of_range>([&] { it.set_end(65); }),
              "End address exceeds buffer size.");
    EXPECT_EQ(it.begin(), 64u);
}

TEST_F(IteratorTest, ProgressFigures) {
    Buffer b(64, 0, log);
    Iterator it(b);
    std::vector<std::uint8_t> data(64);
    std::uint32_t offset = 0;
    EXPECT_EQ(it.progress(), 0u);
    it.read(data.data(), 21, offset);
    EXPECT_EQ(it.progress(), 32u);
    it.read(data.data(), 11, offset);
    EXPECT_EQ(it.progress(), 50u);

    // A large window: the figure must not overflow.
    Buffer big(0x04000000, 0, log);
    Iterator far(big);
    const std::vector<std::uint8_t> chunk(0x03000000, 1);
    far.write(chunk.data(), static_cast<std::uint32_t>(chunk.size()));
    EXPECT_EQ(far.progress(), 75u);
    EXPECT_EQ(dir.read("log.txt"), "");
}

TEST_F(IteratorTest, EmptyOrBrokenWindowsAreLoggedAndEndAtOnce) {
    Buffer b(32, 0, log);
    Iterator it(b);
    it.set_begin(16);
    it.set_end(16);
    std::uint8_t byte = 0;
    std::uint32_t offset = 0;
    EXPECT_EQ(it.read(&byte, 1, offset), 0u);
    EXPECT_EQ(it.progress(), 100u);
    EXPECT_THAT(dir.read("log.txt"), HasSubstr("!!! Err: begin = 16, end = 16  File: "));

    it.set_begin(8);
    it.set_end(4); // the position now lies past the end
    EXPECT_EQ(it.read(&byte, 1, offset), 0u);
    EXPECT_EQ(it.address(), 8u);
    EXPECT_THAT(dir.read("log.txt"), HasSubstr("!!! Err: Assertion: _address <= _end  File: "
                                               "bootloader/fw_update/buffer/iterator.cpp, Line: "));
}

} // namespace
