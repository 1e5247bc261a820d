// A program without Korvane's protections: it imports comctl32 the ordinary way.
// The planted-DLL test runs it first to show that a DLL beside a program is a
// real threat on this system, so the protected program's clean result means
// something.
#include <windows.h>

#include <commctrl.h>

int wmain() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  return 0;
}
