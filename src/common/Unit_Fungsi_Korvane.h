// Shared helpers of every page: process runner, directory lookups, version and
// WOW64 tests, folder deletion and the Home page texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

constexpr std::uint32_t kRunFailed = 0xFFFFFFFFu;
constexpr std::size_t kMaxCommandLine = 512;

// Set once at start-up on a supported system: TEMP followed by one backslash.
extern std::wstring TempPath;

// Starts commandLine in its own console with the given show mode and waits for it,
// letting the window handle its messages every 50 ms.  Returns the exit code, or
// kRunFailed when nothing could be started (including a command line longer than
// kMaxCommandLine characters, which is refused rather than cut short).
std::uint32_t RunAndWait(const std::wstring& commandLine, int showMode);

std::wstring GetWinDir();
std::wstring GetSysDir();
std::wstring GetTempDir();

bool IsWindows8();
bool IsWindows81();
bool IsWindows10();
bool IsWow64();

// Deletes a directory with everything in it, silently and permanently; a path that
// is missing or names a file is left alone.
void DeleteFolderTree(const std::wstring& path);

bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);

// Single-byte text with CR LF after every line, the last one too.  The texts are
// 7-bit ASCII by construction; anything else would be written as '?'.
std::vector<std::uint8_t> LinesToCrLfBytes(const std::vector<std::string>& lines);

// A path as a command line: quoted when it holds a blank, so that Windows cannot
// read "C:\Users\Ann Lee\..." as the program "C:\Users\Ann".
std::wstring CommandLineForPath(const std::wstring& path);

// --- Home page summary ---
std::wstring GetCPUName();
std::wstring GetTotalRAM();
std::wstring FormatByteSize(std::uint64_t bytes, int unit);
std::wstring GetWindowsName();
std::wstring GetMotherboardName();

}  // namespace korvane
