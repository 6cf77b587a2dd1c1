#pragma once

// A file that rows of text are appended to while readings stream in. The window thread only queues rows;
// a writer thread of the file's own writes them out and syncs them to the disk every half second, so a
// crash or a power cut loses at most about a second of rows and a slow disk never holds up the window.
//
// Only whole rows reach the file: when a write fails part-way (a full disk, a size limit) the file is cut
// back to the last complete row. A file deleted while rows are written to it is written again at its
// path with every row so far, when that path is free. After a failure no further rows are taken.
//
// Standard library and POSIX only.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace DADOV {

// Writes every byte, going on after short writes: 0, or the errno of the failure.
int write_fully(int fd, const char* data, std::size_t size);
// Syncs the data written to the disk; files that cannot be synced (pipes, devices) are no failure.
// 0, or the errno of the failure.
int sync_written_data(int fd);
// The system's text for an errno value.
std::string error_text(int error);

class RecordingFile {
public:
    // Why rows stopped reaching the file, and whether the rows written until then are in it.
    struct Failure {
        std::string reason;
        bool rowsKept = true;
    };
    // Told once, on the writer thread, when writing fails while rows are being taken.
    using FailureHandler = std::function<void(const Failure&)>;

    // How often the writer thread writes out and syncs what is queued: half a second, unless the file is
    // created with another interval (tests shorten it so as not to wait on the disk's schedule).
    static constexpr std::chrono::milliseconds kSyncInterval{500};

    // Creates the file (emptying one that is there) and writes the first row at once. Null, with the
    // reason, when the file cannot be created or written.
    static std::unique_ptr<RecordingFile> create(const std::string& path, std::string_view firstRow,
                                                 FailureHandler onFailure, std::string& reason,
                                                 std::chrono::milliseconds syncInterval = kSyncInterval);
    // finish()
    ~RecordingFile();

    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    // Queues one row, with its line end. Dropped after a failure.
    void append(std::string_view row);
    // Writes what is queued, syncs and closes the file. The failure, if writing failed at any time
    // (reason empty otherwise). Later calls return the same.
    Failure finish();

private:
    struct Key {
        explicit Key() = default;
    };

public:
    // Use create().
    RecordingFile(Key, int fd, std::string path, FailureHandler onFailure,
                  std::chrono::milliseconds syncInterval);

private:
    void run();
    // Writes one batch of rows and syncs it; false with _failure set when that did not work.
    bool write_out(const std::string& batch);
    bool restore_deleted_file();

    const std::string _path;
    const FailureHandler _onFailure;
    const std::chrono::milliseconds _syncInterval;
    int _fd = -1;
    long long _written = 0; // bytes of complete rows in the file

    std::mutex _m;
    std::condition_variable _wake;
    std::string _pending; // rows not yet handed to the writer
    bool _finishing = false;
    bool _failed = false;
    Failure _failure;
    bool _finished = false;
    std::thread _writer;
};

} // namespace DADOV
