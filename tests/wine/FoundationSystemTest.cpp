// The Home summary's sources (WMI, the processor key, the memory figure) and folder
// deletion, on a real system.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "WineSupport.h"
#include "child/ChildProcess.h"
#include "common/KorvaneError.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "platform/ForwardingPlatform.h"
#include "platform/win32/Win32Platform.h"

namespace korvane::wine {
namespace {

TEST(HomeSummaryOnWine, MotherboardComesFromWmi) {
  std::wstring board;
  try {
    board = GetMotherboardName();
  } catch (const KorvaneError& e) {
    FAIL() << "WMI failed: " << std::string(e.message().begin(), e.message().end());
  }
  if (RunningUnderWine()) {
    // Wine: Win32_BaseBoard has one instance, "Intel Corporation" / "Base Board".
    EXPECT_EQ(board, L"Intel Corporation, Base Board");
  } else {
    EXPECT_NE(board.find(L", "), std::wstring::npos);
    EXPECT_GT(board.size(), 2u);
  }
}

std::wstring Boards(const std::vector<BaseBoard>& boards) {
  std::wstring text;
  for (const BaseBoard& b : boards)
    text += b.manufacturer.value_or(L"<null>") + L" / " + b.product.value_or(L"<null>") + L"\n";
  return text;
}

TEST(HomeSummaryOnWine, MotherboardAskedAheadOnItsOwnThreadGivesTheSameAnswer) {
  // Start-up asks WMI on a thread of its own while the window is being built; what
  // it hands over must be what the window's thread would have got itself, and it
  // is handed over once: the request after it asks WMI again.
  Win32Platform platform;
  std::vector<BaseBoard> direct, ahead, again;
  ASSERT_FALSE(platform.queryBaseBoards(&direct).has_value());
  ASSERT_FALSE(direct.empty());
  platform.prefetchBaseBoards();
  ASSERT_FALSE(platform.queryBaseBoards(&ahead).has_value());
  ASSERT_FALSE(platform.queryBaseBoards(&again).has_value());
  EXPECT_EQ(Boards(ahead), Boards(direct));
  EXPECT_EQ(Boards(again), Boards(direct));

  // Through the Home page's own routine.
  platform.prefetchBaseBoards();
  {
    SysScope scope(platform);
    EXPECT_EQ(GetMotherboardName(), direct.back().manufacturer.value_or(L"") + L", " +
                                        direct.back().product.value_or(L""));
  }

  // An answer nobody takes (a start that was refused) holds nothing up.
  Win32Platform refused;
  refused.prefetchBaseBoards();
}

TEST(HomeSummaryOnWine, ProcessorAndMemoryTextsAreFilled) {
  // Wine: ProcessorNameString exists (the host's processor, e.g. "AMD EPYC").
  const std::wstring cpu = GetCPUName();
  EXPECT_FALSE(cpu.empty());
  EXPECT_EQ(cpu.find(L'\0'), std::wstring::npos);

  // Wine: GlobalMemoryStatus reports the host's memory, so more than a kilobyte.
  const std::wstring ram = GetTotalRAM();
  ASSERT_GE(ram.size(), 4u);
  EXPECT_TRUE(std::iswdigit(ram[0])) << std::string(ram.begin(), ram.end());
  const std::wstring unit = ram.substr(ram.size() - 3);
  EXPECT_TRUE(unit == L" MB" || unit == L" GB" || unit == L" TB")
      << std::string(ram.begin(), ram.end());
}

bool WriteText(const std::wstring& path, const char* text,
               DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  HANDLE f =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(f, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
  CloseHandle(f);
  return true;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(DeleteFolderTreeOnWine, RemovesATreeWithReadOnlyAndHiddenFiles) {
  ScratchDir scratch(L"KorvaneDeleteTree");
  const std::wstring tree = scratch.path() + L"\\Old Folder";
  ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((tree + L"\\sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((tree + L"\\sub\\deeper").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((tree + L"\\empty").c_str(), nullptr));
  ASSERT_TRUE(WriteText(tree + L"\\locked.txt", "x", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(WriteText(tree + L"\\sub\\hidden.ini", "x", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(WriteText(tree + L"\\sub\\deeper\\plain.dat", "x"));
  ASSERT_TRUE(GetFileAttributesW((tree + L"\\locked.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
  // A neighbour whose name starts the same must survive.
  ASSERT_TRUE(WriteText(scratch.path() + L"\\Old Folder.txt", "keep"));

  // Read-only and hidden files go with the tree.
  EXPECT_TRUE(DeleteFolderTree(tree));

  EXPECT_FALSE(Exists(tree));
  EXPECT_TRUE(Exists(scratch.path()));
  EXPECT_TRUE(Exists(scratch.path() + L"\\Old Folder.txt"));
}

// One file deleted through handles on every folder of its way, from the drive's root
// down: a plain file and a read-only one go, a missing one is named as missing, and
// the folder around them stays.
TEST(DeleteFileNoFollowOnWine, DeletesTheFileItselfAndLeavesItsFolder) {
  ScratchDir scratch(L"KorvaneNoFollow");
  const std::wstring folder = scratch.path() + L"\\Microsoft\\Windows\\Explorer";
  ASSERT_TRUE(CreateDirectoryW((scratch.path() + L"\\Microsoft").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((scratch.path() + L"\\Microsoft\\Windows").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(WriteText(folder + L"\\iconcache_32.db", "x"));
  ASSERT_TRUE(WriteText(folder + L"\\IconCache.db", "x", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(WriteText(folder + L"\\thumbcache_32.db", "keep"));

  Win32Platform platform;
  EXPECT_EQ(platform.deleteFileNoFollow(folder + L"\\iconcache_32.db"), 0);
  EXPECT_EQ(platform.deleteFileNoFollow(folder + L"\\IconCache.db"), 0);
  EXPECT_EQ(platform.deleteFileNoFollow(folder + L"\\missing.db"),
            static_cast<long>(ERROR_FILE_NOT_FOUND));

  EXPECT_FALSE(Exists(folder + L"\\iconcache_32.db"));
  EXPECT_FALSE(Exists(folder + L"\\IconCache.db"));
  EXPECT_TRUE(Exists(folder + L"\\thumbcache_32.db"));
  EXPECT_TRUE(Exists(folder));
}

// The size that counts is the one the open handle gives: a file grown past anything
// Korvane reads whole is refused before memory is taken for it.
TEST(ReadWholeOnWine, AFileLargerThanAnythingReadWholeIsRefusedUnread) {
  ScratchDir scratch(L"KorvaneHugeFile");
  const std::wstring path = scratch.path() + L"\\huge.reg";
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(kLargestFileReadWhole) + 1;
  ASSERT_TRUE(SetFilePointerEx(f, end, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(f));
  CloseHandle(f);

  Win32Platform platform;
  std::vector<std::uint8_t> bytes;
  EXPECT_FALSE(platform.readFile(path, &bytes));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
  Handle lock = 0;
  EXPECT_FALSE(platform.lockFile(path, &lock, &bytes));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
  EXPECT_LT(bytes.size(), 1u << 20);
  DeleteFileW(path.c_str());
}

TEST(DeleteFolderTreeOnWine, LeavesFilesAndMissingPathsAlone) {
  ScratchDir scratch(L"KorvaneDeleteTreeFile");
  const std::wstring file = scratch.path() + L"\\notes.txt";
  ASSERT_TRUE(WriteText(file, "keep"));

  DeleteFolderTree(file);
  EXPECT_TRUE(Exists(file));

  const std::wstring missing = scratch.path() + L"\\no such folder";
  DeleteFolderTree(missing);
  EXPECT_FALSE(Exists(missing));
  EXPECT_TRUE(Exists(file));
}

}  // namespace
}  // namespace korvane::wine
