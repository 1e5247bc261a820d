// Running the repairs without a window: their message boxes become output, the one
// question they ask is answered from the command line, and each run ends in a
// status and the exit code that fleets act on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "changes/Journal.h"
#include "changes/RegistryCheck.h"
#include "cli/logic/UserHives.h"
#include "platform/ForwardingPlatform.h"
#include "repairs/RepairCatalogue.h"

namespace korvane::cli {

constexpr int kExitOk = 0;
constexpr int kExitFound = 1;
constexpr int kExitFailed = 2;
constexpr int kExitNotElevated = 5;       // ERROR_ACCESS_DENIED
constexpr int kExitBadArguments = 87;     // ERROR_INVALID_PARAMETER
constexpr int kExitRestartNeeded = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED

struct ShownMessage {
  std::wstring text;
  std::wstring title;
  unsigned flags = 0;
  int answer = kIdOk;
};

// "information", "error", "warning", "question" or "message".
std::wstring MessageKind(unsigned flags);

// No window: message boxes are recorded and answered, the input box returns the
// drive given on the command line.  The Recycle Bin repair's "delete every item?"
// is answered Yes only when a drive was given, which is the administrator's
// consent; without one the input box is cancelled first and nothing is asked.
class HeadlessPlatform : public ForwardingPlatform {
 public:
  HeadlessPlatform(Platform& below, std::optional<std::wstring> drive)
      : ForwardingPlatform(below), drive_(std::move(drive)) {}

  int messageBox(const std::wstring& text, const std::wstring& title, unsigned flags) override;
  std::wstring inputBox(const std::wstring& caption, const std::wstring& prompt,
                        const std::wstring& defaultText) override;
  // There is no window whose messages would need handling.
  void processMessages() override {}
  void noteFailure(const std::wstring& reason) override { notes_.push_back(reason); }

  const std::vector<ShownMessage>& messages() const { return messages_; }
  // The reasons behind a bare "Error!" or a silent stop, in order.
  const std::vector<std::wstring>& notes() const { return notes_; }

 private:
  std::optional<std::wstring> drive_;
  std::vector<ShownMessage> messages_;
  std::vector<std::wstring> notes_;
};

enum class RepairStatus {
  Done,        // ran, reported its end, and what it wrote reads back
  NotNeeded,   // a restriction that is not in force: nothing to do
  Failed,      // raised an error, showed one, or stopped short
  Unverified,  // ran, but something it wrote is not in place afterwards
  Previewed,   // dry run: nothing was changed
  NotRun,      // its preview failed or its backup could not be written: nothing was changed
};
std::wstring StatusName(RepairStatus status);  // "done", "not-needed", ...

struct RepairReport {
  const Repair* repair = nullptr;
  const UserHive* user = nullptr;  // with --all-users, whose settings a restriction concerns
  RepairStatus status = RepairStatus::Failed;
  std::vector<ShownMessage> messages;
  std::wstring failure;  // why, when it failed
  Journal changes;       // what the preview would change, or what the run changed
  std::vector<Difference> unverified;
  std::optional<std::wstring> backupPath;
  bool restartNeeded = false;
  std::optional<std::wstring> eventLogError;  // the event could not be written: why
};

struct FixOptions {
  bool dryRun = false;
  std::optional<std::wstring> backupDir;  // must exist
  std::optional<std::wstring> drive;      // "C"
  // --all-users: the per-user restrictions are run once for each of these users,
  // in their own hives, instead of in the caller's HKEY_CURRENT_USER.
  const std::vector<UserHive>* users = nullptr;
  // Each real repair leaves a record in the Application event log.
  bool eventLog = false;
  std::wstring runBy;  // the account KorvaneCli runs as, for the record
};

// Runs the repairs in the order given on `system`, the real platform.  A dry run
// shares one preview layer, so each repair sees what the ones before it would
// have written.
std::vector<RepairReport> FixRepairs(const std::vector<const Repair*>& repairs, Platform& system,
                                     const FixOptions& options);

struct ScanItem {
  const Repair* repair = nullptr;
  bool found = false;  // a restriction in force, or a file type not as its script leaves it
  std::vector<Difference> differences;
  const UserHive* user = nullptr;  // with --all-users, whose settings were checked
  std::wstring error;              // the user's settings could not be checked: why
};
// With `users`, each per-user restriction is checked once for every one of them.
std::vector<ScanItem> ScanRepairs(const std::vector<const Repair*>& repairs, Platform& system,
                                  const std::vector<UserHive>* users = nullptr);

// 0 when nothing was found, 1 when something was, 2 when a user's settings could
// not be checked.
int ScanExitCode(const std::vector<ScanItem>& items);

struct Outcome {
  RepairStatus status;
  bool needsRestart;
};
// 2 when any repair failed, was not run or could not be verified; else 3010 when a repair that
// needs a restart was done; else 0 (a preview, nothing needed, or done).
int FixExitCode(const std::vector<Outcome>& outcomes);
int FixExitCode(const std::vector<RepairReport>& reports);

}  // namespace korvane::cli
