// The record each real fix leaves in the Application event log, so that a fleet's
// repairs can be found on the machine itself afterwards (source "Korvane").
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace korvane::cli {

inline const std::wstring kEventSource = L"Korvane";
// Event ids by result.
constexpr std::uint32_t kEventDone = 100;           // done, or nothing needed doing
constexpr std::uint32_t kEventRestartNeeded = 101;  // done; a restart shows it
constexpr std::uint32_t kEventFailed = 102;         // failed, not verified, or not run
constexpr std::uint16_t kEventTypeError = 1;
constexpr std::uint16_t kEventTypeInformation = 4;

// Registers the source under the Application log when it is not registered yet.
// The message file is Windows' own EventCreate.exe, whose messages 1 to 1000 are
// "%1", so the viewer shows the record's text as it is.  False when it could not be
// registered (the record is written all the same).
bool RegisterEventSource(Platform& system);

}  // namespace korvane::cli
