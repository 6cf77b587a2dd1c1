#include "sim/bootloader/sim_bootloader.h"

#include "support/scratch_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace {

using fwu::HidStatus;
using sim::Report;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

// A request report: report ID 0, header, data; unused bytes filled with `fill`.
Report request(std::uint8_t cmd, std::uint8_t echo, std::uint16_t address, std::uint8_t size, Bytes data = {},
               std::uint8_t fill = 0xFF) {
    Report r;
    r.fill(fill);
    r[0] = 0;
    r[1] = cmd;
    r[2] = echo;
    r[3] = static_cast<std::uint8_t>(address & 0xFF);
    r[4] = static_cast<std::uint8_t>(address >> 8);
    r[6] = size;
    std::copy(data.begin(), data.end(), r.begin() + 7);
    return r;
}

struct Answer {
    HidStatus status;
    std::size_t count;
    Report report;
    Bytes data(std::size_t n) const { return {report.begin() + 7, report.begin() + 7 + n}; }
};

Answer read_answer(fwu::HidDevice& device) {
    Answer a{HidStatus::failed, 0, {}};
    a.status = device.read(a.report.data(), a.count, 2500);
    return a;
}

Answer transact(fwu::HidDevice& device, const Report& r) {
    EXPECT_EQ(device.write(r.data(), 100), HidStatus::ok);
    return read_answer(device);
}

class SimBootloaderTest : public ::testing::Test {
protected:
    sim::SimBootloader backend;
    sim::SimDevice dev = backend.add_device(0x04d8, 0xff04);
    std::unique_ptr<fwu::HidDevice> link = backend.open(dev.path());

    HidStatus send(const Report& r) { return link->write(r.data(), 100); }
    bool attributes() {
        std::uint16_t vid = 0, pid = 0;
        return link->attributes(vid, pid);
    }
};

TEST_F(SimBootloaderTest, FreshDeviceIsListedWithItsIdentityAndMemories) {
    backend.add_device(0x04d8, 0xff05, "custom");
    EXPECT_THAT(*backend.enumerate(), ElementsAre("sim:0", "custom"));
    std::uint16_t vid = 0, pid = 0;
    ASSERT_TRUE(backend.open("custom")->attributes(vid, pid));
    EXPECT_EQ(vid, 0x04d8);
    EXPECT_EQ(pid, 0xff05);
    EXPECT_EQ(backend.open("nothing"), nullptr);

    for (std::size_t i = 0; i < sim::flash_size; ++i)
        ASSERT_EQ(dev.flash()[i], i < 0x800 ? sim::bootloader_pattern(i) : 0xFF) << i;
    EXPECT_NE(sim::bootloader_pattern(0x7FF), 0xFF);
    EXPECT_THAT(dev.id(), Each(0xFF));
    EXPECT_THAT(dev.eeprom(), Each(0xFF));
}

TEST_F(SimBootloaderTest, WritesAndReadsEveryMemoryAtItsAddress) {
    Bytes bytes(32);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(0x10 + i);
    Answer w = transact(*link, request(2, 1, 0x1234, 32, bytes));
    ASSERT_EQ(w.status, HidStatus::ok);
    ASSERT_EQ(w.count, 65u);
    // Header only: the request's six header bytes, nothing after them.
    EXPECT_THAT(Bytes(w.report.begin(), w.report.begin() + 7),
                ElementsAre(0x00, 0x02, 0x01, 0x34, 0x12, 0xFF, 0x20));
    EXPECT_THAT(w.data(58), Each(0x00));
    EXPECT_EQ(Bytes(dev.flash().begin() + 0x1234, dev.flash().begin() + 0x1254), bytes);
    EXPECT_EQ(dev.flash()[0x1233] & dev.flash()[0x1254], 0xFF);

    Answer r = transact(*link, request(1, 2, 0x1230, 8));
    EXPECT_EQ(r.report[1], 1);
    EXPECT_EQ(r.report[2], 2);
    EXPECT_THAT(r.data(8), ElementsAre(0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x11, 0x12, 0x13));
    // Reading below the bootloader's end is allowed.
    EXPECT_EQ(transact(*link, request(1, 3, 0x0100, 1)).data(1)[0], sim::bootloader_pattern(0x100));

    transact(*link, request(7, 4, 0, 8, {1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_THAT(dev.id(), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8));
    EXPECT_THAT(transact(*link, request(6, 5, 2, 4)).data(4), ElementsAre(3, 4, 5, 6));

    transact(*link, request(9, 6, 0xF8, 8, {9, 9, 9, 9, 9, 9, 9, 7}));
    EXPECT_EQ(dev.eeprom()[0xFF], 7);
    EXPECT_EQ(dev.eeprom()[0xF7], 0xFF);
    EXPECT_THAT(transact(*link, request(8, 7, 0xFE, 2)).data(2), ElementsAre(9, 7));
}

TEST_F(SimBootloaderTest, RequestsOutsideAMemoryTouchNothingAndGetTheHeaderOnly) {
    dev.id() = {1, 2, 3, 4, 5, 6, 7, 8};
    const auto id = dev.id();
    const auto eeprom = dev.eeprom();
    const auto flash = dev.flash();
    EXPECT_THAT(transact(*link, request(6, 1, 4, 8)).data(58), Each(0x00));
    transact(*link, request(7, 2, 1, 8, Bytes(8, 0)));
    transact(*link, request(9, 3, 0xFC, 8, Bytes(8, 0)));
    transact(*link, request(2, 4, 0x7FF0, 32, Bytes(32, 0)));
    transact(*link, request(2, 5, 0xFFFF, 0xFF));
    // Larger than the data field.
    transact(*link, request(2, 6, 0x1000, 59, Bytes(58, 0)));
    EXPECT_THAT(transact(*link, request(8, 7, 0, 59)).data(58), Each(0x00));
    // A write that touches the bootloader is refused whole.
    transact(*link, request(2, 8, 0x07F8, 16, Bytes(16, 0)));
    transact(*link, request(2, 9, 0x0000, 32, Bytes(32, 0)));
    EXPECT_EQ(dev.id(), id);
    EXPECT_EQ(dev.eeprom(), eeprom);
    EXPECT_EQ(dev.flash(), flash);
    EXPECT_EQ(dev.counters().requests, 9u);
}

TEST_F(SimBootloaderTest, ErasesSpareTheBootloader) {
    dev.flash().fill(0);
    for (std::size_t i = 0; i < 0x800; ++i)
        dev.flash()[i] = sim::bootloader_pattern(i);
    // From 0 with 0 blocks (= 256, up to 0x4000): only 0x0800..0x3FFF is erased.
    Answer e = transact(*link, request(3, 3, 0x0000, 0, {}, 0x00));
    EXPECT_EQ(e.status, HidStatus::ok);
    EXPECT_EQ(e.report[1], 3);
    for (std::size_t i = 0; i < 0x800; ++i)
        ASSERT_EQ(dev.flash()[i], sim::bootloader_pattern(i)) << i;
    EXPECT_EQ(dev.flash()[0x0800], 0xFF);
    EXPECT_EQ(dev.flash()[0x3FFF], 0xFF);
    EXPECT_EQ(dev.flash()[0x4000], 0x00);

    // The erase of the engine: 224 blocks from 0x0800, 256 from 0x4000, clipped at the end.
    dev.flash().fill(0);
    transact(*link, request(3, 4, 0x0800, 0xE0, {}, 0x00));
    EXPECT_EQ(dev.flash()[0x07FF], 0x00);
    EXPECT_EQ(dev.flash()[0x4000], 0x00);
    transact(*link, request(3, 5, 0x4000, 0x00, {}, 0x00));
    EXPECT_EQ(std::count(dev.flash().begin(), dev.flash().end(), 0xFF), 0x7800);
    // An erase running past the end stops there.
    EXPECT_EQ(transact(*link, request(3, 6, 0xFFC0, 0xFF, {}, 0x00)).status, HidStatus::ok);
}

TEST_F(SimBootloaderTest, VersionResetAndWireRecord) {
    dev.version() = {3, 1, 7};
    const Report version = request(4, 0, 0, 0, {}, 0x00);
    Answer v = transact(*link, version);
    EXPECT_THAT(Bytes(v.report.begin(), v.report.begin() + 7), ElementsAre(0x00, 0x04, 0x00, 3, 1, 7, 0x00));

    const Report reset = request(5, 0, 0, 0, {}, 0x00);
    ASSERT_EQ(send(reset), HidStatus::ok);
    EXPECT_EQ(read_answer(*link).status, HidStatus::timeout);
    EXPECT_EQ(dev.counters().resets, 1u);

    EXPECT_THAT(dev.written(), ElementsAre(version, reset));
    const sim::Counters& c = dev.counters();
    EXPECT_EQ(std::vector<std::uint64_t>({c.opens, c.writes, c.reads, c.requests, c.answers}),
              std::vector<std::uint64_t>({1, 2, 2, 2, 1}));
    link.reset();
    EXPECT_EQ(dev.counters().closes, 1u);
    dev.clear_written();
    EXPECT_TRUE(dev.written().empty());
}

TEST_F(SimBootloaderTest, PresenceFaults) {
    dev.faults().attributes_fail = true;
    EXPECT_FALSE(attributes());
    dev.faults().open_fails = true;
    EXPECT_THAT(*backend.enumerate(), ElementsAre("sim:0"));
    EXPECT_EQ(backend.open("sim:0"), nullptr);
    dev.faults().absent = true;
    EXPECT_TRUE(backend.enumerate()->empty());
    dev.faults() = {};
    EXPECT_NE(backend.open("sim:0"), nullptr);
    backend.set_enumerate_fails(true);
    EXPECT_FALSE(backend.enumerate().has_value());
}

TEST_F(SimBootloaderTest, WriteFaultsKeepTheRequestFromTheDevice) {
    Report w = request(7, 1, 0, 8, Bytes(8, 0x55));
    EXPECT_EQ(link->error_number(), 0);
    dev.faults().write_fails = true;
    EXPECT_EQ(send(w), HidStatus::failed);
    EXPECT_EQ(link->error_number(), EIO);
    EXPECT_THAT(link->last_error(), HasSubstr("write_fails"));
    dev.faults() = {};
    dev.faults().write_timeout = true;
    EXPECT_EQ(send(w), HidStatus::timeout);
    EXPECT_EQ(read_answer(*link).status, HidStatus::timeout);
    EXPECT_THAT(dev.id(), Each(0xFF));
    EXPECT_EQ(dev.counters().requests, 0u);
    EXPECT_EQ(dev.written().size(), 2u);
    // A report ID other than 0 does not reach this device.
    dev.faults() = {};
    w[0] = 1;
    EXPECT_EQ(send(w), HidStatus::failed);
    EXPECT_EQ(link->error_number(), EINVAL);
}

TEST_F(SimBootloaderTest, AnswerFaults) {
    dev.faults().read_timeout = true;
    ASSERT_EQ(send(request(7, 1, 0, 8, Bytes(8, 0x55))), HidStatus::ok);
    EXPECT_EQ(read_answer(*link).status, HidStatus::timeout);
    EXPECT_THAT(dev.id(), Each(0x55)); // carried out all the same

    dev.faults() = {};
    dev.faults().wrong_echo = true;
    Answer a = transact(*link, request(6, 0xFF, 0, 8));
    EXPECT_EQ(a.report[1], 6);
    EXPECT_EQ(a.report[2], 0x00);

    dev.faults() = {};
    dev.faults().short_read = 40;
    a = transact(*link, request(6, 3, 0, 8));
    EXPECT_EQ(a.status, HidStatus::ok);
    EXPECT_EQ(a.count, 40u);

    // A late answer stays queued: without a cancel it would pass for the next one.
    dev.faults() = {};
    dev.faults().late_answer = true;
    ASSERT_EQ(send(request(6, 4, 0, 8)), HidStatus::ok);
    EXPECT_EQ(read_answer(*link).status, HidStatus::timeout);
    a = read_answer(*link);
    EXPECT_EQ(a.status, HidStatus::ok);
    EXPECT_EQ(a.report[2], 4);
    ASSERT_EQ(send(request(6, 5, 0, 8)), HidStatus::ok);
    link->cancel();
    dev.faults().late_answer = false;
    EXPECT_EQ(transact(*link, request(6, 6, 0, 8)).report[2], 6);
    EXPECT_EQ(dev.counters().cancels, 1u);

    // Transfer faults start after the given number of requests.
    dev.faults() = {};
    dev.faults().transfer_faults_after = dev.counters().requests + 1;
    dev.faults().write_fails = true;
    EXPECT_EQ(transact(*link, request(6, 7, 0, 8)).status, HidStatus::ok);
    EXPECT_EQ(send(request(6, 8, 0, 8)), HidStatus::failed);
}

TEST_F(SimBootloaderTest, ReadbackDifferenceHealsAfterTheGivenReads) {
    dev.flash()[0x0905] = 0x3C;
    dev.faults().readback_difference = 0x0905;
    dev.faults().readback_heals_after = 2;
    const Report r = request(1, 1, 0x0900, 32);
    EXPECT_EQ(transact(*link, r).data(32)[5], 0xC3);
    EXPECT_EQ(transact(*link, request(1, 1, 0x0920, 32)).data(32)[5], 0xFF); // not covered, not counted
    EXPECT_EQ(transact(*link, r).data(32)[5], 0xC3);
    EXPECT_EQ(transact(*link, r).data(32)[5], 0x3C);
    EXPECT_EQ(dev.flash()[0x0905], 0x3C);
    dev.faults().readback_heals_after.reset();
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(transact(*link, r).data(32)[5], 0xC3);
}

TEST_F(SimBootloaderTest, UnplugAfterExchanges) {
    dev.faults().unplug_after = 2;
    EXPECT_EQ(transact(*link, request(6, 1, 0, 8)).status, HidStatus::ok);
    ASSERT_EQ(send(request(6, 2, 0, 8)), HidStatus::ok);
    EXPECT_TRUE(dev.unplugged());
    EXPECT_TRUE(backend.enumerate()->empty());
    // The answer already on its way still arrives; then everything fails.
    EXPECT_EQ(read_answer(*link).report[2], 2);
    EXPECT_EQ(read_answer(*link).status, HidStatus::failed);
    EXPECT_EQ(send(request(6, 3, 0, 8)), HidStatus::failed);
    EXPECT_EQ(link->error_number(), ENODEV);
    EXPECT_EQ(link->last_error(), std::generic_category().message(ENODEV) + ": the device was unplugged");
    EXPECT_FALSE(attributes());
    EXPECT_EQ(backend.open(dev.path()), nullptr);
    dev.faults().unplug_after.reset();
    EXPECT_TRUE(dev.unplugged()); // stays gone
}

// File-backed devices.

class SimFolderTest : public ::testing::Test {
protected:
    testsupport::ScratchDir dir;
    std::filesystem::path folder = dir.path() / "device";
};

TEST_F(SimFolderTest, CreatesItsFilesAndKeepsStateAcrossBackends) {
    {
        auto backend = sim::SimBootloader::from_folder(folder);
        ASSERT_EQ(backend->device_count(), 1u);
        sim::SimDevice dev = backend->device(0);
        EXPECT_EQ(dev.vendor_id(), 0x04d8);
        EXPECT_EQ(dev.product_id(), 0xff01);
        EXPECT_EQ(dir.read("device/usb_id"), "04d8:ff01\n");
        EXPECT_EQ(std::filesystem::file_size(folder / "flash.bin"), 32768u);
        EXPECT_EQ(dir.read("device/id.bin"), std::string(8, '\xFF'));
        EXPECT_EQ(dir.read("device/eeprom.bin"), std::string(256, '\xFF'));
        EXPECT_EQ(static_cast<std::uint8_t>(dir.read("device/flash.bin")[0x123]),
                  sim::bootloader_pattern(0x123));

        EXPECT_THAT(*backend->enumerate(), ElementsAre("sim:" + folder.string()));
        auto link = backend->open(dev.path());
        ASSERT_NE(link, nullptr);
        transact(*link, request(7, 1, 0, 8, {1, 2, 3, 4, 5, 6, 7, 8}));
        transact(*link, request(2, 2, 0x0800, 8, {0xA, 0xB, 0xC, 0xD, 0xE, 0xF, 0x1, 0x2}));
        transact(*link, request(9, 3, 0x10, 2, {0x77, 0x66}));
        EXPECT_EQ(dir.read("device/id.bin"), std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
        EXPECT_FALSE(std::filesystem::exists(folder / "id.bin.tmp"));
    }
    dir.write("device/usb_id", "04D8:FF04");
    auto again = sim::SimBootloader::from_folder(folder);
    sim::SimDevice dev = again->device(0);
    EXPECT_EQ(dev.product_id(), 0xff04);
    EXPECT_THAT(dev.id(), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8));
    EXPECT_EQ(dev.flash()[0x0800], 0xA);
    EXPECT_EQ(dev.flash()[0x0807], 0x2);
    EXPECT_EQ(dev.eeprom()[0x11], 0x66);

    transact(*again->open(dev.path()), request(3, 1, 0x0800, 1, {}, 0x00));
    EXPECT_EQ(sim::SimBootloader::from_folder(folder)->device(0).flash()[0x0800], 0xFF);
}

TEST_F(SimFolderTest, MalformedFilesAreNamedInTheError) {
    struct Case {
        const char* file;
        std::string contents;
        const char* what;
    };
    const Case cases[] = {
        {"flash.bin", std::string(100, '\0'), "holds 100 bytes, expected 32768"},
        {"id.bin", std::string(9, '\0'), "holds 9 bytes, expected 8"},
        {"eeprom.bin", "", "holds 0 bytes, expected 256"},
        {"usb_id", "04d8-ff01", "\"vvvv:pppp\""},
        {"usb_id", "04d8:1ff01", "\"vvvv:pppp\""},
        {"faults", "write_fails maybe\n", "line 1: \"maybe\" is not 1, 0"},
        {"faults", "# ok\n\nsmoke 1\n", "line 3: unknown fault \"smoke\""},
        {"faults", "unplug_after\n", "line 1: expected \"name value\""},
        {"faults", "version 2.4\n", "not a version"},
    };
    for (const Case& c : cases) {
        testsupport::ScratchDir fresh;
        std::filesystem::create_directory(fresh.path() / "d");
        fresh.write(std::string("d/") + c.file, c.contents);
        try {
            sim::SimBootloader::from_folder(fresh.path() / "d");
            ADD_FAILURE() << c.file << " accepted";
        } catch (const sim::SimError& e) {
            EXPECT_THAT(e.what(), HasSubstr((fresh.path() / "d" / c.file).string())) << c.file;
            EXPECT_THAT(e.what(), HasSubstr(c.what)) << c.file;
        }
    }
    std::filesystem::create_directories(folder / "flash.bin");
    EXPECT_THROW(sim::SimBootloader::from_folder(folder), sim::SimError);
    dir.write("plain", "x");
    EXPECT_THROW(sim::SimBootloader::from_folder(dir.path() / "plain"), sim::SimError);
}

TEST_F(SimFolderTest, FaultsFileSetsTheDeviceUp) {
    std::filesystem::create_directory(folder);
    dir.write("device/faults",
              "# scripted\nreadback_difference 0x0900  # offset\nreadback_heals_after never\n"
              "wrong_echo yes\nunplug_after 12\nshort_read 10\nversion 1.2.3\n"
              "transfer_faults_after 3\nlatency_us 0\nanswer_delay 2600\n");
    sim::SimDevice dev = sim::SimBootloader::from_folder(folder)->device(0);
    const sim::Faults& f = dev.faults();
    EXPECT_EQ(f.readback_difference, 0x0900u);
    EXPECT_FALSE(f.readback_heals_after.has_value());
    EXPECT_TRUE(f.wrong_echo);
    EXPECT_EQ(f.unplug_after, 12u);
    EXPECT_EQ(f.short_read, 10u);
    EXPECT_EQ(f.transfer_faults_after, 3u);
    EXPECT_EQ(f.answer_delay, std::chrono::milliseconds(2600));
    EXPECT_EQ(dev.version().major, 1);
    EXPECT_EQ(dev.version().patch, 3);
}

TEST_F(SimFolderTest, EachFlagOfAFaultsFileSetsItsOwnFault) {
    const std::pair<const char*, bool sim::Faults::*> flags[] = {
        {"absent", &sim::Faults::absent},
        {"open_fails", &sim::Faults::open_fails},
        {"permission_denied", &sim::Faults::permission_denied},
        {"attributes_fail", &sim::Faults::attributes_fail},
        {"write_fails", &sim::Faults::write_fails},
        {"write_timeout", &sim::Faults::write_timeout},
        {"read_timeout", &sim::Faults::read_timeout},
        {"late_answer", &sim::Faults::late_answer},
        {"wrong_echo", &sim::Faults::wrong_echo},
    };
    std::filesystem::create_directory(folder);
    for (const auto& [name, field] : flags) {
        dir.write("device/faults", std::string(name) + " true\n");
        sim::SimDevice dev = sim::SimBootloader::from_folder(folder)->device(0);
        for (const auto& [other, other_field] : flags)
            EXPECT_EQ(dev.faults().*other_field, other == name) << name << " set " << other;
    }
}

TEST_F(SimFolderTest, AFileThatCannotBeStoredFailsTheWrite) {
    auto backend = sim::SimBootloader::from_folder(folder);
    sim::SimDevice dev = backend->device(0);
    auto link = backend->open(dev.path());
    std::filesystem::remove(folder / "id.bin");
    std::filesystem::create_directory(folder / "id.bin");
    EXPECT_EQ(link->write(request(7, 1, 0, 8, Bytes(8, 0)).data(), 100), HidStatus::failed);
    EXPECT_THAT(dev.store_error(), HasSubstr((folder / "id.bin").string()));
    EXPECT_EQ(link->error_number(), EIO);
    EXPECT_FALSE(std::filesystem::exists(folder / "id.bin.tmp"));
}

} // namespace
