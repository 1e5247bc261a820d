#include "common/RestartExplorer.h"

#include <cstdint>
#include <vector>

#include "common/KorvaneError.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "platform/Platform.h"

namespace korvane {
namespace {
constexpr int kSwHide = 0;
}  // namespace

void ExtractResourceToFile(const std::wstring& resourceName, const std::wstring& extension,
                           const std::wstring& directory, const std::wstring& baseName) {
  std::vector<std::uint8_t> bytes;
  if (!Sys().readOwnResource(resourceName, &bytes))
    throw KorvaneError(L"Resource " + resourceName + L" not found");
  const std::wstring path = directory + baseName + extension;
  RequireScratchFolder(path);
  if (!Sys().writeFile(path, bytes)) throw KorvaneError(L"Cannot create file \"" + path + L"\"");
}

namespace {

void RunRestartHelper(const std::wstring& argument) {
  const std::wstring directory = TempPath;  // the run's private scratch folder
  const std::wstring path = directory + kRestartHelperBaseName + kRestartHelperExtension;
  // An old copy is never reused: it may be stale or not ours.  If it cannot be
  // deleted, the write below fails and says so.
  DeleteScratchFile(path);
  ExtractResourceToFile(kRestartHelperResource, kRestartHelperExtension, directory,
                        kRestartHelperBaseName);
  RunResult run;
  run.started = true;
  if (FileExists(path)) {
    // The helper runs elevated from a folder every program of the user can write to:
    // it is held, as checked against the resource, until it has ended.
    std::vector<std::uint8_t> image;
    Sys().readOwnResource(kRestartHelperResource, &image);
    HeldFile held(path, image);
    // TEMP commonly lies below a user folder with a blank in its name; unquoted,
    // Windows would try to start the path's first word instead.
    run = RunProcess(CommandLineForPath(path) + argument, kSwHide);
  }
  DeleteScratchFile(path);
  if (!run.ok()) throw KorvaneError(run.failure);
}

}  // namespace

void RestartExplorer() { RunRestartHelper(L""); }
void EndExplorer() { RunRestartHelper(L" /end"); }
void StartExplorer() { RunRestartHelper(L" /start"); }

}  // namespace korvane
