#include "common/Services.h"

#include <algorithm>

#include "common/KorvaneError.h"
#include "platform/Platform.h"

namespace korvane {
namespace {

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

std::wstring Seconds(std::uint32_t ms) { return std::to_wstring(ms / 1000) + L" seconds"; }

// Polls until the service is in `wanted`, for at most kServiceWaitMs.  The waits go
// through the platform, so a test sees them without waiting.
bool WaitForState(const std::wstring& name, std::uint32_t wanted, long* error) {
  for (std::uint32_t waited = 0;; waited += kServicePollMs) {
    std::uint32_t state = 0;
    *error = Sys().queryServiceState(name, &state);
    if (*error != kErrorSuccess) return false;
    if (state == wanted) return true;
    if (waited >= kServiceWaitMs) return false;
    Sys().processMessages();
    Sys().sleep(kServicePollMs);
  }
}

// "stopped" or "started": the request was refused with `rc`.
[[noreturn]] void RaiseRefused(const std::wstring& name, const wchar_t* verb, long rc) {
  throw KorvaneError(L"The service " + Quoted(name) + L" cannot be " + verb + L". " +
                     Sys().errorText(rc));
}

// After the request: the wait, and why it ended without the state wanted.
void AwaitOrRaise(const std::wstring& name, std::uint32_t wanted, const wchar_t* verb,
                  const wchar_t* did) {
  long rc = kErrorSuccess;
  if (WaitForState(name, wanted, &rc)) return;
  if (rc != kErrorSuccess) RaiseRefused(name, verb, rc);
  throw KorvaneError(L"The service " + Quoted(name) + L" did not " + did + L" within " +
                     Seconds(kServiceWaitMs));
}

}  // namespace

ServiceStop StopServiceAndWait(const std::wstring& name) {
  std::uint32_t state = 0;
  long rc = Sys().queryServiceState(name, &state);
  if (rc == kErrorServiceDoesNotExist) return ServiceStop::Missing;
  if (rc != kErrorSuccess) RaiseRefused(name, L"stopped", rc);
  if (state == kServiceStopped) return ServiceStop::WasNotRunning;
  if (state != kServiceStopPending) {
    rc = Sys().stopService(name);
    if (rc != kErrorSuccess && rc != kErrorServiceNotActive) RaiseRefused(name, L"stopped", rc);
  }
  AwaitOrRaise(name, kServiceStopped, L"stopped", L"stop");
  return ServiceStop::Stopped;
}

void StartServiceAndWait(const std::wstring& name) {
  const long rc = Sys().startService(name);
  if (rc != kErrorSuccess && rc != kErrorServiceAlreadyRunning) RaiseRefused(name, L"started", rc);
  AwaitOrRaise(name, kServiceRunning, L"started", L"start");
}

std::wstring RepairProgress::text() const {
  if (steps_.empty()) return L"Nothing was changed.";
  std::wstring out = L"Done so far: ";
  for (size_t i = 0; i < steps_.size(); ++i) out += (i ? L"; " : L"") + steps_[i];
  return out + L".";
}

void WithServicesStopped(const std::vector<std::wstring>& services,
                         const std::function<void(RepairProgress&)>& work) {
  RepairProgress progress;
  std::vector<std::wstring> stopped;
  std::wstring failure;
  try {
    for (const std::wstring& name : services) {
      if (StopServiceAndWait(name) != ServiceStop::Stopped) continue;
      stopped.push_back(name);
      progress.note(L"stopped " + name);
    }
    work(progress);
  } catch (const KorvaneError& e) {
    failure = e.message();
  }
  // Whatever happened, what was running runs again; the first service that will
  // not start is the failure when nothing failed before.
  std::reverse(stopped.begin(), stopped.end());
  for (const std::wstring& name : stopped) {
    try {
      StartServiceAndWait(name);
      progress.note(L"started " + name + L" again");
    } catch (const KorvaneError& e) {
      if (failure.empty()) {
        failure = e.message();
      } else {
        progress.note(L"could not start " + name + L" again");
      }
    }
  }
  if (!failure.empty()) throw KorvaneError(StandardErrorText(failure) + L" " + progress.text());
}

}  // namespace korvane
