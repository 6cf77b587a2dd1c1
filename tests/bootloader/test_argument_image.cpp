#include "fw_update/image/argument_image.h"

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
        ArgumentImage image(ARG_DATA, p);
    } catch (const DException& e) {
        return e.message();
    } catch (const EParserException& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

TEST(ArgumentImage, DeliversTheBytesFromAddressZero) {
    ArgumentImage image(ARG_DATA, with("d", "01202040aC"));
    image.open(Image::Mode::read);
    EXPECT_EQ(image.size(), 5u);
    std::vector<std::uint8_t> data(2);
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> chunks;
    std::uint32_t address = 99;
    while (std::uint32_t n = image.read(data.data(), 2, address))
        chunks.emplace_back(address, std::vector<std::uint8_t>(data.begin(), data.begin() + n));
    using C = std::pair<std::uint32_t, std::vector<std::uint8_t>>;
    EXPECT_THAT(chunks, ElementsAre(C{0, {0x01, 0x20}}, C{2, {0x20, 0x40}}, C{4, {0xAC}}));
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
