// The layer of a real run: every call goes through to the platform below, and what
// it changed is appended to journal() -- registry writes that were accepted, files,
// folders, programs started.  A reg.exe import is journaled with the writes its
// script asks for (worked out on a preview layer at the moment it starts), so that
// the read-back afterwards also covers what reg.exe was meant to do.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "changes/Journal.h"
#include "platform/ForwardingPlatform.h"

namespace korvane {

class JournalingPlatform : public ForwardingPlatform {
 public:
  explicit JournalingPlatform(Platform& below) : ForwardingPlatform(below) {}

  const Journal& journal() const { return journal_; }

  long regCreateKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                    Handle* key) override;
  long regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                  Handle* key) override;
  long regCloseKey(Handle key) override;
  long regSetValue(Handle key, const std::wstring& name, std::uint32_t type,
                   const std::vector<std::uint8_t>& bytes) override;
  long regDeleteValue(Handle key, const std::wstring& name) override;
  long regDeleteTree(Handle key, const std::wstring& subKey) override;

  bool createProcess(const std::wstring* applicationName, std::vector<wchar_t>& commandLine,
                     std::uint32_t creationFlags, int showMode, ProcessHandles* out) override;
  std::uint32_t winExec(const std::wstring* applicationName, const std::wstring& commandLine,
                        int showMode) override;
  bool deleteFile(const std::wstring& path) override;
  bool writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) override;
  bool writeNewFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                    long* error) override;
  bool replaceFile(const std::wstring& from, const std::wstring& to) override;
  long deleteFolderTree(const std::wstring& path, std::wstring* item) override;
  long deleteFileNoFollow(const std::wstring& path) override;
  std::intptr_t shellExecute(const std::wstring& verb, const std::wstring& file,
                             const std::wstring* parameters, int showMode) override;
  std::optional<ComFailure> createRestorePoint(const std::wstring& description) override;
  void handOverValue(Handle key, const std::wstring& name) override;
  long stopService(const std::wstring& name) override;
  long startService(const std::wstring& name) override;
  bool renameFolder(const std::wstring& from, const std::wstring& to) override;

 private:
  struct Where {
    Handle root;
    std::wstring path;
  };
  bool where(Handle key, const std::wstring& subKey, Where* out) const;
  bool existsBelow(Handle root, const std::wstring& path) const;

  std::map<Handle, Where> keys_;
  Journal journal_;
};

}  // namespace korvane
