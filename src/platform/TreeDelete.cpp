#include "platform/TreeDelete.h"

#include <utility>

namespace korvane {
namespace {

std::wstring Below(const std::wstring& folder, const std::wstring& name) {
  return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

// Something else deleted it first: it is gone, as wanted.
bool Gone(long error) { return error == kErrorFileNotFound || error == kErrorPathNotFound; }

struct Level {
  std::wstring path;
  Handle hold = 0;
  std::vector<FolderEntry> entries;
  size_t next = 0;
};

}  // namespace

TreeDeleteResult DeleteTreeWithoutFollowingLinks(TreeFiles& files, const std::wstring& path) {
  TreeDeleteResult result;
  auto failed = [&result](long error, const std::wstring& item) {
    if (result.error == 0 && !Gone(error)) result = {error, item};
  };
  // A folder that cannot be held as itself is a link (or became one since it was
  // listed): removed as a link, never entered.
  auto enter = [&](const std::wstring& folder, std::vector<Level>* stack) {
    Level level{folder};
    long error = files.holdFolder(folder, &level.hold);
    if (error == kErrorStoppedOnSymlink) {
      if (long gone = files.deleteItem(folder)) failed(gone, folder);
      return;
    }
    if (error != 0) {
      failed(error, folder);
      return;
    }
    stack->push_back(std::move(level));  // from here on the guard below lets it go
    error = files.listFolder(folder, &stack->back().entries);
    if (error != 0) {
      files.releaseFolder(stack->back().hold);
      stack->pop_back();
      failed(error, folder);
    }
  };

  // Depth-first with a stack of its own: a tree may be deeper than a thread's
  // stack would allow.
  std::vector<Level> stack;
  // Folders held are let go even when the walk ends early (out of memory on a huge
  // listing): a hold left behind would keep them from being deleted until Korvane ends.
  struct Release {
    TreeFiles& files;
    std::vector<Level>& stack;
    ~Release() {
      for (const Level& level : stack) files.releaseFolder(level.hold);
    }
  } release{files, stack};
  enter(path, &stack);
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next < level.entries.size()) {
      const FolderEntry& entry = level.entries[level.next++];
      const std::wstring item = Below(level.path, entry.name);
      if ((entry.attributes & kFileAttributeDirectory) &&
          !(entry.attributes & kFileAttributeReparsePoint)) {
        enter(item, &stack);  // may reallocate: `level` is not used after this
      } else if (long error = files.deleteItem(item)) {
        failed(error, item);
      }
      continue;
    }
    const std::wstring folder = level.path;
    files.releaseFolder(level.hold);
    stack.pop_back();
    // Not empty when something in it stayed; that failure is the one reported.
    if (long error = files.deleteItem(folder)) failed(error, folder);
  }
  return result;
}

}  // namespace korvane
