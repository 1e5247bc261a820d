#include "RestartLogic.h"

namespace restarthelper {

const char* FileNamePart(const char* path, LeadByteTest isLeadByte) {
  const char* afterLast = nullptr;
  for (const char* p = path; *p != '\0'; ++p) {
    if (isLeadByte && isLeadByte(static_cast<unsigned char>(*p))) {
      if (p[1] == '\0') break;  // a cut-off character ends the text
      ++p;
      continue;
    }
    if (*p == '\\') afterLast = p + 1;
  }
  return afterLast;
}

bool IsExplorerFileName(const char* name) {
  static const char kExplorer[] = "explorer.exe";
  for (int i = 0;; ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kExplorer[i]) return false;
    if (c == '\0') return true;
  }
}

bool EndExplorerProcesses(ProcessSystem& system) {
  std::uint32_t ids[kMaxProcessIds];
  std::uint32_t bytes = 0;
  if (!system.enumProcesses(ids, sizeof ids, &bytes)) return false;
  std::uint32_t count = bytes / sizeof ids[0];
  if (count > kMaxProcessIds) count = kMaxProcessIds;
  for (std::uint32_t i = 0; i < count; ++i) {
    char name[kMaxPathChars + 1];
    if (!system.processFileName(ids[i], name)) continue;
    if (IsExplorerFileName(name)) system.terminateProcess(ids[i]);
  }
  return true;
}

void RestartExplorerProcesses(ProcessSystem& system) {
  if (EndExplorerProcesses(system)) system.startExplorer();
}

HelperMode ModeOf(int argc, const char* const* argv) {
  if (argc <= 1) return HelperMode::Restart;
  if (argc > 2) return HelperMode::Unknown;
  auto is = [](const char* a, const char* b) {
    for (;; ++a, ++b) {
      char c = *a;
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != *b) return false;
      if (c == '\0') return true;
    }
  };
  if (is(argv[1], "/end")) return HelperMode::End;
  if (is(argv[1], "/start")) return HelperMode::Start;
  return HelperMode::Unknown;
}

}  // namespace restarthelper
