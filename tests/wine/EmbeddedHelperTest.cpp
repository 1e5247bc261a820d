// The restart helper as Korvane.exe carries it: the build must never ship the
// program with an empty or foreign resource in its place, which would make Tools >
// Restart "explorer.exe" write a useless file and run nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "WineSupport.h"

namespace korvane::wine {
namespace {

TEST(EmbeddedHelperTest, KorvaneCarriesTheHelperAsA32BitConsoleProgramInEnglishUs) {
  const std::wstring exe = BuildDir() + L"\\Korvane.exe";
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << "cannot open " << std::string(exe.begin(), exe.end());
  HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(10) /* RT_RCDATA */, L"RESTARTEXPLORER",
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  ASSERT_NE(found, nullptr) << "no RCDATA RESTARTEXPLORER for language 1033";
  const DWORD size = SizeofResource(module, found);
  const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
  ASSERT_NE(bytes, nullptr);
  ASSERT_GT(size, sizeof(IMAGE_DOS_HEADER)) << "the embedded helper is empty or truncated";

  IMAGE_DOS_HEADER dos;
  std::memcpy(&dos, bytes, sizeof dos);
  ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
  ASSERT_GT(dos.e_lfanew, 0);
  ASSERT_LE(static_cast<DWORD>(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS32), size);
  IMAGE_NT_HEADERS32 nt;
  std::memcpy(&nt, bytes + dos.e_lfanew, sizeof nt);
  EXPECT_EQ(nt.Signature, IMAGE_NT_SIGNATURE);
  EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);
  FreeLibrary(module);
}

}  // namespace
}  // namespace korvane::wine
