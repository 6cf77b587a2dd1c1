#include "fw_update/image/cout_image.h"

#include "bootloader/bootloader_fixture.h"
#include "fw_update/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <sstream>
#include <vector>

using namespace fwu;
using ::testing::HasSubstr;

namespace {

class CoutImageTest : public fwtest::ScratchLogTest {
protected:
    std::ostringstream out;
    std::array<std::uint8_t, 8> serial{};
    std::uint32_t serial_index = 0;

    static std::vector<std::uint8_t> counting(std::size_t n, std::uint8_t first = 0) {
        std::vector<std::uint8_t> v(n);
        std::iota(v.begin(), v.end(), first);
        return v;
    }
};

TEST_F(CoutImageTest, DumpsLinesOfSixteen) {
    CoutImage image(out, log, serial, serial_index);
    image.open(Image::Mode::write);
    image.set_address(0x10);
    const auto data = counting(20);
    image.write(data.data(), 12);
    image.write(data.data() + 12, 8);
    image.close();
    EXPECT_EQ(out.str(), "\n0x00000010: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F "
                         "\n0x00000020: 10 11 12 13 \n");
}

// Positions before the first byte are marked. The ID read of a run lands in
// its result (test_fw_update_driver.cpp): a longer dump keeps its first 8 bytes.
TEST_F(CoutImageTest, MarksPositionsBeforeTheFirstByteAndCapturesTheFirstEight) {
    serial_index = 3;
    CoutImage image(out, log, serial, serial_index); // each image starts a capture of its own
    EXPECT_EQ(serial_index, 0u);
    image.set_address(0x7F8);
    const auto data = counting(10, 0xF0);
    image.write(data.data(), 10);
    EXPECT_EQ(out.str(), "\n0x000007F0: na na na na na na na na F0 F1 F2 F3 F4 F5 F6 F7 "
                         "\n0x00000800: F8 F9 ");
    EXPECT_EQ(serial_index, 10u);
    EXPECT_EQ(serial, (std::array<std::uint8_t, 8>{0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7}));
}

TEST_F(CoutImageTest, IsNoInput) {
    CoutImage image(out, log, serial, serial_index);
    EXPECT_EQ(fwtest::error_of<DEImageAbsent>([&] { image.open(Image::Mode::read); }),
              "Image file has to be provided for current operation.");
    std::uint8_t byte = 0;
    std::uint32_t address = 0;
    EXPECT_THROW(image.read(&byte, 1, address), DEImageAbsent);
    EXPECT_EQ(image.size(), 0u);
    EXPECT_THAT(dir.read("log.txt"), HasSubstr("!!! Err: getSize in CoutImage  File: "));
    EXPECT_EQ(out.str(), "");
}

} // namespace
