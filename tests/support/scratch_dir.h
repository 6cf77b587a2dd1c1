#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A fresh folder under the system's temporary folder that becomes the current
// folder for the lifetime of the object (the engine writes "log.txt" and its
// working files there). The previous folder is restored and the folder removed
// on destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return _path; }
    std::filesystem::path file(const std::string& name) const { return _path / name; }

    // Whole contents of a file in the folder; empty when missing.
    std::string read(const std::string& name) const;
    void write(const std::string& name, const std::string& contents) const;

private:
    std::filesystem::path _path;
    std::filesystem::path _previous;
};

} // namespace testsupport
