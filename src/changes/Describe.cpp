#include "changes/Describe.h"

#include "base/Text.h"
#include "changes/RegScript.h"

namespace korvane {
namespace {

std::wstring HexBytes(const std::vector<std::uint8_t>& bytes) {
  std::wstring out;
  for (size_t i = 0; i < bytes.size(); ++i) out += (i ? L" " : L"") + HexText(bytes[i], 2);
  return out;
}

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

std::wstring ValueName(const std::wstring& name) { return RegValueNameToken(name); }

}  // namespace

std::wstring RegTypeName(std::uint32_t type) {
  switch (type) {
    case kRegNone:
      return L"REG_NONE";
    case kRegSz:
      return L"REG_SZ";
    case kRegExpandSz:
      return L"REG_EXPAND_SZ";
    case kRegBinary:
      return L"REG_BINARY";
    case kRegDword:
      return L"REG_DWORD";
    case kRegMultiSz:
      return L"REG_MULTI_SZ";
    case kRegQword:
      return L"REG_QWORD";
    default:
      return L"type 0x" + HexText(type, 1);
  }
}

std::optional<std::wstring> RegText(const RegData& data) {
  if (data.bytes.size() % 2 != 0) return std::nullopt;
  std::wstring text;
  for (size_t i = 0; i + 1 < data.bytes.size(); i += 2)
    text.push_back(static_cast<wchar_t>(data.bytes[i] | (data.bytes[i + 1] << 8)));
  // The terminating zero (or zeros) go; a zero inside stays, so that what follows it
  // is shown too: a program that reads the value whole sees it.
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

std::optional<std::vector<std::wstring>> RegTexts(const RegData& data) {
  if (data.bytes.size() % 2 != 0) return std::nullopt;
  std::vector<std::wstring> texts;
  std::wstring current;
  for (size_t i = 0; i + 1 < data.bytes.size(); i += 2) {
    const auto c = static_cast<wchar_t>(data.bytes[i] | (data.bytes[i + 1] << 8));
    if (c != 0) {
      current.push_back(c);
      continue;
    }
    if (current.empty()) {
      // The empty text that ends the list; anything but zeros after it is data the
      // list form cannot show.
      for (size_t j = i + 2; j < data.bytes.size(); ++j)
        if (data.bytes[j] != 0) return std::nullopt;
      break;
    }
    texts.push_back(current);
    current.clear();
  }
  if (!current.empty()) texts.push_back(current);
  return texts;
}

std::optional<std::uint64_t> RegNumber(const RegData& data) {
  const size_t size = data.type == kRegDword ? 4 : data.type == kRegQword ? 8 : 0;
  if (size == 0 || data.bytes.size() != size) return std::nullopt;
  std::uint64_t v = 0;
  for (size_t i = 0; i < size; ++i) v |= static_cast<std::uint64_t>(data.bytes[i]) << (8 * i);
  return v;
}

std::wstring DescribeData(const RegData& data) {
  const std::wstring type = RegTypeName(data.type);
  if (data.type == kRegSz || data.type == kRegExpandSz) {
    if (auto text = RegText(data)) return type + L" " + Quoted(*text);
  }
  if (data.type == kRegMultiSz) {
    if (auto texts = RegTexts(data)) {
      std::wstring out = type;
      for (const auto& t : *texts) out += L" " + Quoted(t);
      return out;
    }
  }
  if (auto n = RegNumber(data))
    return type + L" 0x" + HexText(*n, data.type == kRegDword ? 8 : 16) + L" (" +
           std::to_wstring(*n) + L")";
  return data.bytes.empty() ? type + L" (no data)" : type + L" " + HexBytes(data.bytes);
}

std::wstring DescribeChange(const Change& c) {
  const std::wstring key = FullKeyName(c.root, c.path);
  switch (c.kind) {
    case ChangeKind::CreateKey:
      return L"create key     " + key;
    case ChangeKind::SetValue:
      return L"set value      " + key + L"  " + ValueName(c.name) + L" = " + DescribeData(c.data);
    case ChangeKind::DeleteValue:
      return L"delete value   " + key + L"  " + ValueName(c.name);
    case ChangeKind::DeleteKey:
      return L"delete key     " + key;
    case ChangeKind::WriteFile:
      return L"write file     " + c.path + L" (" + std::to_wstring(c.byteCount) + L" bytes)";
    case ChangeKind::DeleteFile:
      return L"delete file    " + c.path;
    case ChangeKind::ReplaceFile:
      return L"replace file   " + c.other + L" with " + c.path;
    case ChangeKind::DeleteFolder:
      return L"delete folder  " + c.path;
    case ChangeKind::RunProgram:
      return L"run            " + c.path;
    case ChangeKind::StartProgram:
      return L"start          " + c.path;
    case ChangeKind::ShellRequest:
      return L"shell " + c.other + L"  " + c.path;
    case ChangeKind::RestorePoint:
      return L"restore point  " + Quoted(c.path);
    case ChangeKind::HandOver:
      return L"hand over      " + key + L"  " + ValueName(c.name) + L" = " +
             (c.valueAbsent ? L"(absent)" : DescribeData(c.data)) + L" to the program started next";
    case ChangeKind::StopService:
      return L"stop service   " + c.path;
    case ChangeKind::StartService:
      return L"start service  " + c.path;
    case ChangeKind::RenameFolder:
      return L"rename folder  " + c.path + L" to " + c.other;
  }
  return {};
}

std::wstring DescribeDifference(const Difference& d) {
  using W = Difference::What;
  const std::wstring key = FullKeyName(d.root, d.path);
  const std::wstring value = key + L"  " + ValueName(d.name);
  switch (d.what) {
    case W::MissingKey:
      return L"missing key      " + key;
    case W::UnexpectedKey:
      return L"unexpected key   " + key;
    case W::MissingValue:
      return L"missing value    " + value + L" (expected " + DescribeData(*d.expected) + L")";
    case W::UnexpectedValue:
      return L"unexpected value " + value + (d.actual ? L" = " + DescribeData(*d.actual) : L"");
    case W::WrongValue:
      return L"wrong value      " + value + L" = " + DescribeData(*d.actual) + L" (expected " +
             DescribeData(*d.expected) + L")";
    case W::ServiceNotRunning:
      return L"not running      service " + d.path;
    case W::MissingFolder:
      return L"missing folder   " + d.path;
  }
  return {};
}

}  // namespace korvane
