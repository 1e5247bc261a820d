// The undo-file reader, its header and kept-file lines included, as the Undo
// dialog lists a file, prunes the folder and undoes one, on the fake.  Beyond
// memory and undefined behaviour: pruning deletes nothing outside the undo folder,
// and a listed entry is the file that was read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FakeMachine.h"
#include "Oracles.h"
#include "changes/UndoFiles.h"

using namespace korvane;

namespace {

const std::wstring kFolder = L"C:\\Store\\Undo";
const std::wstring kFile = kFolder + L"\\2025-03-14 092653 assoc.txt.reg";
// Files beside and above the folder that no undo file may reach.
const std::vector<std::wstring> kOutside = {L"C:\\victim.txt", L"C:\\Store\\victim.txt",
                                            L"C:\\Store\\Undo2\\victim.txt",
                                            L"C:\\Windows\\System32\\drivers\\etc\\hosts"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FakeMachine machine;
  fake::FakePlatform& sys = *machine;
  sys.addDirectory(kFolder);
  for (const std::wstring& path : kOutside) sys.addFile(path, {'x'});
  sys.addFile(kFolder + L"\\2025-03-14 092653 assoc.txt.hosts", {'h'});
  sys.addFile(kFile, std::vector<std::uint8_t>(data, data + size));

  if (const auto entry = ReadUndoFile(sys, kFile)) {
    const UndoRow row = RowOf(*entry);
    fuzz::CheckPlain("the Changes column", ToUtf8(row.changes));
    if (entry->path != kFile) fuzz::Fail("an entry of another file", ToUtf8(entry->path));
  }
  const std::vector<UndoEntry> listed = ListUndoFiles(sys, kFolder);
  if (listed.size() > 1) fuzz::Fail("one file listed twice", "");

  UndoFromFile(sys, kFile);

  PruneUndoFiles(sys, kFolder, 0);
  for (const std::wstring& path : kOutside)
    if (!sys.fileExists(path))
      fuzz::Fail("pruning deleted a file outside the folder", ToUtf8(path));
  return 0;
}
