// Windows integration tests: the real Win32Platform against Wine's (or Windows')
// registry, processes, files and WMI.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include "platform/win32/Win32Platform.h"

int wmain(int argc, wchar_t** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  korvane::Win32Platform platform;
  korvane::SetSys(&platform);
  ::testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  CoUninitialize();
  return rc;
}
