// A platform that hands every call to the one below it.  Layers stacked on the real
// platform (the command-line program's preview and journal, the tests' dialog
// recorders) derive from it and override only what they change.
#pragma once

#include <cstdlib>

#include "platform/Platform.h"

namespace korvane {

// Installs a platform as Sys() for the lifetime of the object.
class SysScope {
 public:
  explicit SysScope(Platform& p) : previous_(SetSys(&p)) {}
  ~SysScope() { SetSys(previous_); }
  SysScope(const SysScope&) = delete;
  SysScope& operator=(const SysScope&) = delete;

 private:
  Platform* previous_;
};

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner), base_(BaseOf(inner)) {}
  Platform& inner() const { return inner_; }
  // The platform at the bottom of the stack: the real one (or the tests' fake).
  Platform& base() const { return base_; }

  long regCreateKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                    Handle* key) override {
    return inner_.regCreateKey(parent, subKey, access, key);
  }
  long regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                  Handle* key) override {
    return inner_.regOpenKey(parent, subKey, access, key);
  }
  long regCloseKey(Handle key) override { return inner_.regCloseKey(key); }
  long regQueryValue(Handle key, const std::wstring& name, RegData* data) override {
    return inner_.regQueryValue(key, name, data);
  }
  long regSetValue(Handle key, const std::wstring& name, std::uint32_t type,
                   const std::vector<std::uint8_t>& bytes) override {
    return inner_.regSetValue(key, name, type, bytes);
  }
  long regDeleteValue(Handle key, const std::wstring& name) override {
    return inner_.regDeleteValue(key, name);
  }
  long regDeleteTree(Handle key, const std::wstring& subKey) override {
    return inner_.regDeleteTree(key, subKey);
  }
  long regEnumKey(Handle key, std::uint32_t index, std::wstring* name) override {
    return inner_.regEnumKey(key, index, name);
  }
  long regEnumValue(Handle key, std::uint32_t index, std::wstring* name) override {
    return inner_.regEnumValue(key, index, name);
  }

  bool createProcess(const std::wstring* applicationName, std::vector<wchar_t>& commandLine,
                     std::uint32_t creationFlags, int showMode, ProcessHandles* out) override {
    return inner_.createProcess(applicationName, commandLine, creationFlags, showMode, out);
  }
  std::uint32_t waitForSingleObject(Handle h, std::uint32_t milliseconds) override {
    return inner_.waitForSingleObject(h, milliseconds);
  }
  bool getExitCodeProcess(Handle process, std::uint32_t* code) override {
    return inner_.getExitCodeProcess(process, code);
  }
  void closeHandle(Handle h) override { inner_.closeHandle(h); }
  std::uint32_t winExec(const std::wstring* applicationName, const std::wstring& commandLine,
                        int showMode) override {
    return inner_.winExec(applicationName, commandLine, showMode);
  }
  // A layer installed as Sys() belongs to the code that installed it: a repair's
  // preview, its journal, its held boxes.  While a tool's wait lets the window handle
  // its messages, a button pressed meanwhile runs at once, nested in that code; it is
  // a press of its own and gets the platform at the bottom of the stack, so that its
  // writes, its boxes and its read-back are never taken for those of the press it
  // interrupts.  The layer is Sys() again once the messages are handled.
  void processMessages() override {
    SysScope window(base_);
    inner_.processMessages();
  }
  void sleep(std::uint32_t milliseconds) override { inner_.sleep(milliseconds); }
  [[noreturn]] void exitProcess(std::uint32_t code) override {
    inner_.exitProcess(code);
    std::abort();  // not reached: the call above does not return
  }

  std::optional<std::wstring> getEnvironmentVariable(const std::wstring& name) override {
    return inner_.getEnvironmentVariable(name);
  }
  std::wstring getWindowsDirectory() override { return inner_.getWindowsDirectory(); }
  std::wstring getSystemDirectory() override { return inner_.getSystemDirectory(); }
  bool getVersionEx(OsVersion* version) override { return inner_.getVersionEx(version); }
  bool isWow64Process() override { return inner_.isWow64Process(); }
  std::uint64_t totalPhysicalMemory() override { return inner_.totalPhysicalMemory(); }
  NumberSeparators userNumberSeparators() override { return inner_.userNumberSeparators(); }
  bool createNamedSemaphore(const std::wstring& name, long* lastError) override {
    return inner_.createNamedSemaphore(name, lastError);
  }

  std::uint32_t getFileAttributes(const std::wstring& path) override {
    return inner_.getFileAttributes(path);
  }
  bool deleteFile(const std::wstring& path) override { return inner_.deleteFile(path); }
  bool writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) override {
    return inner_.writeFile(path, bytes);
  }
  bool readFile(const std::wstring& path, std::vector<std::uint8_t>* bytes) override {
    return inner_.readFile(path, bytes);
  }
  bool replaceFile(const std::wstring& from, const std::wstring& to) override {
    return inner_.replaceFile(from, to);
  }
  std::wstring lastErrorText() override { return inner_.lastErrorText(); }
  std::wstring errorText(long code) override { return inner_.errorText(code); }
  void noteFailure(const std::wstring& reason) override { inner_.noteFailure(reason); }
  long ntStatusToWin32Error(std::uint32_t status) override {
    return inner_.ntStatusToWin32Error(status);
  }
  bool lockFile(const std::wstring& path, Handle* lock, std::vector<std::uint8_t>* bytes) override {
    return inner_.lockFile(path, lock, bytes);
  }
  std::optional<FileSecurity> heldFileSecurity(Handle lock) override {
    return inner_.heldFileSecurity(lock);
  }
  long deleteFolderTree(const std::wstring& path, std::wstring* item) override {
    return inner_.deleteFolderTree(path, item);
  }
  long deleteFileNoFollow(const std::wstring& path) override {
    return inner_.deleteFileNoFollow(path);
  }
  bool readOwnResource(const std::wstring& name, std::vector<std::uint8_t>* bytes) override {
    return inner_.readOwnResource(name, bytes);
  }
  bool listFiles(const std::wstring& folder, std::vector<std::wstring>* names) override {
    return inner_.listFiles(folder, names);
  }
  bool createDirectory(const std::wstring& path) override { return inner_.createDirectory(path); }
  std::optional<std::wstring> programDataFolder() override { return inner_.programDataFolder(); }
  bool createPrivateDirectory(const std::wstring& path) override {
    return inner_.createPrivateDirectory(path);
  }
  std::optional<FileSecurity> fileSecurity(const std::wstring& path) override {
    return inner_.fileSecurity(path);
  }
  std::optional<std::uint64_t> freeDiskSpace(const std::wstring& folder) override {
    return inner_.freeDiskSpace(folder);
  }
  std::optional<std::uint64_t> fileSize(const std::wstring& path) override {
    return inner_.fileSize(path);
  }
  bool accessControlEnforced() override { return inner_.accessControlEnforced(); }
  std::uint64_t randomNumber() override { return inner_.randomNumber(); }
  LocalTime localTime() override { return inner_.localTime(); }

  int messageBox(const std::wstring& text, const std::wstring& title, unsigned flags) override {
    return inner_.messageBox(text, title, flags);
  }
  std::wstring inputBox(const std::wstring& caption, const std::wstring& prompt,
                        const std::wstring& defaultText) override {
    return inner_.inputBox(caption, prompt, defaultText);
  }
  std::intptr_t shellExecute(const std::wstring& verb, const std::wstring& file,
                             const std::wstring* parameters, int showMode) override {
    return inner_.shellExecute(verb, file, parameters, showMode);
  }

  std::optional<ComFailure> queryBaseBoards(std::vector<BaseBoard>* boards) override {
    return inner_.queryBaseBoards(boards);
  }
  std::optional<ComFailure> createRestorePoint(const std::wstring& description) override {
    return inner_.createRestorePoint(description);
  }
  long queryServiceState(const std::wstring& name, std::uint32_t* state) override {
    return inner_.queryServiceState(name, state);
  }
  long stopService(const std::wstring& name) override { return inner_.stopService(name); }
  long startService(const std::wstring& name) override { return inner_.startService(name); }
  bool renameFolder(const std::wstring& from, const std::wstring& to) override {
    return inner_.renameFolder(from, to);
  }
  std::optional<std::wstring> localAppDataFolder() override { return inner_.localAppDataFolder(); }
  void coInitialize() override { inner_.coInitialize(); }
  void coUninitialize() override { inner_.coUninitialize(); }

  bool writeNewFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                    long* error) override {
    return inner_.writeNewFile(path, bytes, error);
  }
  bool isElevated() override { return inner_.isElevated(); }
  std::optional<std::wstring> processUserSid() override { return inner_.processUserSid(); }
  std::optional<std::wstring> accountName(const std::wstring& sid) override {
    return inner_.accountName(sid);
  }
  long enablePrivilege(const std::wstring& name) override { return inner_.enablePrivilege(name); }
  long regLoadHive(const std::wstring& name, const std::wstring& file) override {
    return inner_.regLoadHive(name, file);
  }
  long regUnloadHive(const std::wstring& name) override { return inner_.regUnloadHive(name); }
  bool reportEvent(const std::wstring& source, std::uint16_t type, std::uint32_t eventId,
                   const std::wstring& text) override {
    return inner_.reportEvent(source, type, eventId, text);
  }
  void handOverValue(Handle key, const std::wstring& name) override {
    inner_.handOverValue(key, name);
  }

 private:
  static Platform& BaseOf(Platform& p) {
    auto* layer = dynamic_cast<ForwardingPlatform*>(&p);
    return layer ? layer->base() : p;
  }

  Platform& inner_;
  Platform& base_;
};

}  // namespace korvane
