// The fw_update console program: one engine run over the command line.
//
// Exit status: 0 when the help or version command ran or the requested
// commands completed, 1 when no command was given, 2 for a device, file or
// argument-combination error, 3 for a command-line error, 4 for any other
// failure.
//
// With FW_UPDATE_SIMULATOR naming a folder, the program talks to a simulated
// bootloader whose memories live in that folder instead of a real device.
//
// On Windows the program's output ends its lines with "\r\n" (see
// console_windows.h).
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <utility>

#include "fw_update/session.h"
#include "sim/bootloader/sim_bootloader.h"

#ifdef _WIN32
#include "fw_update/console_windows.h"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    fwu::WindowsConsole console;
#endif
    std::shared_ptr<fwu::HidBackend> backend; // null: the platform's
    if (const char* folder = std::getenv("FW_UPDATE_SIMULATOR"); folder && *folder) {
        try {
            backend = sim::SimBootloader::from_folder(folder);
        } catch (const std::exception& e) {
            std::cerr << "fw_update: simulated bootloader in \"" << folder << "\": " << e.what() << std::endl;
            return fwu::result_unknown_error;
        }
    }
    // The log in the current folder.
    fwu::Session session(std::cout, std::cerr, "log.txt", std::move(backend));
    return fwu::run(session, argc, argv).code;
}
