// Registry data as bytes, the form in which the platform passes it: texts as
// UTF-16LE, numbers little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// REG_SZ / REG_EXPAND_SZ bytes: UTF-16LE with the terminating zero.
std::vector<std::uint8_t> WideToRegBytes(const std::wstring& text);
// Inverse of WideToRegBytes; stops at the first zero character.
std::wstring RegBytesToWide(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> DwordBytes(std::uint32_t value);

}  // namespace korvane
