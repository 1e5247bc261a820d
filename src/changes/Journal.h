// The record of what a repair changes, in the order it changes it.  The preview
// prints it, the undo file is built from it and the read-back after a real run
// checks it.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace korvane {

enum class ChangeKind {
  CreateKey,     // root, path (one entry per key that came into being)
  SetValue,      // root, path, name, data
  DeleteValue,   // root, path, name
  DeleteKey,     // root, path, with everything below it
  WriteFile,     // path, byteCount
  DeleteFile,    // path
  ReplaceFile,   // path (the new file) takes the place of other
  DeleteFolder,  // path, with everything in it
  RunProgram,    // path = command line, other = program started (may be empty); waited for
  StartProgram,  // path = command line, other = program; not waited for
  ShellRequest,  // path = file, other = verb
  RestorePoint,  // path = description
  // root, path, name: a value written before goes to the program started next,
  // which consumes it; data is what it held then (nothing when valueAbsent).  The
  // read-back checks the value as it was here, and not afterwards.
  HandOver,
  StopService,   // path = service name; it was running and is stopped
  StartService,  // path = service name; it is started and must run afterwards
  RenameFolder,  // path = the folder, other = its new name
};

struct Change {
  ChangeKind kind = ChangeKind::SetValue;
  Handle root = 0;
  std::wstring path;
  std::wstring name;
  std::wstring other;
  RegData data;
  std::size_t byteCount = 0;
  // Written by reg.exe from an imported script rather than by the repair itself.
  bool viaImport = false;
  // DeleteKey under HKEY_CLASSES_ROOT of a key the user's own classes
  // (kUserClassesPath in HKEY_CURRENT_USER) hold too.  Windows deletes that copy
  // only, and the machine's copy, if there is one, shows through afterwards.
  bool perUserCopy = false;
  // HandOver: the value was not there at all.
  bool valueAbsent = false;
};

// Where HKEY_CLASSES_ROOT keeps a user's own class keys, below HKEY_CURRENT_USER;
// the machine's are at the same path below HKEY_LOCAL_MACHINE.
inline const std::wstring kUserClassesPath = L"Software\\Classes";

using Journal = std::vector<Change>;

inline Change KeyChange(ChangeKind kind, Handle root, std::wstring path) {
  Change c;
  c.kind = kind;
  c.root = root;
  c.path = std::move(path);
  return c;
}

inline Change ValueChange(ChangeKind kind, Handle root, std::wstring path, std::wstring name,
                          RegData data = {}) {
  Change c = KeyChange(kind, root, std::move(path));
  c.name = std::move(name);
  c.data = std::move(data);
  return c;
}

inline Change OtherChange(ChangeKind kind, std::wstring path, std::wstring other = {}) {
  Change c;
  c.kind = kind;
  c.path = std::move(path);
  c.other = std::move(other);
  return c;
}

// The kind's name in KorvaneCli's JSON ("create-key", "stop-service" ...).  A switch,
// so that a kind added without a name is a compiler warning, not a read past a table.
inline const char* ChangeKindName(ChangeKind k) {
  switch (k) {
    case ChangeKind::CreateKey:
      return "create-key";
    case ChangeKind::SetValue:
      return "set-value";
    case ChangeKind::DeleteValue:
      return "delete-value";
    case ChangeKind::DeleteKey:
      return "delete-key";
    case ChangeKind::WriteFile:
      return "write-file";
    case ChangeKind::DeleteFile:
      return "delete-file";
    case ChangeKind::ReplaceFile:
      return "replace-file";
    case ChangeKind::DeleteFolder:
      return "delete-folder";
    case ChangeKind::RunProgram:
      return "run";
    case ChangeKind::StartProgram:
      return "start";
    case ChangeKind::ShellRequest:
      return "shell";
    case ChangeKind::RestorePoint:
      return "restore-point";
    case ChangeKind::HandOver:
      return "hand-over";
    case ChangeKind::StopService:
      return "stop-service";
    case ChangeKind::StartService:
      return "start-service";
    case ChangeKind::RenameFolder:
      return "rename-folder";
  }
  return "unknown";
}

inline bool IsRegistryChange(ChangeKind k) {
  return k == ChangeKind::CreateKey || k == ChangeKind::SetValue || k == ChangeKind::DeleteValue ||
         k == ChangeKind::DeleteKey;
}

}  // namespace korvane
