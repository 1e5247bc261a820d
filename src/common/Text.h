// Small text helpers that are not about any one subsystem: UTF-8 at the program's
// edges, wide text inside, and the case rules of registry names and Windows paths.
#pragma once

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
// \xNN (U+2028 and U+2029, which some readers take as line ends, \u2028 and \u2029).
// Backslashes stay as they are: they are what registry paths are made of.
std::wstring EscapeControls(const std::wstring& text);

// Windows compares registry names and paths without regard to case.
std::wstring LowerText(const std::wstring& text);
bool SameNoCase(const std::wstring& a, const std::wstring& b);

// Components of a registry path; empty components (doubled or edge backslashes)
// are dropped, blanks inside a component are kept (" FileSyncEx" is a real name).
std::vector<std::wstring> SplitKeyPath(const std::wstring& path);
std::wstring JoinKeyPath(const std::vector<std::wstring>& parts);
// True when `path` is `ancestor` or lies below it (both as joined by JoinKeyPath).
bool IsSameOrBelow(const std::wstring& path, const std::wstring& ancestor);

}  // namespace korvane
