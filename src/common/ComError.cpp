#include "common/ComError.h"

#include <cstdio>

namespace korvane {
namespace {
std::wstring TrimTail(std::wstring s) {
  while (!s.empty() && (s.back() <= L' ' || s.back() == L'.')) s.pop_back();
  return s;
}
}  // namespace

std::wstring ComErrorText(const ComFailure& failure) {
  std::wstring text = TrimTail(failure.description);
  if (text.empty()) text = TrimTail(failure.systemMessage);
  if (text.empty()) {
    wchar_t buf[32];
    std::swprintf(buf, 32, L"OLE error %.8X", static_cast<unsigned>(failure.hr));
    text = buf;
  }
  return text;
}

}  // namespace korvane
