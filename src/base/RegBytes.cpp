#include "base/RegBytes.h"

#include "base/Text.h"

namespace korvane {

std::vector<std::uint8_t> WideToRegBytes(const std::wstring& text) {
  std::vector<std::uint8_t> bytes = Utf16Bytes(text);
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::wstring RegBytesToWide(const std::vector<std::uint8_t>& bytes) {
  std::wstring text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    wchar_t c = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

std::vector<std::uint8_t> DwordBytes(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

}  // namespace korvane
