// Shared helpers of every page: process runner, directory lookups, version and
// WOW64 tests, folder deletion and the Home page texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace korvane {

constexpr std::uint32_t kRunFailed = 0xFFFFFFFFu;
constexpr std::size_t kMaxCommandLine = 512;

// Set once at start-up on a supported system: the run's private scratch folder
// followed by one backslash.
extern std::wstring TempPath;
// Why this run has no scratch folder (TempPath is empty); empty when it has one.
extern std::wstring TempPathProblem;

// How a run ended: started (and then waited for to its end, with its exit code), or
// not started, with the text that says so: Cannot run "<program>". <reason>
// A started program whose exit code could not be read, or that ended by an exception
// (an NTSTATUS error code 0xC000xxxx), has a failure too: it did not do its work.
struct RunResult {
  bool started = false;
  std::uint32_t exitCode = kRunFailed;
  std::wstring failure;
  // Started and ended on its own terms, whatever exit code it chose.
  bool ok() const { return started && failure.empty(); }
};

// Starts commandLine in its own console with the given show mode and waits for it,
// letting the window handle its messages every 50 ms.  The program is the one
// ResolveSystemProgram names; nothing is started when it names none, nor for a
// command line longer than kMaxCommandLine characters (refused rather than cut short).
RunResult RunProcess(const std::wstring& commandLine, int showMode);

// RunProcess's exit code, or kRunFailed when nothing was started or the code could
// not be read.
std::uint32_t RunAndWait(const std::wstring& commandLine, int showMode);

// RunAndWait for a tool the user is waiting on: one that cannot be started, or that
// ended by an exception, raises KorvaneError with RunResult::failure, so no success is
// reported for it.  A tool that ended on its own returns its exit code, whatever it is.
std::uint32_t RunToolAndWait(const std::wstring& commandLine, int showMode);

// WinExec's contract -- start, do not wait -- with RunProcess's choice of program and
// RunToolAndWait's error when it cannot be started.
void StartTool(const std::wstring& commandLine, int showMode);

std::wstring GetWinDir();
std::wstring GetSysDir();
std::wstring GetTempDir();

bool IsWindows8();
bool IsWindows81();
bool IsWindows10();
bool IsWow64();

// Deletes a directory with everything in it, silently and permanently; a path that
// is missing or names a file is left alone.  A link inside (a junction, a symbolic
// link, a mount point) is removed as a link: what it leads to is never touched.  True when no
// directory is left at the path; otherwise false, with the reason in *reason when asked for.
bool DeleteFolderTree(const std::wstring& path, std::wstring* reason = nullptr);

// DeleteFolderTree for a repair: a folder that is still there afterwards raises
// KorvaneError "Cannot delete folder "%s". %s" with the reason.
void DeleteFolderTreeOrRaise(const std::wstring& path);

// A file held against change: while the hold lasts no other process can write,
// replace, rename or delete it.  A tool given a script to run reads exactly what
// was checked, even with a hostile program of the same user watching TEMP.
class HeldFile {
 public:
  HeldFile() = default;
  // Holds the file at `path` and reads it back through the hold.  Raises KorvaneError
  // "Cannot create file "%s". %s" when it cannot be held, or when it no longer holds
  // `expected` (another program changed it after it was written).
  HeldFile(const std::wstring& path, const std::vector<std::uint8_t>& expected);
  HeldFile(HeldFile&& other) noexcept : lock_(other.lock_) { other.lock_ = 0; }
  HeldFile& operator=(HeldFile&& other) noexcept;
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  ~HeldFile() { release(); }
  void release();

 private:
  Handle lock_ = 0;
};

// Writes `bytes` to `path`, a file that must not be there yet, and holds it.  Raises
// KorvaneError "Cannot create file "%s". %s" when it cannot be written or held as
// written, or when `path` is a bare name (the run has no scratch folder).
HeldFile WriteHeldFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

// A scratch file left by an earlier attempt is deleted before a new one is written.
// Nothing is deleted without a scratch folder: a bare name would be a file of the
// current folder, which is nobody's to trust.
void DeleteScratchFile(const std::wstring& path);
// Raises KorvaneError "Cannot create file "%s". There is no private folder for
// Korvane's scratch files: <why>" when `path` is a bare name.
void RequireScratchFolder(const std::wstring& path);

bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);

// Single-byte text with CR LF after every line, the last one too.  The texts are
// 7-bit ASCII by construction; anything else would be written as '?'.
std::vector<std::uint8_t> LinesToCrLfBytes(const std::vector<std::string>& lines);
// The same lines as a registry script for reg.exe import: UTF-16LE with a byte-order
// mark, as regedit exports.  Windows reads it exactly like the single-byte form;
// Wine's reg.exe reads expandable (hex(2)) data as text only in this form.
std::vector<std::uint8_t> LinesToRegFileBytes(const std::vector<std::string>& lines);

// A path as a command line: quoted when it holds a blank, so that Windows cannot read
// "C:\Users\Ann Lee\..." as the program "C:\Users\Ann", and when it holds a
// character the command processor treats specially (& | < > ( ) ^ % ! , ; =), so
// that a path such as "C:\work\t&calc" is never split into two commands.
std::wstring CommandLineForPath(const std::wstring& path);

// The command line on which the System directory's command processor runs the batch
// file at `path` and nothing else, whatever characters the path holds.  A path with
// a "%" cannot be given to it safely and raises KorvaneError
// "Cannot run "%s". <why>".
std::wstring BatchCommandLine(const std::wstring& path);

// --- Home page summary ---
std::wstring GetCPUName();
std::wstring GetTotalRAM();
std::wstring FormatByteSize(std::uint64_t bytes, int unit);
std::wstring GetWindowsName();
std::wstring GetMotherboardName();

}  // namespace korvane
