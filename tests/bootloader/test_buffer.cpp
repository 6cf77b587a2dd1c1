#include "fw_update/buffer/buffer.h"
#include "fw_update/log.h"

#include "bootloader/bootloader_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <stdexcept>

using fwu::Buffer;

namespace {

using BufferTest = fwtest::ScratchLogTest;

TEST_F(BufferTest, ReadClampsAtTheEnd) {
    Buffer b(8, 0xFF, log);
    const std::array<std::uint8_t, 3> bytes{1, 2, 3};
    b.write(bytes.data(), 3, 4);

    std::array<std::uint8_t, 8> out{};
    EXPECT_EQ(b.read(out.data(), 8, 2), 6u);
    EXPECT_EQ(out, (std::array<std::uint8_t, 8>{0xFF, 0xFF, 1, 2, 3, 0xFF, 0, 0}));
    EXPECT_EQ(b.read(out.data(), 0xFFFFFFFF, 7), 1u);
    EXPECT_EQ(dir.read("log.txt"), "");

    EXPECT_EQ(b.read(out.data(), 4, 8), 0u);
    EXPECT_NE(dir.read("log.txt").find("!!! Err: Assertion: addr < _size  File: "), std::string::npos);
}

TEST_F(BufferTest, WritePastTheEndStoresNothing) {
    Buffer b(8, 0x00, log);
    const std::array<std::uint8_t, 4> bytes{1, 2, 3, 4};
    EXPECT_EQ(fwtest::error_of<std::out_of_range>([&] { b.write(bytes.data(), 4, 5); }), "Buffer is full.");
    EXPECT_THROW(b.write(bytes.data(), 2, 0xFFFFFFFF), std::out_of_range); // no wrap-around
    EXPECT_EQ(std::count(b.data(), b.data() + b.size(), 0), 8);
    EXPECT_NE(dir.read("log.txt").find("Assertion: addr + buf_size <= _size"), std::string::npos);

    b.write(bytes.data(), 4, 4); // exactly up to the end
    EXPECT_EQ(b.data()[7], 4);
}

TEST_F(BufferTest, EmptyBufferHasNoData) {
    Buffer b(0, 0xFF, log);
    EXPECT_EQ(b.size(), 0u);
    EXPECT_EQ(b.data(), nullptr);
    std::uint8_t byte = 0;
    EXPECT_EQ(b.read(&byte, 1, 0), 0u);
    EXPECT_THROW(b.write(&byte, 1, 0), std::out_of_range);
    const std::string entries = dir.read("log.txt");
    EXPECT_NE(entries.find("Assertion: _data != NULL"), std::string::npos);
}

} // namespace
