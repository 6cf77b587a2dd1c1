// Runs fw_update.exe for the program tests of the Windows build: a child
// process with its standard output and error on pipes.

#include "bootloader/fw_update_harness.h"

#include "fw_update/hid_windows.h"

#include <stdexcept>
#include <thread>

namespace fwtest {

namespace {

using fwu::WinHandle;

// The program beside this test program.
std::string program_path() {
    std::string path(MAX_PATH, '\0');
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size())
        throw std::runtime_error("cannot find the test program's folder");
    path.resize(n);
    return path.substr(0, path.find_last_of("\\/") + 1) + "fw_update.exe";
}

// One argument as the C runtime splits a command line: in quotes, with the
// backslashes before a quote doubled.
std::string quoted(const std::string& arg) {
    std::string q = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        q.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        q += c;
    }
    q.append(2 * backslashes, '\\');
    return q + "\"";
}

void drain(HANDLE pipe, std::string& text) {
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buf, sizeof buf, &n, nullptr) && n > 0)
        text.append(buf, n);
}

} // namespace

ProgramRun run_fw_update(const std::vector<std::string>& args, const std::string& simulator) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
    if (!CreatePipe(&out_read, &out_write, &inherit, 0))
        throw std::runtime_error("pipe");
    WinHandle out_r(out_read), out_w(out_write);
    if (!CreatePipe(&err_read, &err_write, &inherit, 0))
        throw std::runtime_error("pipe");
    WinHandle err_r(err_read), err_w(err_write);
    // Only the child's ends are inherited.
    SetHandleInformation(out_r.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_r.get(), HANDLE_FLAG_INHERIT, 0);
    WinHandle null_in(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  OPEN_EXISTING, 0, nullptr));

    const std::string program = program_path();
    std::string command_line = quoted(program);
    for (const std::string& a : args)
        command_line += " " + quoted(a);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = null_in.get();
    startup.hStdOutput = out_w.get();
    startup.hStdError = err_w.get();
    PROCESS_INFORMATION process{};
    // The child inherits the variable; this process goes on without it.
    SetEnvironmentVariableA("FW_UPDATE_SIMULATOR", simulator.empty() ? nullptr : simulator.c_str());
    const bool started = CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA("FW_UPDATE_SIMULATOR", nullptr);
    if (!started)
        throw std::runtime_error("cannot start " + program);
    WinHandle process_handle(process.hProcess);
    WinHandle thread_handle(process.hThread);
    // The child holds its own copies: the pipes end when it does.
    out_w.reset();
    err_w.reset();
    null_in.reset();

    std::string raw_out, raw_err;
    std::thread err_reader([&] { drain(err_r.get(), raw_err); });
    std::thread out_reader([&] { drain(out_r.get(), raw_out); });
    const bool hangs = WaitForSingleObject(process_handle.get(), 30000) == WAIT_TIMEOUT;
    if (hangs)
        TerminateProcess(process_handle.get(), 255);
    out_reader.join();
    err_reader.join();
    if (hangs)
        throw std::runtime_error("fw_update.exe hangs");

    DWORD status = 0;
    GetExitCodeProcess(process_handle.get(), &status);
    ProgramRun run;
    run.status = static_cast<int>(status);
    run.out = program_text(raw_out, "the output of fw_update.exe");
    run.err = program_text(raw_err, "the error output of fw_update.exe");
    return run;
}

} // namespace fwtest
