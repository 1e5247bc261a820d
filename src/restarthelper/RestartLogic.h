// The restart helper's decisions, kept apart from the Windows calls so they can be
// checked on any machine.  Single-byte (ANSI) text throughout, as the helper uses.
#pragma once

#include <cstdint>

namespace restarthelper {

constexpr std::uint32_t kMaxProcessIds = 1024;
constexpr std::uint32_t kMaxPathChars = 260;

// Tells whether a byte starts a two-byte character in the active code page.
using LeadByteTest = bool (*)(unsigned char);

// The text after the last backslash of `path`, or nullptr when it has none.  With
// isLeadByte given, two-byte characters are stepped over whole, so a trail byte that
// happens to be 0x5C is not taken for a backslash.
const char* FileNamePart(const char* path, LeadByteTest isLeadByte);

// True for "explorer.exe" in any mix of case.  The name is plain ASCII, so ASCII
// folding decides it: no code page maps a character outside ASCII onto one of its
// letters, and a two-byte character can never equal one of them.
bool IsExplorerFileName(const char* name);

// What the helper needs from Windows.
class ProcessSystem {
 public:
  virtual ~ProcessSystem() = default;
  // EnumProcesses: fills ids (bufferBytes long) and the byte count it used.
  virtual bool enumProcesses(std::uint32_t* ids, std::uint32_t bufferBytes,
                             std::uint32_t* bytesReturned) = 0;
  // The file name of the process's image (no folder); false when it cannot be had.
  virtual bool processFileName(std::uint32_t id, char (&name)[kMaxPathChars + 1]) = 0;
  // Opens the process for termination and ends it; failures are not reported.
  virtual void terminateProcess(std::uint32_t id) = 0;
  virtual void startExplorer() = 0;
};

// Ends every process named explorer.exe among the first kMaxProcessIds identifiers
// and starts File Explorer once.  Nothing is started when the processes cannot be
// listed: then nothing was ended either.
void RestartExplorerProcesses(ProcessSystem& system);
// The first half alone: ends every File Explorer process and starts none.  False
// when the processes cannot be listed.
bool EndExplorerProcesses(ProcessSystem& system);

// What the helper is asked to do: with no argument it restarts File Explorer; with
// "/end" it only ends it (a caller that works on Explorer's files meanwhile), with
// "/start" it only starts it.  Anything else is Unknown and does nothing.
enum class HelperMode { Restart, End, Start, Unknown };
HelperMode ModeOf(int argc, const char* const* argv);

}  // namespace restarthelper
