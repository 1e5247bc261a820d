// The real platform with its two blocking dialogs replaced, so a Wine test can run a
// handler that reports through a message box and then look at what it said.
//
// Every other call goes straight to the platform that was installed before (the
// Win32Platform of tests/wine/main.cpp), so registry, processes and WMI stay real.
// Tests that need to watch one more call can derive and override it; call the base
// to keep it real.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace korvane::wine {

struct RecordedBox {
  std::wstring text;
  std::wstring title;
  unsigned flags = 0;
};

class RecordingPlatform : public Platform {
 public:
  // Installs itself as Sys() for its lifetime and puts the previous one back after.
  RecordingPlatform() : inner_(Sys()) { previous_ = SetSys(this); }
  ~RecordingPlatform() override { SetSys(previous_); }
  RecordingPlatform(const RecordingPlatform&) = delete;
  RecordingPlatform& operator=(const RecordingPlatform&) = delete;

  const std::vector<RecordedBox>& boxes() const { return boxes_; }
  void clearBoxes() { boxes_.clear(); }
  // What the next message boxes answer (IDOK once the queue is empty).
  std::vector<int> boxAnswers;
  // What inputBox answers; unset means "cancelled", which returns the default text.
  std::vector<std::wstring> inputAnswers;

  int messageBox(const std::wstring& text, const std::wstring& title, unsigned flags) override {
    boxes_.push_back({text, title, flags});
    if (boxAnswers.empty()) return kIdOk;
    int answer = boxAnswers.front();
    boxAnswers.erase(boxAnswers.begin());
    return answer;
  }
  std::wstring inputBox(const std::wstring&, const std::wstring&,
                        const std::wstring& defaultText) override {
    if (inputAnswers.empty()) return defaultText;
    std::wstring answer = inputAnswers.front();
    inputAnswers.erase(inputAnswers.begin());
    return answer;
  }

  // ---- forwarded unchanged
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
  void processMessages() override { inner_.processMessages(); }
  void sleep(std::uint32_t milliseconds) override { inner_.sleep(milliseconds); }
  [[noreturn]] void exitProcess(std::uint32_t code) override {
    inner_.exitProcess(code);
    std::abort();  // not reached; the call through the base does not carry [[noreturn]]
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
  int shellDeleteTree(const std::wstring& pathList, unsigned flags) override {
    return inner_.shellDeleteTree(pathList, flags);
  }
  bool readOwnResource(const std::wstring& name, std::vector<std::uint8_t>* bytes) override {
    return inner_.readOwnResource(name, bytes);
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
  void coInitialize() override { inner_.coInitialize(); }
  void coUninitialize() override { inner_.coUninitialize(); }

 private:
  Platform& inner_;
  Platform* previous_ = nullptr;
  std::vector<RecordedBox> boxes_;
};

}  // namespace korvane::wine
