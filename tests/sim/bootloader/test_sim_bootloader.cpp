// What the simulated bootloader does that the engine's tests cannot see through
// the protocol client: requests the client never sends, the finer points of its
// fault knobs, and the state it keeps in a folder. Its commands, memories and
// the faults the engine meets are tested end to end in tests/bootloader.

#include "fw_update/log.h"
#include "sim/bootloader/sim_bootloader.h"

#include "support/scratch_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
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
};

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

TEST_F(SimBootloaderTest, ErasesSpareTheBootloaderAndStopAtTheEnd) {
    dev.flash().fill(0);
    // From 0 with 0 blocks (= 256, up to 0x4000): only 0x0800..0x3FFF is erased.
    EXPECT_EQ(transact(*link, request(3, 1, 0x0000, 0, {}, 0x00)).report[1], 3);
    EXPECT_EQ(std::count(dev.flash().begin(), dev.flash().begin() + 0x800, 0x00), 0x800);
    EXPECT_EQ(std::count(dev.flash().begin() + 0x800, dev.flash().begin() + 0x4000, 0xFF), 0x3800);
    EXPECT_EQ(dev.flash()[0x4000], 0x00);
    // Erases that run past the end stop there.
    transact(*link, request(3, 2, 0x7FC0, 0xFF, {}, 0x00));
    EXPECT_EQ(dev.flash()[0x7FBF], 0x00);
    EXPECT_EQ(std::count(dev.flash().begin() + 0x7FC0, dev.flash().end(), 0xFF), 0x40);
    EXPECT_EQ(transact(*link, request(3, 3, 0xFFC0, 0xFF, {}, 0x00)).status, HidStatus::ok);
}

TEST_F(SimBootloaderTest, TransferFaultsAndForeignReports) {
    // A request whose write failed or timed out is not taken; one that is never
    // answered is carried out all the same.
    const Report id_write = request(7, 1, 0, 8, Bytes(8, 0x55));
    dev.faults().write_fails = true;
    EXPECT_EQ(send(id_write), HidStatus::failed);
    EXPECT_EQ(link->error_number(), EIO);
    dev.faults() = {};
    dev.faults().write_timeout = true;
    EXPECT_EQ(send(id_write), HidStatus::timeout);
    EXPECT_THAT(dev.id(), Each(0xFF));
    dev.faults() = {};
    dev.faults().read_timeout = true;
    ASSERT_EQ(send(id_write), HidStatus::ok);
    EXPECT_EQ(read_answer(*link).status, HidStatus::timeout);
    EXPECT_THAT(dev.id(), Each(0x55));

    // A late answer stays queued: without a cancel it would pass for the next one.
    dev.faults() = {};
    dev.faults().late_answer = true;
    ASSERT_EQ(send(request(6, 4, 0, 8)), HidStatus::ok);
    EXPECT_EQ(read_answer(*link).status, HidStatus::timeout);
    EXPECT_EQ(read_answer(*link).report[2], 4);
    ASSERT_EQ(send(request(6, 5, 0, 8)), HidStatus::ok);
    link->cancel();
    dev.faults().late_answer = false;
    EXPECT_EQ(transact(*link, request(6, 6, 0, 8)).report[2], 6);

    // A report ID other than 0 does not reach this device.
    dev.faults() = {};
    Report numbered = request(6, 9, 0, 8);
    numbered[0] = 1;
    EXPECT_EQ(send(numbered), HidStatus::failed);
    EXPECT_EQ(link->error_number(), EINVAL);
    EXPECT_EQ(dev.counters().requests, 4u);
}

// File-backed devices.

class SimFolderTest : public ::testing::Test {
protected:
    testsupport::ScratchDir dir;
    std::filesystem::path folder = dir.path() / "device";

    sim::SimDevice reload() { return sim::SimBootloader::from_folder(folder)->device(0); }
};

TEST_F(SimFolderTest, KeepsItsIdentityAndEveryChangeInTheFolder) {
    EXPECT_EQ(reload().product_id(), 0xff01);
    EXPECT_EQ(dir.read("device/usb_id"), "04d8:ff01\n");
    EXPECT_EQ(static_cast<std::uint8_t>(dir.read("device/flash.bin")[0x123]), sim::bootloader_pattern(0x123));

    dir.write("device/usb_id", "04D8:FF04");
    auto backend = sim::SimBootloader::from_folder(folder);
    sim::SimDevice dev = backend->device(0);
    EXPECT_EQ(dev.product_id(), 0xff04);
    EXPECT_THAT(*backend->enumerate(fwu::Log()), ElementsAre("sim:" + folder.string()));
    auto link = backend->open(dev.path());
    transact(*link, request(2, 1, 0x0800, 1, {0x42}));
    EXPECT_EQ(reload().flash()[0x0800], 0x42);
    transact(*link, request(3, 2, 0x0800, 1, {}, 0x00));
    EXPECT_EQ(reload().flash()[0x0800], 0xFF);
    EXPECT_FALSE(std::filesystem::exists(folder / "flash.bin.tmp"));
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
    sim::SimDevice dev = reload();
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

    // Each flag sets its own fault and no other.
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
    for (const auto& [name, field] : flags) {
        dir.write("device/faults", std::string(name) + " true\n");
        const sim::Faults set = reload().faults();
        for (const auto& [other, other_field] : flags)
            EXPECT_EQ(set.*other_field, other == name) << name << " set " << other;
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
