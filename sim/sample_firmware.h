#pragma once

// Sample firmware for simulate mode and the tests: small Intel HEX files in the form the controller's
// firmware comes in, program bytes from the application start (flash offset 0x0800) on.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sim {

inline constexpr std::uint32_t application_start = 0x0800;

// Program bytes of a sample image: a pattern that differs per variant and from one byte to the next.
std::vector<std::uint8_t> sample_firmware(unsigned variant, std::size_t length);

// The bytes as Intel HEX text: data records of 16 bytes from `address` on, then the end-of-file record;
// lines end with "\r\n".
std::string intel_hex(std::uint32_t address, const std::vector<std::uint8_t>& bytes);

// Writes a sample image as a HEX file; throws std::runtime_error when it cannot be written.
void write_sample_firmware(const std::filesystem::path& file, unsigned variant, std::size_t length);

} // namespace sim
