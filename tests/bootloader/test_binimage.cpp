#include "fw_update/image/binimage.h"
#include "fw_update/log.h"

#include "bootloader/bootloader_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using fwtest::Chunk;
using fwu::BinImage;
using fwu::Image;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

using BinImageTest = fwtest::ScratchLogTest;

TEST_F(BinImageTest, ReadsBytesInOrderFromAddressZero) {
    dir.write("in.bin", std::string("\x01\x02\x03\x04\x05", 5));
    BinImage image("in.bin", log);
    image.open(Image::Mode::read);
    EXPECT_EQ(image.size(), 5u);
    EXPECT_THAT(fwtest::read_chunks(image, 3), ElementsAre(Chunk{0, {1, 2, 3}}, Chunk{3, {4, 5}}));
    image.close();

    dir.write("empty.bin", "");
    BinImage empty("empty.bin", log);
    empty.open(Image::Mode::read);
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_THAT(fwtest::read_chunks(empty, 1), IsEmpty());
}

TEST_F(BinImageTest, WritesEachByteAtItsAddressWithErasedBytesBetween) {
    // A binary file is read back from address 0 (offset = address), so it is written the same way.
    BinImage image("out.bin", log);
    image.open(Image::Mode::write);
    const std::uint8_t a[] = {0xDE, 0xAD};
    const std::uint8_t b[] = {0xBE, 0xEF, 0x00};
    const std::uint8_t c[] = {0x01};
    image.set_address(4);
    image.write(a, 2);
    image.set_address(8);
    image.write(b, 3);
    image.set_address(0);
    image.write(c, 1);
    image.close();
    EXPECT_EQ(dir.read("out.bin"), std::string("\x01\xFF\xFF\xFF\xDE\xAD\xFF\xFF\xBE\xEF\x00", 11));
    EXPECT_EQ(dir.read("log.txt"), "");
}

TEST_F(BinImageTest, FileFailures) {
    BinImage missing("a.bin", log);
    EXPECT_EQ(fwtest::error_of<fwu::DEFileOpenFailed>([&] { missing.open(Image::Mode::read); }),
              "Failed to open file \"a.bin\"  for reading.");

    std::filesystem::create_directory(dir.file("folder.bin"));
    BinImage folder("folder.bin", log);
#ifdef _WIN32
    // Windows refuses to open a folder as a file; Linux opens it and fails to read.
    EXPECT_THROW(folder.open(Image::Mode::read), fwu::DEFileOpenFailed);
#else
    EXPECT_THROW(
        {
            folder.open(Image::Mode::read);
            std::uint8_t byte = 0;
            std::uint32_t address = 0;
            folder.read(&byte, 1, address);
        },
        fwu::DEFileReadFailed);
    folder.close();

    // Windows has no device whose writes always fail.
    BinImage full("/dev/full", log);
    full.open(Image::Mode::write);
    const std::uint8_t byte = 1;
    full.write(&byte, 1);
    EXPECT_EQ(fwtest::error_of<fwu::DEFileCloseFailed>([&] { full.close(); }),
              "Failed to close file \"/dev/full\".");
#endif
}

} // namespace
