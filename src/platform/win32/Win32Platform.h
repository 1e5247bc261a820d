// The real Windows behind the seam.  Only this folder and the window code include
// windows.h.
#pragma once

#include <windows.h>

#include <functional>

#include "platform/Platform.h"

namespace korvane {

class Win32Platform : public Platform {
 public:
  Win32Platform();
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // Starts the baseboard query on a thread of its own, so that it runs while the
  // window is being built.  The next queryBaseBoards() waits for it and returns
  // its answer (or its failure, with the texts the failing call left).
  void prefetchBaseBoards();

  // The window that owns message boxes and shell requests (the main window once it
  // exists; null before).
  void setMainWindow(HWND hwnd) { mainWindow_ = hwnd; }
  HWND mainWindow() const { return mainWindow_; }
  // The one-line input dialog is drawn by the window code.
  std::function<std::wstring(const std::wstring&, const std::wstring&, const std::wstring&)>
      inputBoxImpl;

  long regCreateKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                    Handle* key) override;
  long regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                  Handle* key) override;
  long regCloseKey(Handle key) override;
  long regQueryValue(Handle key, const std::wstring& name, RegData* data) override;
  long regSetValue(Handle key, const std::wstring& name, std::uint32_t type,
                   const std::vector<std::uint8_t>& bytes) override;
  long regDeleteValue(Handle key, const std::wstring& name) override;
  long regDeleteTree(Handle key, const std::wstring& subKey) override;
  long regEnumKey(Handle key, std::uint32_t index, std::wstring* name) override;
  long regEnumValue(Handle key, std::uint32_t index, std::wstring* name) override;

  bool createProcess(const std::wstring* applicationName, std::vector<wchar_t>& commandLine,
                     std::uint32_t creationFlags, int showMode, ProcessHandles* out) override;
  std::uint32_t waitForSingleObject(Handle h, std::uint32_t milliseconds) override;
  bool getExitCodeProcess(Handle process, std::uint32_t* code) override;
  void closeHandle(Handle h) override;
  std::uint32_t winExec(const std::wstring* applicationName, const std::wstring& commandLine,
                        int showMode) override;
  void processMessages() override;
  void sleep(std::uint32_t milliseconds) override;
  [[noreturn]] void exitProcess(std::uint32_t code) override;

  std::optional<std::wstring> getEnvironmentVariable(const std::wstring& name) override;
  std::wstring getWindowsDirectory() override;
  std::wstring getSystemDirectory() override;
  bool getVersionEx(OsVersion* version) override;
  bool isWow64Process() override;
  std::uint64_t totalPhysicalMemory() override;
  NumberSeparators userNumberSeparators() override { return separators_; }
  bool createNamedSemaphore(const std::wstring& name, long* lastError) override;

  std::uint32_t getFileAttributes(const std::wstring& path) override;
  bool deleteFile(const std::wstring& path) override;
  bool writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) override;
  bool readFile(const std::wstring& path, std::vector<std::uint8_t>* bytes) override;
  bool replaceFile(const std::wstring& from, const std::wstring& to) override;
  std::wstring lastErrorText() override;
  std::wstring errorText(long code) override;
  long ntStatusToWin32Error(std::uint32_t status) override;
  bool lockFile(const std::wstring& path, Handle* lock, std::vector<std::uint8_t>* bytes) override;
  std::optional<FileSecurity> heldFileSecurity(Handle lock) override;
  long deleteFolderTree(const std::wstring& path, std::wstring* item) override;
  long deleteFileNoFollow(const std::wstring& path) override;
  bool readOwnResource(const std::wstring& name, std::vector<std::uint8_t>* bytes) override;
  bool listFiles(const std::wstring& folder, std::vector<std::wstring>* names) override;
  bool createDirectory(const std::wstring& path) override;
  LocalTime localTime() override;
  std::optional<std::wstring> programDataFolder() override;
  bool createPrivateDirectory(const std::wstring& path) override;
  std::optional<FileSecurity> fileSecurity(const std::wstring& path) override;
  std::optional<std::uint64_t> freeDiskSpace(const std::wstring& folder) override;
  std::optional<std::uint64_t> fileSize(const std::wstring& path) override;
  bool accessControlEnforced() override;
  std::uint64_t randomNumber() override;

  int messageBox(const std::wstring& text, const std::wstring& title, unsigned flags) override;
  std::wstring inputBox(const std::wstring& caption, const std::wstring& prompt,
                        const std::wstring& defaultText) override;
  std::intptr_t shellExecute(const std::wstring& verb, const std::wstring& file,
                             const std::wstring* parameters, int showMode) override;

  std::optional<ComFailure> queryBaseBoards(std::vector<BaseBoard>* boards) override;
  std::optional<ComFailure> createRestorePoint(const std::wstring& description) override;
  void coInitialize() override;
  void coUninitialize() override;

  long queryServiceState(const std::wstring& name, std::uint32_t* state) override;
  long stopService(const std::wstring& name) override;
  long startService(const std::wstring& name) override;
  bool renameFolder(const std::wstring& from, const std::wstring& to) override;
  std::optional<std::wstring> localAppDataFolder() override;

  bool writeNewFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                    long* error) override;
  bool isElevated() override;
  std::optional<std::wstring> processUserSid() override;
  std::optional<std::wstring> accountName(const std::wstring& sid) override;
  long enablePrivilege(const std::wstring& name) override;
  long regLoadHive(const std::wstring& name, const std::wstring& file) override;
  long regUnloadHive(const std::wstring& name) override;
  bool reportEvent(const std::wstring& source, std::uint16_t type, std::uint32_t eventId,
                   const std::wstring& text) override;

 private:
  HWND mainWindow_ = nullptr;
  HANDLE prefetchThread_ = nullptr;
  bool prefetched_ = false;  // the thread got to ask
  std::vector<BaseBoard> prefetchedBoards_;
  std::optional<ComFailure> prefetchFailure_;
  NumberSeparators separators_;
};

}  // namespace korvane
