// The preview layer: reads go to the platform below, writes are kept in an overlay
// that every later read of the same run sees, and nothing is changed below.  A
// repair that deletes a key and then recreates part of it is therefore previewed
// exactly: the recreated key shows only what was written after the deletion.
//
// Registry keys, values, files and folders are simulated; programs are not run
// (each one "ends" at once with exit code 0), except that a reg.exe import of a
// script is applied to the overlay, since its writes are the repair's writes.
// Everything changed is appended to journal() in order.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "changes/Journal.h"
#include "changes/RegScript.h"
#include "platform/ForwardingPlatform.h"

namespace korvane {

class OverlayPlatform : public ForwardingPlatform {
 public:
  // How a key that is real is opened below when the run opens it.  AsAsked: with the
  // access the run asks for, so that a preview of a repair fails where the repair
  // would.  ReadOnly: with read access alone, for scans and for a preview in a process
  // without administrator rights, where asking for write access would be refused for
  // a reason the real (elevated) run does not meet.
  enum class Rights { AsAsked, ReadOnly };
  explicit OverlayPlatform(Platform& below, Rights rights = Rights::AsAsked);
  ~OverlayPlatform() override;

  const Journal& journal() const { return journal_; }

  // Applies the operations of a reg.exe import to the overlay; their changes are
  // journaled as written by reg.exe.
  void applyImport(const std::vector<RegOp>& ops);

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
  // Nothing runs, so there is nothing to wait for.
  void sleep(std::uint32_t) override {}

  std::uint32_t getFileAttributes(const std::wstring& path) override;
  bool deleteFile(const std::wstring& path) override;
  bool writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) override;
  bool writeNewFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                    long* error) override;
  bool readFile(const std::wstring& path, std::vector<std::uint8_t>* bytes) override;
  // Nothing else runs during a preview: the hold is only counted, the bytes are the
  // overlay's.
  bool lockFile(const std::wstring& path, Handle* lock, std::vector<std::uint8_t>* bytes) override;
  std::optional<FileSecurity> heldFileSecurity(Handle lock) override;
  bool replaceFile(const std::wstring& from, const std::wstring& to) override;
  std::wstring lastErrorText() override;
  long deleteFolderTree(const std::wstring& path, std::wstring* item) override;
  long deleteFileNoFollow(const std::wstring& path) override;

  // Services are stopped and started in the overlay alone; their state below is
  // read until the run changes it.
  long queryServiceState(const std::wstring& name, std::uint32_t* state) override;
  long stopService(const std::wstring& name) override;
  long startService(const std::wstring& name) override;
  bool renameFolder(const std::wstring& from, const std::wstring& to) override;

  std::intptr_t shellExecute(const std::wstring& verb, const std::wstring& file,
                             const std::wstring* parameters, int showMode) override;
  std::optional<ComFailure> createRestorePoint(const std::wstring& description) override;
  // Listed as the real run will list it, with what the overlay holds there.
  void handOverValue(Handle key, const std::wstring& name) override;

 private:
  struct Node;
  struct KeyView {
    bool exists = false;
    bool belowVisible = true;  // what the platform below holds here still shows
    Node* node = nullptr;      // overlay record of the key itself, if any
  };
  struct OpenKey {
    Handle root;
    std::vector<std::wstring> parts;
  };
  struct FakeProcess {
    std::uint32_t exitCode = 0;
  };
  struct FileEntry {
    std::wstring path;
    std::optional<std::vector<std::uint8_t>> bytes;  // nullopt: deleted
  };

  bool resolve(Handle parent, const std::wstring& subKey, Handle* root,
               std::vector<std::wstring>* parts) const;
  KeyView view(Handle root, const std::vector<std::wstring>& parts) const;
  bool belowKeyExists(Handle root, const std::vector<std::wstring>& parts) const;
  Node& nodeFor(Handle root, const std::vector<std::wstring>& parts);
  Handle newKeyHandle(Handle root, std::vector<std::wstring> parts);
  const OpenKey* openKey(Handle key) const;
  long checkAccessBelow(Handle root, const std::vector<std::wstring>& parts,
                        std::uint32_t access) const;
  Rights rights_;
  std::vector<std::wstring> subKeys(Handle root, const std::vector<std::wstring>& parts) const;
  std::vector<std::wstring> valueNames(Handle root, const std::vector<std::wstring>& parts) const;
  void record(Change change);

  std::uint32_t fileAttributes(const std::wstring& path);
  bool fail(long error);

  std::map<Handle, std::unique_ptr<Node>> roots_;
  std::map<Handle, OpenKey> keys_;
  std::map<Handle, FakeProcess> processes_;
  std::set<Handle> threads_;
  std::map<Handle, std::wstring> locks_;  // the path each hold was asked for
  Handle nextHandle_;
  std::map<std::wstring, FileEntry> files_;         // by lower-case path
  std::vector<std::wstring> deletedFolders_;        // lower-case
  std::set<std::wstring> addedFolders_;             // lower-case: folders renamed to
  std::map<std::wstring, std::uint32_t> services_;  // lower-case name -> state
  std::optional<long> lastError_;
  Journal journal_;
  bool importing_ = false;
  std::size_t valueOrder_ = 0;  // values new to a key enumerate in the order written
};

// What an import of `ops` would write, worked out on a preview of `below` as it is
// now.  The one prediction of reg.exe's writes: the preview applies imports the same
// way when a repair starts reg.exe on it.
Journal PredictRegImport(Platform& below, const std::vector<RegOp>& ops);

}  // namespace korvane
