// SHA-256 of a byte string, for telling whether a file is still the one the
// program wrote: a plain checksum could be matched by a file made to fit it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// The digest as 64 lower-case hexadecimal digits.
std::wstring Sha256Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace korvane
