#include "support/scratch_dir.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testsupport {

ScratchDir::ScratchDir() : _previous(std::filesystem::current_path()) {
    std::random_device rd;
    std::mt19937_64 gen(rd());
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() / ("q5test-" + std::to_string(gen()));
        if (std::filesystem::create_directory(candidate)) {
            _path = candidate;
            std::filesystem::current_path(_path);
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch folder");
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::current_path(_previous, ec);
    std::filesystem::permissions(_path, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(_path, ec);
}

std::string ScratchDir::read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void ScratchDir::write(const std::string& name, const std::string& contents) const {
    std::ofstream out(file(name), std::ios::binary);
    out << contents;
}

} // namespace testsupport
