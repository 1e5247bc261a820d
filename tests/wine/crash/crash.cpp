// A stand-in for a tool that dies: it ends by an exception nobody handles, as a
// tool with a corrupt image or a missing DLL would, whatever its arguments.
#include <windows.h>

int wmain() {
  RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  return 0;  // never reached
}
