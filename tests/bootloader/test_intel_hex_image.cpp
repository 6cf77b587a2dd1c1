#include "fw_update/image/intel_hex_image.h"

#include "bootloader/bootloader_fixture.h"
#include "fw_update/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using fwtest::hex_record;
using fwu::Image;
using fwu::IntelHexImage;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::vector<std::uint8_t> bytes(unsigned count, unsigned first = 0) {
    std::vector<std::uint8_t> v;
    for (unsigned i = 0; i < count; ++i)
        v.push_back(static_cast<std::uint8_t>(first + i));
    return v;
}

using Chunk = std::pair<std::uint32_t, std::uint32_t>; // address, length
using Bytes = std::map<std::uint32_t, std::uint8_t>;   // by absolute address

struct Contents {
    std::uint32_t size = 0; // as the image gives it before the first read
    std::vector<Chunk> chunks;
    Bytes bytes;
};

class IntelHexImageTest : public fwtest::ScratchLogTest {
protected:
    Contents read_all(const std::string& name, std::uint32_t max = 256) {
        IntelHexImage image(name, log);
        image.open(Image::Mode::read);
        Contents c;
        c.size = image.size();
        for (const auto& [address, data] : fwtest::read_chunks(image, max)) {
            c.chunks.emplace_back(address, static_cast<std::uint32_t>(data.size()));
            for (std::uint32_t i = 0; i < data.size(); ++i)
                c.bytes[address + i] = data[i];
        }
        image.close();
        return c;
    }

    std::string write_file(const std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>>& writes) {
        IntelHexImage image("out.hex", log);
        image.open(Image::Mode::write);
        EXPECT_EQ(image.size(), 0u);
        for (const auto& [address, data] : writes) {
            image.set_address(address);
            image.write(data.data(), static_cast<std::uint32_t>(data.size()));
        }
        image.close();
        return fwtest::program_text(dir.read("out.hex"), "out.hex");
    }

    template <typename E> std::string open_error(const std::string& contents) {
        dir.write("in.hex", contents);
        IntelHexImage image("in.hex", log);
        return fwtest::error_of<E>([&] {
            image.open(Image::Mode::read);
            image.close();
        });
    }
};

TEST_F(IntelHexImageTest, ReadsDataWithAbsoluteAddresses) {
    dir.write("in.hex", std::string(":020000040020DA\n") + hex_record(0, 0, {1, 2, 3, 4}) +
                            hex_record(0, 0x10, {5, 6}) + ":020000021000EC\n" + hex_record(0, 0x0004, {9}));
    const Contents c = read_all("in.hex");
    // Segment addresses count sixteen times their value. The size is the end of
    // the highest data, measured before the first read.
    EXPECT_THAT(c.chunks, ElementsAre(Chunk{0x00200000, 4}, Chunk{0x00200010, 2}, Chunk{0x10004, 1}));
    EXPECT_EQ(c.size, 0x00200012u);
    EXPECT_EQ(c.bytes.at(0x00200003), 4);
    EXPECT_EQ(c.bytes.at(0x00200011), 6);
}

TEST_F(IntelHexImageTest, ChunksNeverExceedTheMaximumOrARecord) {
    dir.write("in.hex", hex_record(0, 0x800, bytes(16)) + hex_record(0, 0x900, bytes(3, 16)) +
                            hex_record(0, 0x950, {}));
    const Contents c = read_all("in.hex", 5);
    EXPECT_THAT(c.chunks, ElementsAre(Chunk{0x800, 5}, Chunk{0x805, 5}, Chunk{0x80A, 5}, Chunk{0x80F, 1},
                                      Chunk{0x900, 3}));
    EXPECT_EQ(c.bytes.at(0x80F), 15);
    EXPECT_EQ(c.bytes.at(0x902), 18);
}

TEST_F(IntelHexImageTest, WrongChecksumsBlankLinesAndEndRecordsAreNoObstacle) {
    dir.write("in.hex", "\n   \r\n:0400000001020304FF\r\n:00000001FF\n\t\n  :02000400AABB95  \n\n");
    EXPECT_EQ(read_all("in.hex").bytes, (Bytes{{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 0xAA}, {5, 0xBB}}));
    EXPECT_EQ(dir.read("log.txt"), "");
}

TEST_F(IntelHexImageTest, EndOfFileCharactersAndNulPaddingAfterTheEndRecordAreBlank) {
    const std::string body = hex_record(0, 0x10, {1, 2, 3, 4});
    const std::string nuls(600, '\0'); // longer than one piece
    for (const std::string& tail :
         {std::string(":00000001FF\r\n\x1A"), std::string(":00000001FF\x1A"), ":00000001FF\n" + nuls,
          ":00000001FF" + nuls + "\x1A\r\n\x1A\x1A\n",
          ":00000001FF\r\n\x1A\n" + hex_record(0, 0x20, {5}) + ":00000001FF\n\x1A"}) {
        dir.write("in.hex", body + tail);
        const Bytes bytes = read_all("in.hex").bytes;
        EXPECT_EQ(bytes.size(), tail.find(":01") == std::string::npos ? 4u : 5u);
        EXPECT_EQ(bytes.at(0x13), 4);
    }
    EXPECT_EQ(dir.read("log.txt"), "");

    // Before the end record they are no padding but damage.
    for (const std::string& bad :
         {body + "\x1A\n:00000001FF\n", body + std::string("\0\n", 2) + hex_record(0, 0x20, {5}),
          hex_record(0, 0x10, {1, 2, 3, 4}).insert(19, "\x1A") + ":00000001FF\n"})
        EXPECT_EQ(open_error<fwu::DEFileInvalidHexFormat>(bad), "Invalid HEX file format.");
}

TEST_F(IntelHexImageTest, LongestRecordOfOnePieceIsRead) {
    // 244 data bytes make a line of 499 characters: the longest read at once.
    const std::string record = hex_record(0, 0, bytes(244));
    ASSERT_EQ(record.size(), 500u);
    dir.write("in.hex", record + record.substr(0, 499) + "\r\n");
    EXPECT_THAT(read_all("in.hex").chunks, ElementsAre(Chunk{0, 244}, Chunk{0, 244}));
}

TEST_F(IntelHexImageTest, MalformedLinesAndUnsupportedTypesAreRejected) {
    const std::string good = hex_record(0, 0, {1, 2, 3, 4});
    for (const std::string& bad :
         {good + "0400000001020304F2\n", good + ":0400000001020304\n", good + ":1000000001020304F2\n",
          std::string(":04000000010203 4F2\n"), std::string(":04000000\0\0\0\0\0\0\0\0F2\n", 20),
          good + "\x1A\r\n" + good,      // Ctrl-Z ends no file early
          hex_record(0, 0, bytes(250))}) // longer than one piece: never read whole
        EXPECT_EQ(open_error<fwu::DEFileInvalidHexFormat>(bad), "Invalid HEX file format.") << bad;
    EXPECT_THAT(dir.read("log.txt"), HasSubstr("!!! Err: Not a HEX record in line 2  File: "));

    for (unsigned type : {5u, 3u}) {
        EXPECT_EQ(open_error<fwu::DEFileReadFailed>(hex_record(type, 0, {0, 0, 1, 0})),
                  "Failed to read image file.");
        EXPECT_THAT(dir.read("log.txt"),
                    HasSubstr("!!! Err: _record.m_Type = " + std::to_string(type) + "  File: "));
    }
    EXPECT_THAT(dir.read("log.txt"), Not(HasSubstr("_file == NULL"))); // a failed open leaves nothing open
}

TEST_F(IntelHexImageTest, OpenFailures) {
    IntelHexImage nowhere("no/such/folder/b.hex", log);
    EXPECT_EQ(fwtest::error_of<fwu::DEFileOpenFailed>([&] { nowhere.open(Image::Mode::write); }),
              "Failed to open file \"no/such/folder/b.hex\"  for writing.");
    std::filesystem::create_directory(dir.file("folder.hex"));
    IntelHexImage folder("folder.hex", log);
    EXPECT_THROW(folder.open(Image::Mode::read), fwu::DException);
}

TEST_F(IntelHexImageTest, RecordsNeverCrossA64KiBBoundary) {
    std::vector<std::uint8_t> data(40);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i);
    const std::string text = write_file({{0xFFF8, data}});
    std::vector<std::string> heads;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        heads.push_back(l.substr(0, 9));
    EXPECT_THAT(heads,
                ElementsAre(":02000004", ":08FFF800", ":02000004", ":10000000", ":10001000", ":00000001"));
    EXPECT_THAT(text, HasSubstr(":020000040000FA\n"));
    EXPECT_THAT(text, HasSubstr(":020000040001F9\n"));
}

TEST_F(IntelHexImageTest, RoundTripOfScatteredWrites) {
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> writes;
    Bytes expected;
    const std::uint32_t starts[] = {0x800, 0x1FFF0, 0x10030, 0x00200000, 0xF00000, 0xFFFFFFF0};
    const std::uint32_t lengths[] = {100, 70, 3, 8, 256, 16};
    for (int k = 0; k < 6; ++k) {
        std::vector<std::uint8_t> data(lengths[k]);
        for (std::uint32_t i = 0; i < lengths[k]; ++i) {
            data[i] = static_cast<std::uint8_t>(i * 7 + k);
            expected[starts[k] + i] = data[i];
        }
        writes.emplace_back(starts[k], data);
    }
    // The write at 0x10030 goes back into page 1 after the write before it ended
    // in page 2: its record must be filed under page 1 again. Writes across a
    // page boundary come back whole.
    write_file(writes);
    const Contents c = read_all("out.hex");
    EXPECT_EQ(c.bytes, expected);
    EXPECT_EQ(c.size, 0xFFFFFFFFu); // data up to the last address; the end is past 32 bits
}

TEST_F(IntelHexImageTest, CloseFailureIsReported) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device whose writes always fail, as /dev/full";
#endif
    IntelHexImage image("/dev/full", log);
    image.open(Image::Mode::write);
    const std::uint8_t byte = 1;
    image.write(&byte, 1);
    EXPECT_EQ(fwtest::error_of<fwu::DEFileCloseFailed>([&] { image.close(); }),
              "Failed to close file \"/dev/full\".");
    EXPECT_NO_THROW(image.close()); // the stream is gone either way
}

TEST_F(IntelHexImageTest, ImageLeftOpenIsLoggedAndReleased) {
    {
        IntelHexImage image("out.hex", log);
        image.open(Image::Mode::write);
    }
    EXPECT_THAT(dir.read("log.txt"), HasSubstr("!!! Err: Assertion: _file == NULL  File: "));
    IntelHexImage closed("out.hex", log);
    std::uint8_t byte = 0;
    std::uint32_t address = 0;
    EXPECT_THROW(closed.read(&byte, 1, address), fwu::DEFileReadFailed);
    EXPECT_EQ(fwtest::error_of<fwu::DEFileWriteFailed>([&] { closed.write(&byte, 1); }),
              "Failed to write image file.");
}

} // namespace

// The inspection a technician's tool makes before flashing: what the reader takes, including what it
// accepts without a word, and where it would stop.
TEST_F(IntelHexImageTest, InspectionReportsWhatTheReaderTakesSilentlyAndWhereItStops) {
    const std::string end = ":00000001FF\n";
    auto corrupt = [](std::string line) { // the same record with its checksum one off
        char& last = line[line.size() - 2];
        last = last == '0' ? '1' : '0';
        return line;
    };
    dir.write("sound.hex", hex_record(0, 0x800, bytes(16)) + "\n" + hex_record(0, 0x810, bytes(16)) + end);
    fwu::HexReport r = fwu::inspect_hex_file("sound.hex", 0x800, 0x7FFF);
    EXPECT_EQ(r.records, 3u);
    EXPECT_EQ(r.data_bytes, 32u);
    EXPECT_EQ(r.lowest, 0x800u);
    EXPECT_EQ(r.highest, 0x81Fu);
    EXPECT_EQ(r.outside_window, 0u);
    EXPECT_EQ(r.bad_checksums, 0u);
    EXPECT_TRUE(r.end_of_file);
    EXPECT_EQ(r.not_a_record_line, 0u);

    // Two wrong checksums (lines count blank ones), no end-of-file record, data in the bootloader's area
    // and past the end of flash.
    dir.write("damaged.hex", hex_record(0, 0x7F8, bytes(16)) + "\n" +
                                 corrupt(hex_record(0, 0x900, bytes(4))) +
                                 corrupt(hex_record(0, 0x0000, bytes(8))) + hex_record(0, 0x8000, bytes(2)));
    r = fwu::inspect_hex_file("damaged.hex", 0x800, 0x7FFF);
    EXPECT_EQ(r.records, 4u);
    EXPECT_EQ(r.data_bytes, 30u);
    EXPECT_EQ(r.lowest, 0u);
    EXPECT_EQ(r.highest, 0x8001u);
    EXPECT_EQ(r.outside_window, 8u + 8u + 2u); // 0x7F8-0x7FF, 0x0000-0x0007 and 0x8000-0x8001
    EXPECT_EQ(r.bad_checksums, 2u);
    EXPECT_EQ(r.first_bad_checksum_line, 3u);
    EXPECT_FALSE(r.end_of_file);

    // A line that is not a record ends the reading there, as it ends a flashing.
    dir.write("cut.hex",
              hex_record(0, 0x800, bytes(16)) + ":10081000\n" + hex_record(0, 0x820, bytes(1)) + end);
    r = fwu::inspect_hex_file("cut.hex", 0x800, 0x7FFF);
    EXPECT_EQ(r.not_a_record_line, 2u);
    EXPECT_EQ(r.records, 1u);

    EXPECT_THROW(fwu::inspect_hex_file("missing.hex", 0x800, 0x7FFF), fwu::DEFileOpenFailed);
    EXPECT_FALSE(std::filesystem::exists(dir.file("log.txt"))); // an inspection writes no log
}
