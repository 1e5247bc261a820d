#include "base/ErrorText.h"

namespace korvane {

std::wstring SystemErrorText(long code) {
  switch (code) {
    case kErrorSuccess:
      return L"The operation completed successfully";
    case kErrorFileNotFound:
      return L"The system cannot find the file specified";
    case kErrorPathNotFound:
      return L"The system cannot find the path specified";
    case kErrorAccessDenied:
      return L"Access is denied";
    case kErrorInvalidHandle:
      return L"The handle is invalid";
    case kErrorSharingViolation:
      return L"The process cannot access the file because it is being used by another process";
    case kErrorDiskFull:
      return L"There is not enough space on the disk";
    case kErrorFileExists:
      return L"The file exists";
    case kErrorDirNotEmpty:
      return L"The directory is not empty";
    case kErrorDirectory:
      return L"The directory name is invalid";
    case kErrorStoppedOnSymlink:
      return L"The create operation stopped after reaching a symbolic link";
    case kErrorInvalidParameter:
      return L"The parameter is incorrect";
    case kErrorAlreadyExists:
      return L"Cannot create a file when that file already exists";
    case kErrorBadDb:
      return L"The configuration registry database is corrupt";
    case kErrorNotAllAssigned:
      return L"Not all privileges or groups referenced are assigned to the caller";
    case kErrorPrivilegeNotHeld:
      return L"A required privilege is not held by the client";
    case kErrorModNotFound:
      return L"The specified module could not be found";
    case kErrorNoAccess:
      return L"Invalid access to memory location";
    case kErrorStackOverflow:
      return L"Recursion too deep; the stack overflowed";
    case kErrorServiceRequestTimeout:
      return L"The service did not respond to the start or control request in a timely fashion";
    case kErrorServiceAlreadyRunning:
      return L"An instance of the service is already running";
    case kErrorServiceDisabled:
      return L"The service cannot be started, either because it is disabled or because it has "
             L"no enabled devices associated with it";
    case kErrorServiceDoesNotExist:
      return L"The specified service does not exist as an installed service";
    case kErrorServiceCannotAcceptCtrl:
      return L"The service cannot accept control messages at this time";
    case kErrorServiceNotActive:
      return L"The service has not been started";
    default:
      return L"Error " + std::to_wstring(code);
  }
}

long NtStatusToWin32Error(std::uint32_t status) {
  switch (status) {
    case 0xC0000005u:  // STATUS_ACCESS_VIOLATION
      return kErrorNoAccess;
    case 0xC00000FDu:  // STATUS_STACK_OVERFLOW
      return kErrorStackOverflow;
    case 0xC0000135u:  // STATUS_DLL_NOT_FOUND
      return kErrorModNotFound;
    default:
      return kErrorMrMidNotFound;
  }
}

}  // namespace korvane
