#include "bootloader/fw_update_harness.h"

#include "fw_update/image/intel_hex_record.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fwtest {

Image firmware_image(std::uint32_t begin, std::uint32_t end, std::uint8_t seed) {
    Image image;
    for (std::uint32_t a = begin; a < end; ++a)
        image[a] = static_cast<std::uint8_t>((a * 7u + seed + (a >> 8)) & 0xFF);
    return image;
}

std::string hex_record(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data) {
    return fwu::IntelHexRecord::line(type, address, data);
}

std::string hex_text(const Image& image) {
    std::string text;
    std::uint32_t page = 0xFFFFFFFF;
    auto it = image.begin();
    while (it != image.end()) {
        const std::uint32_t start = it->first;
        if ((start >> 16) != page) {
            page = start >> 16;
            text += hex_record(4, 0, {std::uint8_t(page >> 8), std::uint8_t(page & 0xFF)});
        }
        std::vector<std::uint8_t> data;
        std::uint32_t next = start;
        while (it != image.end() && it->first == next && data.size() < 16 && (next >> 16) == page) {
            data.push_back(it->second);
            ++next;
            ++it;
        }
        text += hex_record(0, static_cast<std::uint16_t>(start & 0xFFFF), data);
    }
    return text + ":00000001FF\n";
}

std::vector<Chunk> read_chunks(fwu::Image& image, std::uint32_t max) {
    std::vector<Chunk> chunks;
    std::vector<std::uint8_t> data(max);
    std::uint32_t address = 0xDEADBEEF;
    while (const std::uint32_t n = image.read(data.data(), max, address)) {
        if (n > max)
            throw std::runtime_error("a read delivered more than it was asked for");
        chunks.emplace_back(address, std::vector<std::uint8_t>(data.begin(), data.begin() + n));
        address = 0xDEADBEEF;
    }
    return chunks;
}

std::vector<std::string> words(const std::string& command_line) {
    std::istringstream in(command_line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// On Windows the program is started by fw_update_harness_windows.cpp.
#ifndef _WIN32
namespace {
std::string drain(pid_t pid, int fd_out, int fd_err, std::string& err) {
    std::string out;
    pollfd fds[2] = {{fd_out, POLLIN, 0}, {fd_err, POLLIN, 0}};
    int open_count = 2;
    while (open_count > 0) {
        if (poll(fds, 2, 30000) <= 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            throw std::runtime_error("fw_update program hangs");
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                fds[i].fd = -1;
                --open_count;
                continue;
            }
            (i == 0 ? out : err).append(buf, static_cast<std::size_t>(n));
        }
    }
    return out;
}
} // namespace

ProgramRun run_fw_update(const std::vector<std::string>& args, const std::string& simulator) {
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork");
    if (pid == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        const int null_fd = open("/dev/null", O_RDONLY);
        dup2(null_fd, 0);
        close(out_pipe[0]);
        close(err_pipe[0]);
        if (simulator.empty())
            unsetenv("FW_UPDATE_SIMULATOR");
        else
            setenv("FW_UPDATE_SIMULATOR", simulator.c_str(), 1);
        std::vector<char*> argv;
        std::string program = FW_UPDATE_PROGRAM;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    ProgramRun run;
    run.out = drain(pid, out_pipe[0], err_pipe[0], run.err);
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}
#endif

std::string program_text(const std::string& raw, const std::string& what) {
#ifdef _WIN32
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue;
        if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r'))
            throw std::runtime_error(what + " ends a line without \"\\r\": " + raw);
        text += raw[i];
    }
    return text;
#else
    (void)what;
    return raw;
#endif
}

std::vector<std::uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace fwtest
