// Deleting a folder tree that somebody else may have prepared.  A program that
// runs with administrator rights empties folders a user can write (the Recycle
// Bin, the per-user policy store, its own scratch folder), so a link planted
// inside must never lead the deletion elsewhere: links are removed as links and
// never entered, and every item is deleted through a handle to the item itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace korvane {

struct FolderEntry {
  std::wstring name;
  std::uint32_t attributes = 0;  // as the listing has them: a link is a reparse point
};

// What the walk needs of a file system.  Every call returns a Win32 code, 0 when
// it succeeded.
class TreeFiles {
 public:
  virtual ~TreeFiles() = default;
  // Opens the folder at `path` as itself and keeps it from being renamed, replaced
  // or deleted until releaseFolder: what is listed and deleted below it is really
  // below it.  kErrorStoppedOnSymlink when it is a link (or reached through one).
  virtual long holdFolder(const std::wstring& path, Handle* hold) = 0;
  virtual void releaseFolder(Handle hold) = 0;
  // The items directly in a held folder, without "." and "..".
  virtual long listFolder(const std::wstring& path, std::vector<FolderEntry>* entries) = 0;
  // Deletes a file, an empty folder or a link (the link, never what it leads to),
  // read-only or not.  kErrorStoppedOnSymlink when it is a link that cannot be opened
  // as itself; nothing is deleted then.
  virtual long deleteItem(const std::wstring& path) = 0;
};

struct TreeDeleteResult {
  long error = 0;     // the first failure's Win32 code; 0 when everything went
  std::wstring item;  // the item it concerns
};

// Deletes `path` with everything below it.  Like the shell, it goes on past a
// failure and deletes what can go; what stays (and the folders above it) is left
// as it was.  Each item is visited once, and links are never followed, so the work
// is bounded by the size of the tree itself.
TreeDeleteResult DeleteTreeWithoutFollowingLinks(TreeFiles& files, const std::wstring& path);

}  // namespace korvane
