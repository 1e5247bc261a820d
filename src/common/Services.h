// Stopping and starting Windows services for a repair: through the Service Control
// Manager, each with a bounded wait, and with the services a repair stopped started
// again however it ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvane {

// How long a service may take to stop or start, and how often it is looked at.
inline constexpr std::uint32_t kServiceWaitMs = 30000;
inline constexpr std::uint32_t kServicePollMs = 250;

enum class ServiceStop { Stopped, WasNotRunning, Missing };

// Stops `name` and waits until it has stopped.  A service this Windows does not
// have is Missing; one that was not running is left alone.  Raises KorvaneError
// when the stop is refused or the service is still not stopped after
// kServiceWaitMs.  The window handles its messages while it waits.
ServiceStop StopServiceAndWait(const std::wstring& name);
// Starts `name` and waits until it runs; raises KorvaneError as the stop does.
void StartServiceAndWait(const std::wstring& name);

// What a repair has done so far, for the error box that ends it early.
class RepairProgress {
 public:
  void note(std::wstring step) { steps_.push_back(std::move(step)); }
  // "Done so far: stopped BITS; renamed ... ." or "Nothing was changed."
  std::wstring text() const;

 private:
  std::vector<std::wstring> steps_;
};

// Stops `services` in the given order (passing over those this Windows does not
// have and those not running), runs `work`, and starts the ones it stopped again,
// in the reverse order.  When a step fails, the services stopped are still
// started again, and KorvaneError names the step, what was done so far and how
// the services were left.
void WithServicesStopped(const std::vector<std::wstring>& services,
                         const std::function<void(RepairProgress&)>& work);

}  // namespace korvane
