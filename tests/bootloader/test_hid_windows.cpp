// The Windows HID backend, under Wine in the Windows build's test run.
//
// Wine's HID stack lists no bootloader here, so the transfers are tested on a
// stand-in: the device handle is one end of a named pipe, opened for
// overlapped transfers like a HID interface, and a thread on the other end
// answers each report as the simulated bootloader answers it. The pipe keeps
// report boundaries (message mode), as HID does.

#include "fw_update/console_windows.h"
#include "fw_update/hid_windows.h"

#include "bootloader/bootloader_fixture.h"
#include "bootloader/fw_update_harness.h"
#include "fw_update/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace fwu;
using ::testing::ElementsAre;
using ::testing::EndsWith;

namespace {

using Report = std::array<std::uint8_t, hid_report_size>;

// A named pipe: the server end for the peer, the client end opened as the
// engine opens a device (overlapped, with the given access).
struct PipePair {
    WinHandle server;
    WinHandle client;

    explicit PipePair(DWORD client_access, DWORD buffer_size = 4096) {
        static std::atomic<unsigned> count{0};
        const std::string name =
            "\\\\.\\pipe\\q5test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(count++);
        server.reset(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
                                      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, buffer_size,
                                      buffer_size, 0, nullptr));
        client.reset(CreateFileA(name.c_str(), client_access, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                 nullptr));
        if (!server.valid() || !client.valid())
            throw std::runtime_error("cannot make a named pipe");
        // Reports keep their boundaries where the handle may say so.
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(client.get(), &mode, nullptr, nullptr);
    }
};

// The peer on a pipe's server end, in a thread of its own: each request
// report goes to the simulated device, its answer (if any) back, until the
// client end closes.
class Peer {
protected:
    Peer(std::unique_ptr<HidDevice> simulated, DWORD access)
        : pipe(access), _simulated(std::move(simulated)), _thread([this] { serve(); }) {}
    ~Peer() { _thread.join(); }

    PipePair pipe;

private:
    void serve() {
        Report request;
        DWORD n = 0;
        while (ReadFile(pipe.server.get(), request.data(), static_cast<DWORD>(request.size()), &n, nullptr)) {
            if (_simulated->write(request.data(), 0) != HidStatus::ok)
                continue;
            Report answer;
            std::size_t count = 0;
            if (_simulated->read(answer.data(), count, 0) == HidStatus::ok)
                WriteFile(pipe.server.get(), answer.data(), static_cast<DWORD>(count), &n, nullptr);
        }
    }

    std::unique_ptr<HidDevice> _simulated;
    std::thread _thread;
};

// A device on the client end of a pipe whose peer plays a simulated
// bootloader. The peer, a base of its own, is joined after the device has
// closed the client end.
class PipedDevice : private Peer, public WinHidDevice {
public:
    PipedDevice(std::unique_ptr<HidDevice> simulated, DWORD access)
        : Peer(std::move(simulated), access), WinHidDevice(WinHandle(pipe.client.release())) {}
};

// The simulated bootloader's devices, each opened as a PipedDevice.
class PipeBackend : public HidBackend {
public:
    PipeBackend(std::shared_ptr<sim::SimBootloader> simulated, DWORD access)
        : _simulated(std::move(simulated)), _access(access) {}

    std::optional<std::vector<std::string>> enumerate(const Log& log) override {
        return _simulated->enumerate(log);
    }
    std::unique_ptr<HidDevice> probe(const std::string& path) override { return _simulated->open(path); }
    std::unique_ptr<HidDevice> open(const std::string& path) override {
        std::unique_ptr<HidDevice> simulated = _simulated->open(path);
        if (!simulated)
            return nullptr;
        return std::make_unique<PipedDevice>(std::move(simulated), _access);
    }
    // The access of the devices opened from now on.
    void set_access(DWORD access) { _access = access; }

private:
    std::shared_ptr<sim::SimBootloader> _simulated;
    DWORD _access;
};

// The bootloader client on the simulated device, each of its operations
// through a pipe whose client end has the given access.
class WindowsTransfers : public fwtest::BootloaderTest {
protected:
    std::shared_ptr<PipeBackend> pipes = std::make_shared<PipeBackend>(backend, GENERIC_READ | GENERIC_WRITE);
    Session piped{console_out, console_err, "log.txt", pipes};
    PicBootloader piped_bl{piped, main_mcu()};

    void use_access(DWORD access) { pipes->set_access(access); }
};

TEST_F(WindowsTransfers, FirmwareGoesThroughOverlappedTransfers) {
    const fwtest::Image code = fwtest::firmware_image(0x800, 0x1000);
    for (const auto& [address, byte] : code)
        buffer.write(&byte, 1, address);
    piped_bl.erase("flash");
    window(0x800, 0x1000);
    piped_bl.write(it, "flash");
    window(0x800, 0x1000);
    piped_bl.verify(it, "flash");
    buffer.write(std::vector<std::uint8_t>(0x800, 0x00).data(), 0x800, 0x800);
    window(0x800, 0x1000);
    piped_bl.read(it, "flash");

    for (const auto& [address, byte] : code)
        ASSERT_EQ(buffer.data()[address], byte) << address;
    EXPECT_EQ(device.flash()[0x1000], 0xFF);
    EXPECT_THAT(console_out.str(), EndsWith("\rRVLN flash reading: DONE.\n"));
    EXPECT_EQ(dir.read("log.txt"), "");
    EXPECT_EQ(device.counters().opens, device.counters().closes);
}

// Failures log the system's error numbers, end the operation with their error
// and leave no transfer behind (the device closes and its peer ends).
TEST_F(WindowsTransfers, FailuresLogTheirErrorNumbers) {
    Packet answer;
    use_access(GENERIC_WRITE); // the read cannot start: access denied
    EXPECT_THROW(piped_bl.version(answer), DEHidReadFailed);
    use_access(GENERIC_READ); // the read is under way when the write cannot start
    EXPECT_THROW(piped_bl.version(answer), DEHidWriteFailed);
    EXPECT_THROW(piped_bl.reset(), DEHidWriteFailed);
    use_access(GENERIC_READ | GENERIC_WRITE);
    device.faults().short_read = 10;
    EXPECT_THROW(piped_bl.version(answer), DEHidReadFailed);

    // The reset has no failure frame: its device stays open until the next open.
    EXPECT_THAT(log_messages(),
                ElementsAre("LastError = 5", "LastError = 5", "LastError = 5",
                            "Assertion: m_hDevice == INVALID_HANDLE_VALUE", "LastError = 0, readed = 10"));
    EXPECT_EQ(device.counters().opens, device.counters().closes);

    // The device also says what failed, in the system's words and on one line.
    PipePair write_only(GENERIC_WRITE);
    WinHidDevice dev(WinHandle(write_only.client.release()));
    EXPECT_EQ(dev.last_error(), "");
    EXPECT_EQ(dev.begin_read(), HidStatus::failed);
    EXPECT_EQ(dev.error_number(), 5);
    EXPECT_NE(dev.last_error(), "");
    EXPECT_EQ(dev.last_error().find_first_of("\r\n"), std::string::npos) << dev.last_error();
}

TEST_F(WindowsTransfers, EachDirectionHasItsTimeLimit) {
    // No answer: the read times out and is abandoned; the pipe's next answer is
    // then read by a transfer of its own.
    PipePair pipe(GENERIC_READ | GENERIC_WRITE);
    WinHidDevice dev(WinHandle(pipe.client.release()));
    Report request{};
    request[1] = 0x04;
    Report report{};
    std::size_t count = 0;
    ASSERT_EQ(dev.begin_read(), HidStatus::ok);
    ASSERT_EQ(dev.write(request.data(), 100), HidStatus::ok);
    EXPECT_EQ(dev.read(report.data(), count, 20), HidStatus::timeout);
    dev.cancel();
    Report answer{};
    answer[1] = 0x42;
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(pipe.server.get(), answer.data(), 65, &n, nullptr));
    EXPECT_EQ(dev.read(report.data(), count, 2500), HidStatus::ok);
    EXPECT_EQ(count, 65u);
    EXPECT_EQ(report[1], 0x42);

    // Nobody takes the request from a pipe without room: the write times out.
    PipePair full(GENERIC_READ | GENERIC_WRITE, 0);
    WinHidDevice stuck(WinHandle(full.client.release()));
    HidStatus status = HidStatus::ok;
    for (int i = 0; i < 64 && status == HidStatus::ok; ++i)
        status = stuck.write(request.data(), 20);
    EXPECT_EQ(status, HidStatus::timeout);
    stuck.cancel();
}

TEST(WindowsConsoleLines, EndWithCarriageReturnAndLineFeed) {
    testsupport::ScratchDir dir;
    std::FILE* file = std::fopen("out.txt", "wb");
    ASSERT_NE(file, nullptr);
    {
        CrlfBuffer buffer(file);
        std::ostream o(&buffer);
        o << "\rRVLN flash reading: 0%\rRVLN flash reading: DONE.\n"
          << "\r\nretry = 0\r" << '\n'
          << "\n\n";
        o.flush();
    }
    std::fclose(file);
    EXPECT_EQ(dir.read("out.txt"),
              "\rRVLN flash reading: 0%\rRVLN flash reading: DONE.\r\n\r\nretry = 0\r\n\r\n\r\n");
}

} // namespace
