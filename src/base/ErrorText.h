// The Windows error codes the program and its platforms use, and the system's text
// for each, as FormatMessage gives it (without the full stop).  The platforms that
// stand in for Windows (the fake, the preview overlay) answer with these texts, so a
// message built from them reads as it would on Windows.
#pragma once

#include <cstdint>
#include <string>

namespace korvane {

constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorPathNotFound = 3;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorSharingViolation = 32;
constexpr long kErrorFileExists = 80;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorDiskFull = 112;
constexpr long kErrorDirNotEmpty = 145;
constexpr long kErrorDirectory = 267;  // ERROR_DIRECTORY: not a folder
// ERROR_STOPPED_ON_SYMLINK: a link that could not be opened as itself was left alone.
constexpr long kErrorStoppedOnSymlink = 681;
constexpr long kErrorAlreadyExists = 183;
constexpr long kErrorNoMoreItems = 259;
constexpr long kErrorBadDb = 1009;
constexpr long kErrorMrMidNotFound = 317;  // no message for this code
constexpr long kErrorNoAccess = 998;
constexpr long kErrorStackOverflow = 1001;
constexpr long kErrorModNotFound = 126;
constexpr long kErrorKeyDeleted = 1018;
constexpr long kErrorNotAllAssigned = 1300;
constexpr long kErrorPrivilegeNotHeld = 1314;
constexpr long kErrorServiceRequestTimeout = 1053;
constexpr long kErrorServiceAlreadyRunning = 1056;
constexpr long kErrorServiceDisabled = 1058;
constexpr long kErrorServiceDoesNotExist = 1060;
constexpr long kErrorServiceCannotAcceptCtrl = 1061;
constexpr long kErrorServiceNotActive = 1062;

// "Error N" for a code without a text here.
std::wstring SystemErrorText(long code);

// RtlNtStatusToDosError for the exception statuses a crashed program leaves; 317
// (no message) for any other.
long NtStatusToWin32Error(std::uint32_t status);

}  // namespace korvane
