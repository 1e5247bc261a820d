#include "common/Unit_Fungsi_Korvane.h"

#include <cmath>
#include <cstdio>

#include "base/ErrorText.h"
#include "base/Text.h"
#include "common/ComError.h"
#include "common/KorvaneError.h"
#include "common/ProgramPath.h"
#include "common/Registry.h"
#include "platform/Platform.h"

namespace korvane {

std::wstring TempPath;
std::wstring TempPathProblem;

namespace {
constexpr std::uint32_t kCreateNewConsole = 0x10;
constexpr std::uint32_t kNormalPriorityClass = 0x20;
}  // namespace

namespace {

std::wstring CannotRun(const std::wstring& commandLine, const std::wstring& reason) {
  return L"Cannot run \"" + ProgramToken(commandLine) + L"\". " + reason;
}

// An exit code of error severity (0xC0000000 up to 0xEFFFFFFF) is an exception's code:
// Windows ends a process that way when an exception was not handled (0xE06D7363 a C++
// one, 0xE0434352 a .NET one) or the loader could not start it (0xC0000135, 0xC06D007E
// a delay-loaded DLL, 0xC0150002 a side-by-side assembly), so it did not do its work;
// so does a breakpoint left in (0x80000003).  0xFFFFFFFF and the other small negative
// numbers, like every other code a tool chooses itself, are its own business.
bool EndedByException(std::uint32_t code) {
  return (code >= 0xC0000000u && code < 0xF0000000u) || code == 0x80000003u;
}

std::wstring EndedByExceptionText(const std::wstring& commandLine, std::uint32_t status) {
  std::wstring text = L"\"" + ProgramToken(commandLine) + L"\" ended abnormally with status 0x" +
                      HexText(status, 8, /*upperCase=*/true);
  const long error = Sys().ntStatusToWin32Error(status);
  if (error != kErrorMrMidNotFound) {
    const std::wstring words = Sys().errorText(error);
    if (!words.empty()) text += L". " + words;
  }
  return text;
}

}  // namespace

RunResult RunProcess(const std::wstring& commandLine, int showMode) {
  RunResult result;
  // CreateProcessW may write into its command line, hence the writable copy; a
  // longer line would have to be cut, and a cut command could do something else.
  if (commandLine.size() > kMaxCommandLine) {
    result.failure = CannotRun(commandLine, L"The command line is longer than " +
                                                std::to_wstring(kMaxCommandLine) + L" characters");
    return result;
  }
  // A tool missing from where it belongs is not looked for anywhere else: whatever a
  // search found in the current folder or beside the program would run elevated.
  const std::optional<std::wstring> program = ResolveSystemProgram(commandLine);
  if (!program) {
    result.failure = CannotRun(commandLine, Sys().errorText(kErrorFileNotFound));
    return result;
  }
  std::vector<wchar_t> buffer(kMaxCommandLine + 1, L'\0');
  std::copy(commandLine.begin(), commandLine.end(), buffer.begin());

  ProcessHandles handles;
  if (!Sys().createProcess(&*program, buffer, kCreateNewConsole | kNormalPriorityClass, showMode,
                           &handles)) {
    result.failure = CannotRun(commandLine, Sys().lastErrorText());
    return result;
  }

  while (Sys().waitForSingleObject(handles.process, 0) == kWaitTimeout) {
    Sys().processMessages();
    Sys().sleep(50);
  }
  // A wait that fails leaves the tool's end unknown; the exit code read then would
  // be STILL_ACTIVE's 259, which is no result at all.
  const bool ended = Sys().waitForSingleObject(handles.process, kInfinite) == kWaitObject0;
  const std::wstring waitFailure = ended ? std::wstring() : Sys().lastErrorText();
  std::uint32_t code = 0;
  // A code that could not be read is no evidence that the tool did its work.
  const bool read = ended && Sys().getExitCodeProcess(handles.process, &code);
  const std::wstring readFailure = read || !ended ? std::wstring() : Sys().lastErrorText();
  Sys().closeHandle(handles.process);
  Sys().closeHandle(handles.thread);
  result.started = true;
  if (!ended) {
    result.exitCode = kRunFailed;
    result.failure = L"Cannot wait for \"" + ProgramToken(commandLine) + L"\" to end. " +
                     (waitFailure.empty() ? L"No reason was given" : waitFailure);
    return result;
  }
  if (!read) {
    result.exitCode = kRunFailed;
    result.failure = L"Cannot read the exit code of \"" + ProgramToken(commandLine) + L"\". " +
                     (readFailure.empty() ? L"No reason was given" : readFailure);
    return result;
  }
  result.exitCode = code;
  if (EndedByException(code)) result.failure = EndedByExceptionText(commandLine, code);
  return result;
}

std::uint32_t RunAndWait(const std::wstring& commandLine, int showMode) {
  const RunResult run = RunProcess(commandLine, showMode);
  return run.started ? run.exitCode : kRunFailed;
}

std::uint32_t RunToolAndWait(const std::wstring& commandLine, int showMode) {
  const RunResult run = RunProcess(commandLine, showMode);
  if (!run.ok()) throw KorvaneError(run.failure);
  return run.exitCode;
}

void StartTool(const std::wstring& commandLine, int showMode) {
  const std::optional<std::wstring> program = ResolveSystemProgram(commandLine);
  if (!program) throw KorvaneError(CannotRun(commandLine, Sys().errorText(kErrorFileNotFound)));
  const std::uint32_t rc = Sys().winExec(&*program, commandLine, showMode);
  // WinExec's own codes below 32 are the system's error codes (2, 3, 11), except 0,
  // which stands for "out of resources": the thread's last error then says more.
  if (rc <= 31)
    throw KorvaneError(CannotRun(
        commandLine, rc == 0 ? Sys().lastErrorText() : Sys().errorText(static_cast<long>(rc))));
}

std::wstring GetWinDir() { return Sys().getWindowsDirectory(); }
std::wstring GetSysDir() { return Sys().getSystemDirectory(); }
std::wstring GetTempDir() { return Sys().getEnvironmentVariable(L"TEMP").value_or(L""); }

namespace {
OsVersion QueryVersion() {
  OsVersion v;  // a failed query leaves it zeroed, which every test rejects
  if (!Sys().getVersionEx(&v)) v = OsVersion{};
  return v;
}
constexpr std::uint32_t kPlatformNt = 2;
}  // namespace

bool IsWindows8() {
  OsVersion v = QueryVersion();
  return v.major == 6 && v.minor == 2 && v.platformId == kPlatformNt;
}
bool IsWindows81() {
  OsVersion v = QueryVersion();
  return v.major == 6 && v.minor == 3 && v.platformId == kPlatformNt;
}
bool IsWindows10() {
  OsVersion v = QueryVersion();
  return v.major >= 10 && v.platformId == kPlatformNt;
}
bool IsWow64() { return Sys().isWow64Process(); }

bool FileExists(const std::wstring& path) {
  return Sys().getFileAttributes(path) != kInvalidFileAttributes;
}

bool DirectoryExists(const std::wstring& path) {
  std::uint32_t a = Sys().getFileAttributes(path);
  return a != kInvalidFileAttributes && (a & kFileAttributeDirectory) != 0;
}

bool DeleteFolderTree(const std::wstring& path, std::wstring* reason) {
  if (!DirectoryExists(path)) return true;
  std::wstring item;
  const long rc = Sys().deleteFolderTree(path, &item);
  if (rc == 0 && !DirectoryExists(path)) return true;
  if (reason) {
    if (rc == kErrorStoppedOnSymlink) {
      // Only where a link cannot be opened as itself (Wine and its Unix links):
      // removing it there would delete what it leads to instead.
      *reason = L"\"" + item + L"\" is a link that cannot be removed without reaching what it " +
                L"leads to, so it was left alone";
    } else if (rc == 0) {
      *reason = L"Some of its items could not be deleted";
    } else {
      *reason = Sys().errorText(rc);
    }
  }
  return false;
}

void DeleteFolderTreeOrRaise(const std::wstring& path) {
  std::wstring reason;
  if (!DeleteFolderTree(path, &reason))
    throw KorvaneError(L"Cannot delete folder \"" + path + L"\". " + reason);
}

namespace {
bool InAFolder(const std::wstring& path) {
  return path.find_first_of(L"\\/") != std::wstring::npos;
}

[[noreturn]] void RaiseCannotCreate(const std::wstring& path, const std::wstring& reason) {
  throw KorvaneError(L"Cannot create file \"" + path + L"\". " + reason);
}
}  // namespace

HeldFile::HeldFile(const std::wstring& path, const std::vector<std::uint8_t>& expected) {
  std::vector<std::uint8_t> held;
  if (!Sys().lockFile(path, &lock_, &held)) {
    lock_ = 0;
    RaiseCannotCreate(path, Sys().lastErrorText());
  }
  // Between the write and the hold another program could have put its own text in;
  // from here on nobody can, so what was read back is what the tool will read.
  if (held != expected) {
    release();
    RaiseCannotCreate(path, L"Another program changed it");
  }
}

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
  if (this != &other) {
    release();
    lock_ = other.lock_;
    other.lock_ = 0;
  }
  return *this;
}

void HeldFile::release() {
  if (lock_ != 0) Sys().closeHandle(lock_);
  lock_ = 0;
}

HeldFile WriteHeldFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  // A bare name means there is no scratch folder for this run; the current folder
  // is nobody's to trust.
  RequireScratchFolder(path);
  // Created new: never through a file or link that is there already.  A write that
  // does not complete leaves nothing behind.
  long error = 0;
  if (!Sys().writeNewFile(path, bytes, &error)) RaiseCannotCreate(path, Sys().lastErrorText());
  return HeldFile(path, bytes);
}

void RequireScratchFolder(const std::wstring& path) {
  if (!InAFolder(path))
    RaiseCannotCreate(path, L"There is no private folder for Korvane's scratch files" +
                                (TempPathProblem.empty() ? L"" : L": " + TempPathProblem));
}

void DeleteScratchFile(const std::wstring& path) {
  if (InAFolder(path) && FileExists(path)) Sys().deleteFile(path);
}

std::vector<std::uint8_t> LinesToCrLfBytes(const std::vector<std::string>& lines) {
  std::vector<std::uint8_t> bytes;
  for (const std::string& line : lines) {
    for (char c : line) {
      auto b = static_cast<unsigned char>(c);
      bytes.push_back(b < 0x80 ? b : static_cast<std::uint8_t>('?'));
    }
    bytes.push_back('\r');
    bytes.push_back('\n');
  }
  return bytes;
}

std::vector<std::uint8_t> LinesToRegFileBytes(const std::vector<std::string>& lines) {
  std::wstring text;
  for (const std::string& line : lines) {
    for (char c : line) {
      auto b = static_cast<unsigned char>(c);
      text.push_back(b < 0x80 ? static_cast<wchar_t>(b) : L'?');
    }
    text.push_back(L'\n');
  }
  return EncodeRegFile(text);
}

std::wstring CommandLineForPath(const std::wstring& path) {
  if (path.find_first_of(L" \t&|<>()^%!,;=") == std::wstring::npos) return path;
  return L"\"" + path + L"\"";
}

// "/c" drops the outer quotation marks of what follows it, so the path gets a second
// pair and & | < > ( ) ^ , ; = inside it stay plain characters.  /d keeps the AutoRun
// commands a user can put in the registry from running elevated, and /v:off keeps
// "!" plain.  A "%" cannot be kept plain on that command line at all.
std::wstring BatchCommandLine(const std::wstring& path) {
  if (path.find(L'%') != std::wstring::npos)
    throw KorvaneError(L"Cannot run \"" + path +
                       L"\". The command processor would read the % in its path as a variable");
  return L"cmd.exe /d /v:off /c \"\"" + path + L"\"\"";
}

// ---------------------------------------------------------------- Home summary

std::wstring GetCPUName() {
  Registry reg(kKeyAllAccess);
  reg.setRootKey(kHkeyLocalMachine);
  if (reg.openKey(L"\\Hardware\\Description\\System\\CentralProcessor\\0", false))
    return reg.readString(L"ProcessorNameString");
  return {};
}

std::wstring GetTotalRAM() { return FormatByteSize(Sys().totalPhysicalMemory(), 0); }

namespace {

// "%.1n": one decimal, halves away from zero on the decimal value, digits grouped
// by three.  The value is first taken to 15 significant digits (what a double
// holds reliably), so 0.15 rounds as the decimal 0.15 and not as its binary twin.
std::wstring FormatOneDecimal(double value, const NumberSeparators& sep) {
  char sci[64];
  std::snprintf(sci, sizeof sci, "%.14e", value);
  // sci = "d.dddddddddddddde[+-]XX"
  std::string digits;
  digits.push_back(sci[0]);
  digits.append(sci + 2, sci + 16);
  int exponent = std::atoi(sci + 17);
  // Place the decimal point: integer digits = exponent + 1.
  int intDigits = exponent + 1;
  std::string intPart, fracPart;
  if (intDigits <= 0) {
    intPart = "0";
    fracPart = std::string(static_cast<size_t>(-intDigits), '0') + digits;
  } else if (intDigits >= static_cast<int>(digits.size())) {
    intPart = digits + std::string(static_cast<size_t>(intDigits) - digits.size(), '0');
    fracPart = "0";
  } else {
    intPart = digits.substr(0, static_cast<size_t>(intDigits));
    fracPart = digits.substr(static_cast<size_t>(intDigits));
  }
  fracPart += "00";
  int tenth = fracPart[0] - '0';
  bool roundUp = fracPart[1] >= '5';
  if (roundUp) {
    ++tenth;
    if (tenth == 10) {
      tenth = 0;
      int i = static_cast<int>(intPart.size()) - 1;
      while (i >= 0 && intPart[static_cast<size_t>(i)] == '9')
        intPart[static_cast<size_t>(i--)] = '0';
      if (i < 0)
        intPart.insert(intPart.begin(), '1');
      else
        ++intPart[static_cast<size_t>(i)];
    }
  }
  size_t firstNonZero = intPart.find_first_not_of('0');
  intPart = firstNonZero == std::string::npos ? "0" : intPart.substr(firstNonZero);
  std::wstring out;
  for (size_t i = 0; i < intPart.size(); ++i) {
    if (i > 0 && (intPart.size() - i) % 3 == 0) out += sep.thousands;
    out.push_back(static_cast<wchar_t>(intPart[i]));
  }
  out += sep.decimal;
  out.push_back(static_cast<wchar_t>(L'0' + tenth));
  return out;
}

}  // namespace

std::wstring FormatByteSize(std::uint64_t bytes, int unit) {
  static const std::uint64_t kKB = 1024, kMB = kKB * 1024, kGB = kMB * 1024, kTB = kGB * 1024;
  if (unit == 0) {
    if (bytes < kKB)
      unit = 1;
    else if (bytes < kMB)
      unit = 2;
    else if (bytes < kGB)
      unit = 3;
    else if (bytes < kTB)
      unit = 4;
    else
      unit = 5;
  }
  if (unit == 1) return std::to_wstring(static_cast<std::int64_t>(bytes)) + L" bytes";
  static const struct {
    std::uint64_t divisor;
    const wchar_t* name;
  } kUnits[] = {{kKB, L" KB"}, {kMB, L" MB"}, {kGB, L" GB"}, {kTB, L" TB"}};
  if (unit < 2 || unit > 5) return {};
  const auto& u = kUnits[unit - 2];
  const double value = static_cast<double>(bytes) / static_cast<double>(u.divisor);
  return FormatOneDecimal(value, Sys().userNumberSeparators()) + u.name;
}

std::wstring GetWindowsName() {
  // Windows 11 still reports 10.0; its build number (22000 and up) tells it apart.
  if (IsWindows8()) return L"Windows 8";
  if (IsWindows81()) return L"Windows 8.1";
  if (IsWindows10()) {
    OsVersion v = QueryVersion();
    return (v.major == 10 && v.build >= 22000) ? L"Windows 11" : L"Windows 10";
  }
  return L"Unknown";
}

std::wstring GetMotherboardName() {
  std::vector<BaseBoard> boards;
  if (auto failure = Sys().queryBaseBoards(&boards)) throw KorvaneError(ComErrorText(*failure));
  std::wstring result;
  for (const BaseBoard& b : boards)
    result = b.manufacturer.value_or(L"") + L", " + b.product.value_or(L"");
  return result;
}

}  // namespace korvane
