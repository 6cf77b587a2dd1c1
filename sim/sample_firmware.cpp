#include "sim/sample_firmware.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
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
    char field[8];
    std::uint32_t upper = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const std::uint32_t a = address + static_cast<std::uint32_t>(at);
        if ((a >> 16) != upper) {
            upper = a >> 16;
            const unsigned sum = 2 + 4 + (upper >> 8) + (upper & 0xFF);
            std::snprintf(field, sizeof field, "%04X", static_cast<unsigned>(upper));
            text += ":02000004";
            text += field;
            std::snprintf(field, sizeof field, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
            text += field;
        }
        const std::size_t n = std::min<std::size_t>(16, bytes.size() - at);
        unsigned sum = static_cast<unsigned>(n) + ((a >> 8) & 0xFF) + (a & 0xFF);
        std::snprintf(field, sizeof field, ":%02X", static_cast<unsigned>(n));
        text += field;
        std::snprintf(field, sizeof field, "%04X00", static_cast<unsigned>(a & 0xFFFF));
        text += field;
        for (std::size_t i = 0; i < n; ++i) {
            std::snprintf(field, sizeof field, "%02X", bytes[at + i]);
            text += field;
            sum += bytes[at + i];
        }
        std::snprintf(field, sizeof field, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += field;
    }
    text += ":00000001FF\r\n";
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
