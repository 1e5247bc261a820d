#include "common/MaintenanceTasks.h"

#include <optional>

#include "common/ComError.h"
#include "common/KorvaneError.h"
#include "common/Messages.h"
#include "common/Registry.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "platform/Platform.h"

namespace korvane {

void RunSystemFileCheck() {
  RunToolAndWait(kSfcCommand, kShowToolConsole);
  ShowDone();
}

void RunComponentStoreRepair() {
  RunToolAndWait(kDismCommand, kShowToolConsole);
  ShowDone();
}

void CreateRestorePoint(const std::wstring& description) {
  if (std::optional<ComFailure> failure = Sys().createRestorePoint(description))
    throw KorvaneError(ComErrorText(*failure));
}

namespace {

// Puts the frequency value back the way it was found: an administrator's own
// setting survives with its type and data, and a value that was not there is
// removed again.  Runs however the request ended.
class FrequencyRestorer {
 public:
  FrequencyRestorer(Registry& reg, std::optional<RegData> previous)
      : reg_(reg), previous_(std::move(previous)) {}
  FrequencyRestorer(const FrequencyRestorer&) = delete;
  FrequencyRestorer& operator=(const FrequencyRestorer&) = delete;
  ~FrequencyRestorer() {
    if (previous_) {
      Sys().regSetValue(reg_.currentKey(), kRestorePointFrequencyValue, previous_->type,
                        previous_->bytes);
    } else {
      reg_.deleteValue(kRestorePointFrequencyValue);
    }
    reg_.closeKey();
  }

 private:
  Registry& reg_;
  std::optional<RegData> previous_;
};

std::optional<RegData> ReadValue(Registry& reg, const std::wstring& name) {
  RegData data;
  if (reg.currentKey() == 0 || Sys().regQueryValue(reg.currentKey(), name, &data) != kErrorSuccess)
    return std::nullopt;
  return data;
}

// CoUninitialize must balance CoInitialize even when the request raised.
class ComScope {
 public:
  ComScope() { Sys().coInitialize(); }
  ~ComScope() { Sys().coUninitialize(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

}  // namespace

void CreateRestorePointTask() {
  Registry reg(kKeyAllAccess);
  reg.setRootKey(kHkeyLocalMachine);
  // A failed open is caught by the write below, which then has no key to write to.
  reg.openKey(kSystemRestoreKey, true);
  std::optional<RegData> previous = ReadValue(reg, kRestorePointFrequencyValue);
  // Raises on failure: the request would likely be refused under the limit, and
  // nothing has been changed yet that would need putting back.
  reg.writeInteger(kRestorePointFrequencyValue, 0);

  FrequencyRestorer restorer(reg, std::move(previous));
  try {
    {
      ComScope com;
      CreateRestorePoint(kRestorePointDescription);
    }
    ShowDone();
  } catch (const KorvaneError& e) {
    // The provider's own words, as they came: no full stop is added here.
    ShowMessage(e.message(), kAppTitle, kMbIconError);
  }
}

const std::vector<HomeTask>& HomeTasks() {
  static const std::vector<HomeTask> tasks = {
      {"sfc", L"Fix a corrupted system file",
       L"Scan the corrupted system files using SFC (Sistem File Checker) utility, and fix them "
       L"automatically if possible. This process takes several minutes to complete.",
       L"Run", &RunSystemFileCheck},
      {"dism", L"Repair the component store",
       L"Scan corrupted component store and repair them using DISM tool. This process takes "
       L"several minutes to complete.",
       L"Run", &RunComponentStoreRepair},
      {"restore-point", L"Create Restore Point",
       L"Restore points are useful for backing up system files and registry in case of a system "
       L"error. It is recommended to create a restore point before using this program.",
       L"Create", &CreateRestorePointTask},
  };
  return tasks;
}

}  // namespace korvane
