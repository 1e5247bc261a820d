#include "platform/Platform.h"

#include <stdexcept>

namespace korvane {
namespace {
Platform* g_platform = nullptr;
}

Platform& Sys() {
  if (!g_platform) throw std::logic_error("no platform installed");
  return *g_platform;
}

Platform* SetSys(Platform* p) {
  Platform* old = g_platform;
  g_platform = p;
  return old;
}

}  // namespace korvane
