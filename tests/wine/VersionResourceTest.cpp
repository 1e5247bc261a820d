// What Windows shows of Korvane.exe's version (the file's Details tab, the
// application manifest) must be the build's one version number, in every place
// the program file carries it.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "KorvaneVersion.h"
#include "WineSupport.h"

namespace korvane::wine {
namespace {

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring Dotted(DWORD ms, DWORD ls) {
  return std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." +
         std::to_wstring(HIWORD(ls)) + L"." + std::to_wstring(LOWORD(ls));
}

const std::wstring kProgram = L"\\Korvane.exe";

TEST(VersionResourceTest, FixedPartAndStringTableCarryTheBuildsVersion) {
  ASSERT_EQ(std::string(KORVANE_VERSION_FULL).rfind(KORVANE_VERSION, 0), 0u)
      << "the four-part version does not extend the shown one";
  const std::wstring exe = BuildDir() + kProgram;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version resource in " << exe;
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  const std::wstring full = Wide(KORVANE_VERSION_FULL);
  EXPECT_EQ(Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS), full);
  EXPECT_EQ(Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS), full);

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u) << "one string table, no more";
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1252);

  const struct {
    const wchar_t* name;
    std::wstring expected;
  } strings[] = {
      {L"FileVersion", full},
      {L"ProductVersion", full},
      {L"FileDescription", L"Korvane"},
  };
  for (const auto& s : strings) {
    wchar_t* text = nullptr;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904E4\\") + s.name;
    ASSERT_TRUE(VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length))
        << s.name;
    EXPECT_EQ(std::wstring(text), s.expected) << s.name;
  }
}

TEST(VersionResourceTest, ApplicationManifestNamesTheSameVersion) {
  const std::wstring exe = BuildDir() + kProgram;
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  struct Unload {
    HMODULE m;
    ~Unload() { FreeLibrary(m); }
  } unload{module};
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
  const std::string manifest(bytes, SizeofResource(module, found));

  // The first assemblyIdentity is the program's own; later ones name its dependencies.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(manifest, m, std::regex("<assemblyIdentity([^>]*)>")));
  const std::string identity = m[1];
  EXPECT_NE(identity.find("name=\"Korvane\""), std::string::npos) << identity;
  EXPECT_NE(identity.find(std::string("version=\"") + KORVANE_VERSION_FULL + "\""),
            std::string::npos)
      << identity;
}

}  // namespace
}  // namespace korvane::wine
