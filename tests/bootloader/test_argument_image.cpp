#include "fw_update/image/argument_image.h"

#include "bootloader/fw_update_harness.h"
#include "fw_update/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace fwu;
using ::testing::ElementsAre;

namespace {

Parameters with(const std::string& name, const std::string& value) {
    Parameters p{FUUsage()};
    p.add(name, value);
    return p;
}

std::string construction_error(const Parameters& p) {
    try {
        return fwtest::error_of<DException>([&] { ArgumentImage image(ARG_DATA, p); });
    } catch (const EParserException& e) {
        return e.what();
    }
}

TEST(ArgumentImage, DeliversTheBytesFromAddressZero) {
    ArgumentImage image(ARG_DATA, with("d", "01202040aC"));
    image.open(Image::Mode::read);
    EXPECT_EQ(image.size(), 5u);
    using fwtest::Chunk;
    EXPECT_THAT(fwtest::read_chunks(image, 2),
                ElementsAre(Chunk{0, {0x01, 0x20}}, Chunk{2, {0x20, 0x40}}, Chunk{4, {0xAC}}));
    image.close();
}

TEST(ArgumentImage, RejectsBadData) {
    EXPECT_EQ(construction_error(with("d", "0120204")), "Bad value provided for \"d\" argument.");
    EXPECT_EQ(construction_error(with("DATA", "0g")), "Bad value provided for \"DATA\" argument.");
    EXPECT_EQ(construction_error(with("d", "0x12")), "Bad value provided for \"d\" argument.");
    EXPECT_EQ(construction_error(with("d", "")), "Value not provided for \"d\".");
    EXPECT_EQ(construction_error(Parameters{FUUsage()}),
              "Argument \"data\" is required for the selected operation.");
}

TEST(ArgumentImage, IgnoresWrites) {
    ArgumentImage image(ARG_DATA, with("data", "ff"));
    const std::uint8_t byte = 0;
    image.set_address(0x10);
    image.write(&byte, 1);
    std::uint8_t out = 0;
    std::uint32_t address = 1;
    EXPECT_EQ(image.read(&out, 8, address), 1u);
    EXPECT_EQ(out, 0xFF);
    EXPECT_EQ(address, 0u);
}

} // namespace
