#include "sim/sample_firmware.h"

#include "fw_update/image/intel_hex_record.h"

#include <algorithm>
#include <fstream>
#include <span>
#include <stdexcept>

namespace sim {

std::vector<std::uint8_t> sample_firmware(unsigned variant, std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + variant * 31 + (i >> 8)) & 0xFF);
    return bytes;
}

std::string intel_hex(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
    std::string text;
    // Each record line with "\r\n" at its end instead of "\n".
    const auto add = [&text](const std::string& line) {
        text.append(line, 0, line.size() - 1);
        text += "\r\n";
    };
    std::uint32_t upper = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const std::uint32_t a = address + static_cast<std::uint32_t>(at);
        if ((a >> 16) != upper) {
            upper = a >> 16;
            const std::uint8_t page[] = {static_cast<std::uint8_t>(upper >> 8),
                                         static_cast<std::uint8_t>(upper)};
            add(fwu::IntelHexRecord::line(fwu::IntelHexRecord::extended_linear_address, 0, page));
        }
        const std::size_t n = std::min<std::size_t>(16, bytes.size() - at);
        add(fwu::IntelHexRecord::line(fwu::IntelHexRecord::data, static_cast<std::uint16_t>(a),
                                      std::span(bytes).subspan(at, n)));
    }
    add(fwu::IntelHexRecord::line(fwu::IntelHexRecord::end_of_file, 0, {}));
    return text;
}

void write_sample_firmware(const std::filesystem::path& file, unsigned variant, std::size_t length) {
    const std::string text = intel_hex(application_start, sample_firmware(variant, length));
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

} // namespace sim
