// One-line texts for a person reading the output: registry data, changes and
// read-back differences.
#pragma once

#include <string>

#include "changes/Journal.h"
#include "changes/RegistryCheck.h"

namespace korvane {

std::wstring RegTypeName(std::uint32_t type);  // "REG_SZ", ..., "type 0x12345"
// The data after its type: "REG_SZ \"text\"", "REG_DWORD 0x00000001 (1)", "REG_BINARY 30 04".
std::wstring DescribeData(const RegData& data);
std::wstring DescribeChange(const Change& change);
std::wstring DescribeDifference(const Difference& difference);

// Texts from REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ bytes; nullopt when the bytes
// are not whole UTF-16 units, or when data follows the end of a REG_MULTI_SZ list.
// A zero inside a REG_SZ is kept as a character; only the terminating zeros go.
std::optional<std::wstring> RegText(const RegData& data);
std::optional<std::vector<std::wstring>> RegTexts(const RegData& data);
// The number of a REG_DWORD or REG_QWORD of the right size.
std::optional<std::uint64_t> RegNumber(const RegData& data);

}  // namespace korvane
