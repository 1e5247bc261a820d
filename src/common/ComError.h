#pragma once

#include <string>

#include "platform/Platform.h"

namespace korvane {

// The text a failed COM call is reported with: the error object's description,
// else the system's message for the code (both without trailing dots and blanks),
// else "OLE error XXXXXXXX".
std::wstring ComErrorText(const ComFailure& failure);

}  // namespace korvane
