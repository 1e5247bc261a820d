// Small text helpers that are not about any one subsystem: UTF-8 at the program's
// edges, wide text inside, and the case rules of registry names and Windows paths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// Invalid sequences become U+FFFD rather than failing: an argument or a registry
// text is shown, never rejected, for its encoding.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// Text for one line of plain output: registry data, names and messages may hold line
// breaks and other control characters that would forge lines of their own (or drive
// a terminal), so CR, LF and TAB become \r, \n, \t and every other control character
// \xNN (U+2028 and U+2029, which some readers take as line ends, \u2028 and \u2029;
// the bidirectional controls U+200E, U+200F, U+202A to U+202E and U+2066 to U+2069,
// which reorder what a console shows, \uNNNN likewise).
// Backslashes stay as they are: they are what registry paths are made of.
std::wstring EscapeControls(const std::wstring& text);

// Windows compares registry names and paths without regard to case.
wchar_t LowerChar(wchar_t c);
// `value` in hexadecimal, at least `digits` digits (zeros in front), without "0x".
std::wstring HexText(std::uint64_t value, int digits, bool upperCase = false);

std::wstring LowerText(const std::wstring& text);
bool SameNoCase(const std::wstring& a, const std::wstring& b);

// Components of a registry path; empty components (doubled or edge backslashes)
// are dropped, blanks inside a component are kept (" FileSyncEx" is a real name).
std::vector<std::wstring> SplitKeyPath(const std::wstring& path);
std::wstring JoinKeyPath(const std::vector<std::wstring>& parts);
// True when `path` is `ancestor` or lies below it (both as joined by JoinKeyPath).
bool IsSameOrBelow(const std::wstring& path, const std::wstring& ancestor);

// A Windows path in the form in which two spellings of one path compare equal:
// lower case, "/" as "\\", no trailing backslash except after a drive ("c:\\").
std::wstring NormalPath(const std::wstring& path);
// The folder a file would be created in, as Windows resolves it: "C:\\X" lies in
// "C:\\", and "\\X" (what an empty TEMP makes of a scratch file) in the root of
// the current drive, "\\".  Empty when the path names no folder.
std::wstring ParentFolder(const std::wstring& path);

// UTF-16LE bytes of a text, without a terminating zero; a wchar_t of 32 bits
// beyond U+FFFF becomes its surrogate pair.
std::vector<std::uint8_t> Utf16Bytes(const std::wstring& text);

// A .reg file's text: UTF-16LE when it starts with that byte-order mark, otherwise
// single-byte (each byte one character, which is how the payloads are written).
std::wstring DecodeRegFile(const std::vector<std::uint8_t>& bytes);
// UTF-16LE with its byte-order mark, line ends as CR LF.  This is what regedit
// exports, and the only form in which Wine's reg.exe reads hex(2) and hex(7)
// data as text.
std::vector<std::uint8_t> EncodeRegFile(const std::wstring& text);

}  // namespace korvane
