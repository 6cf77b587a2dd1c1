#include "pages/recording_file.h"

#include <array>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

namespace DADOV {

namespace {

#ifdef _WIN32
// Windows' C runtime: files in binary mode (no line-end translation), kept from child processes. A file
// open there cannot be deleted, so the restoring of a deleted file is never needed.
constexpr int kOpenFlags = _O_BINARY | _O_NOINHERIT;

int sync_file(int fd) {
    return ::_commit(fd);
}

ssize_t read_at(int fd, char* buffer, std::size_t size, off_t offset) {
    if (::lseek(fd, offset, SEEK_SET) < 0)
        return -1;
    return ::read(fd, buffer, static_cast<unsigned>(size));
}
#else
constexpr int kOpenFlags = O_CLOEXEC;

int sync_file(int fd) {
    return ::fdatasync(fd);
}

ssize_t read_at(int fd, char* buffer, std::size_t size, off_t offset) {
    return ::pread(fd, buffer, size, offset);
}
#endif

} // namespace

std::string error_text(int error) {
    return std::system_category().message(error);
}

int write_fully(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int sync_written_data(int fd) {
    if (sync_file(fd) == 0 || errno == EINVAL || errno == EROFS)
        return 0;
    return errno;
}

std::unique_ptr<RecordingFile> RecordingFile::create(const std::string& path, std::string_view firstRow,
                                                     FailureHandler onFailure, std::string& reason,
                                                     std::chrono::milliseconds syncInterval) {
    // Read access lets a deleted file be written again from what it holds.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | kOpenFlags, 0666);
    if (fd < 0 && errno == EACCES)
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | kOpenFlags, 0666);
    if (fd < 0) {
        reason = error_text(errno);
        return nullptr;
    }
    if (const int error = write_fully(fd, firstRow.data(), firstRow.size()); error != 0) {
        reason = error_text(error);
        ::close(fd);
        return nullptr;
    }
    auto file = std::make_unique<RecordingFile>(Key(), fd, path, std::move(onFailure), syncInterval);
    file->_written = static_cast<long long>(firstRow.size());
    file->_writer = std::thread(&RecordingFile::run, file.get());
    return file;
}

RecordingFile::RecordingFile(Key, int fd, std::string path, FailureHandler onFailure,
                             std::chrono::milliseconds syncInterval)
    : _path(std::move(path)), _onFailure(std::move(onFailure)), _syncInterval(syncInterval), _fd(fd) {}

RecordingFile::~RecordingFile() {
    finish();
}

void RecordingFile::append(std::string_view row) {
    const std::lock_guard lock(_m);
    if (_failed || _finishing)
        return;
    _pending.append(row);
}

RecordingFile::Failure RecordingFile::finish() {
    {
        const std::lock_guard lock(_m);
        if (_finished)
            return _failed ? _failure : Failure{};
        _finishing = true;
    }
    _wake.notify_one();
    if (_writer.joinable())
        _writer.join();
    if (::close(_fd) != 0 && !_failed) {
        _failed = true;
        _failure = {error_text(errno), true};
    }
    _fd = -1;
    _finished = true;
    return _failed ? _failure : Failure{};
}

void RecordingFile::run() {
    std::unique_lock lock(_m);
    for (;;) {
        _wake.wait_for(lock, _syncInterval, [this] { return _finishing; });
        std::string batch;
        batch.swap(_pending);
        const bool last = _finishing;
        lock.unlock();
        const bool written = write_out(batch);
        lock.lock();
        if (!written) {
            _failed = true;
            _pending.clear();
            const bool tell = !_finishing; // finish() reports it otherwise
            lock.unlock();
            if (tell && _onFailure)
                _onFailure(_failure);
            return;
        }
        if (last)
            return;
    }
}

bool RecordingFile::write_out(const std::string& batch) {
    struct stat status {};
    const bool regular = ::fstat(_fd, &status) == 0 && S_ISREG(status.st_mode);
    if (const int error = write_fully(_fd, batch.data(), batch.size()); error != 0) {
        // Only whole rows stay in the file.
        if (regular && ::ftruncate(_fd, _written) == 0)
            (void)::lseek(_fd, _written, SEEK_SET);
        _failure = {error_text(error), true};
        return false;
    }
    _written += static_cast<long long>(batch.size());
    if (regular && ::fstat(_fd, &status) == 0 && status.st_nlink == 0)
        return restore_deleted_file();
    if (!batch.empty()) {
        if (const int error = sync_written_data(_fd); error != 0) {
            _failure = {error_text(error), true};
            return false;
        }
    }
    return true;
}

// Writes every row so far to a new file at the path of the deleted one (never over another file put
// there since). Always ends the recording: false, with _failure saying what became of the rows.
bool RecordingFile::restore_deleted_file() {
    const int out = ::open(_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | kOpenFlags, 0666);
    if (out < 0) {
        _failure = {"the file was deleted, and it could not be written again (" + error_text(errno) + ")",
                    false};
        return false;
    }
    std::array<char, 65536> buffer{};
    int error = 0;
    for (off_t offset = 0; error == 0 && offset < _written;) {
        const ssize_t n = read_at(_fd, buffer.data(), buffer.size(), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        error = write_fully(out, buffer.data(), static_cast<std::size_t>(n));
        offset += n;
    }
    if (error == 0)
        error = sync_written_data(out);
    if (::close(out) != 0 && error == 0)
        error = errno;
    if (error != 0)
        _failure = {"the file was deleted, and it could not be written again (" + error_text(error) + ")",
                    false};
    else
        _failure = {"the file was deleted, and it has been written again", true};
    return false;
}

} // namespace DADOV
