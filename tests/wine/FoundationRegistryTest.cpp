// The registry wrapper against a real registry: the key rules, the bytes each typed
// write leaves (read back with RegQueryValueExW, not through the wrapper), the three
// error texts and the deletions that only answer.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "WineSupport.h"
#include "common/KorvaneError.h"
#include "common/Registry.h"

namespace korvane::wine {
namespace {

const std::wstring kBase = L"Software\\KorvaneWineTests\\Registry";

struct RawValue {
  LONG rc = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> bytes;
};

RawValue ReadRaw(HKEY root, const std::wstring& path, const std::wstring& name) {
  RawValue v;
  HKEY key;
  v.rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
  if (v.rc != ERROR_SUCCESS) return v;
  DWORD size = 0;
  v.rc = RegQueryValueExW(key, name.c_str(), nullptr, &v.type, nullptr, &size);
  if (v.rc == ERROR_SUCCESS) {
    v.bytes.resize(size);
    v.rc = RegQueryValueExW(key, name.c_str(), nullptr, &v.type, v.bytes.data(), &size);
    v.bytes.resize(size);
  }
  RegCloseKey(key);
  return v;
}

// The error's text, or "<no error>".
std::wstring Raised(const std::function<void()>& action) {
  try {
    action();
  } catch (const KorvaneError& e) {
    return e.message();
  }
  return L"<no error>";
}

class RegistryOnWine : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kBase.c_str()); }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kBase.c_str());
    RegDeleteKeyExW(HKEY_CURRENT_USER, kBase.c_str(), 0, 0);
  }
};

TEST_F(RegistryOnWine, OpensWithoutCreatingUnlessAsked) {
  Registry reg;
  reg.setRootKey(kHkeyCurrentUser);
  EXPECT_FALSE(reg.openKey(L"\\" + kBase + L"\\A", false));
  EXPECT_EQ(reg.currentKey(), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kBase + L"\\A"));

  EXPECT_TRUE(reg.openKey(L"\\" + kBase + L"\\A", true));
  EXPECT_NE(reg.currentKey(), 0u);
  EXPECT_EQ(reg.currentPath(), kBase + L"\\A");
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kBase + L"\\A"));

  // Now it exists, opening without the flag succeeds.
  Registry again;
  EXPECT_TRUE(again.openKey(L"\\" + kBase + L"\\A", false));
}

TEST_F(RegistryOnWine, RelativePathsStartAtTheOpenKeyAndBackslashPathsAtTheRoot) {
  Registry reg;
  reg.setRootKey(kHkeyCurrentUser);
  // No key open: a relative path starts at the root.
  ASSERT_TRUE(reg.openKey(kBase, true));
  ASSERT_TRUE(reg.openKey(L"B\\C", true));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kBase + L"\\B\\C"));
  EXPECT_EQ(reg.currentPath(), kBase + L"\\B\\C");
  reg.writeInteger(L"Here", 1);
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kBase + L"\\B\\C", L"Here").rc, ERROR_SUCCESS);

  // A leading backslash goes back to the root, not below the open key.
  ASSERT_TRUE(reg.openKey(L"\\" + kBase + L"\\D", true));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kBase + L"\\D"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kBase + L"\\B\\C\\" + kBase));
  EXPECT_EQ(reg.currentPath(), kBase + L"\\D");

  EXPECT_TRUE(reg.keyExists(L"\\" + kBase + L"\\B"));
  EXPECT_FALSE(reg.keyExists(L"B"));  // relative to ...\D, where there is no B
  EXPECT_FALSE(reg.keyExists(L"\\" + kBase + L"\\Missing"));
}

struct TypedWrite {
  const char* label;
  std::function<void(Registry&)> write;
  DWORD type;
  std::vector<std::uint8_t> bytes;
};

TEST_F(RegistryOnWine, TypedWritesStoreTheExpectedTypeAndBytes) {
  const std::vector<TypedWrite> cases = {
      // UTF-16LE with the terminating zero counted in the size.
      {"string",
       [](Registry& r) { r.writeString(L"V", L"K\u00fc 1"); },
       REG_SZ,
       {'K', 0, 0xFC, 0, ' ', 0, '1', 0, 0, 0}},
      {"empty string", [](Registry& r) { r.writeString(L"V", L""); }, REG_SZ, {0, 0}},
      // Stored as written; the variable is not expanded on the way in.
      {"expandable",
       [](Registry& r) { r.writeExpandString(L"V", L"%WinDir%"); },
       REG_EXPAND_SZ,
       {'%', 0, 'W', 0, 'i', 0, 'n', 0, 'D', 0, 'i', 0, 'r', 0, '%', 0, 0, 0}},
      {"negative integer",
       [](Registry& r) { r.writeInteger(L"V", -2); },
       REG_DWORD,
       {0xFE, 0xFF, 0xFF, 0xFF}},
      {"integer, little end first",
       [](Registry& r) { r.writeInteger(L"V", 0x12345678); },
       REG_DWORD,
       {0x78, 0x56, 0x34, 0x12}},
      {"binary",
       [](Registry& r) {
         r.writeBinaryData(L"V", {0x00, 0x01, 0xFF});
       },
       REG_BINARY,
       {0x00, 0x01, 0xFF}},
      {"empty binary", [](Registry& r) { r.writeBinaryData(L"V", {}); }, REG_BINARY, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    {
      Registry reg;
      reg.setRootKey(kHkeyCurrentUser);
      ASSERT_TRUE(reg.openKey(L"\\" + kBase, true));
      c.write(reg);
    }
    RawValue v = ReadRaw(HKEY_CURRENT_USER, kBase, L"V");
    ASSERT_EQ(v.rc, ERROR_SUCCESS);
    EXPECT_EQ(v.type, c.type);
    EXPECT_EQ(v.bytes, c.bytes);
  }
}

TEST_F(RegistryOnWine, TypedReadsOfValuesOtherProgramsWrote) {
  // Other programs store texts without the terminating zero; nothing may trail them.
  WriteValue(HKEY_CURRENT_USER, kBase, L"NoZero", REG_SZ, {'a', 0, 'b', 0});
  WriteValue(HKEY_CURRENT_USER, kBase, L"Expand", REG_EXPAND_SZ, {'%', 0, 'T', 0, '%', 0, 0, 0});
  WriteValue(HKEY_CURRENT_USER, kBase, L"Number", REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF});
  Registry reg;
  ASSERT_TRUE(reg.openKey(L"\\" + kBase, false));
  EXPECT_EQ(reg.readString(L"NoZero"), L"ab");
  EXPECT_EQ(reg.readString(L"Expand"), L"%T%");
  EXPECT_EQ(reg.readInteger(L"Number"), -2);
  EXPECT_TRUE(reg.valueExists(L"Number"));
  EXPECT_FALSE(reg.valueExists(L"Missing"));
  // A missing text reads empty rather than raising.
  EXPECT_EQ(Raised([&] { EXPECT_EQ(reg.readString(L"Missing"), L""); }), L"<no error>");
}

TEST_F(RegistryOnWine, ValuesOfEverySizeReadBackWhole) {
  // A value is read into a buffer of a first guess at its size: one that fills it
  // exactly, one a byte larger and one many times larger must come back whole and
  // typed, with nothing of the buffer trailing.
  const struct {
    const char* label;
    DWORD type;
    size_t size;
  } cases[] = {
      {"empty", REG_BINARY, 0},       {"one byte", REG_BINARY, 1},
      {"511 bytes", REG_BINARY, 511}, {"512 bytes", REG_BINARY, 512},
      {"513 bytes", REG_BINARY, 513}, {"long text", REG_SZ, 40000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::uint8_t> bytes(c.size);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(1 + i % 250);
    if (c.type == REG_SZ) bytes.back() = bytes[bytes.size() - 2] = 0;
    WriteValue(HKEY_CURRENT_USER, kBase, L"V", c.type, bytes);
    Handle key = 0;
    ASSERT_EQ(Sys().regOpenKey(kHkeyCurrentUser, kBase, kKeyRead, &key), ERROR_SUCCESS);
    RegData data;
    EXPECT_EQ(Sys().regQueryValue(key, L"V", &data), ERROR_SUCCESS);
    EXPECT_EQ(Sys().regQueryValue(key, L"Missing", &data), ERROR_FILE_NOT_FOUND);
    Sys().regCloseKey(key);
    EXPECT_EQ(data.type, c.type);
    EXPECT_EQ(data.bytes, bytes);
  }
}

struct ErrorCase {
  const char* label;
  std::function<void()> action;
  std::wstring text;
};

TEST_F(RegistryOnWine, FailuresRaiseTheirTextsWithTheValueName) {
  WriteValue(HKEY_CURRENT_USER, kBase, L"Text", REG_SZ, {'1', 0, 0, 0});
  WriteValue(HKEY_CURRENT_USER, kBase, L"Number", REG_DWORD, {1, 0, 0, 0});
  WriteValue(HKEY_CURRENT_USER, kBase, L"Bytes", REG_BINARY, {1, 0, 0, 0});

  const std::wstring path = L"\\" + kBase;
  const std::vector<ErrorCase> cases = {
      {"write with no key open",
       [] {
         Registry r;
         r.writeString(L"Name", L"x");
       },
       L"Failed to set data for 'Name'"},
      // The registry itself refuses: the key was opened for reading only.
      {"write to a key opened for reading",
       [&] {
         Registry r(kKeyRead);
         ASSERT_TRUE(r.openKey(path, false));
         r.writeInteger(L"Locked", 1);
       },
       L"Failed to set data for 'Locked'"},
      {"missing number",
       [&] {
         Registry r;
         ASSERT_TRUE(r.openKey(path, false));
         r.readInteger(L"Missing");
       },
       L"Failed to get data for 'Missing'"},
      {"number read from a text",
       [&] {
         Registry r;
         ASSERT_TRUE(r.openKey(path, false));
         r.readInteger(L"Text");
       },
       L"Invalid data type for 'Text'"},
      {"number read from four binary bytes",
       [&] {
         Registry r;
         ASSERT_TRUE(r.openKey(path, false));
         r.readInteger(L"Bytes");
       },
       L"Invalid data type for 'Bytes'"},
      {"text read from a number",
       [&] {
         Registry r;
         ASSERT_TRUE(r.openKey(path, false));
         r.readString(L"Number");
       },
       L"Invalid data type for 'Number'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Raised(c.action), c.text);
  }
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kBase, L"Locked").rc, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryOnWine, DeletionsAnswerAndNeverRaise) {
  WriteValue(HKEY_CURRENT_USER, kBase + L"\\Tree\\Sub\\Deeper", L"v", REG_DWORD, {1, 0, 0, 0});
  WriteValue(HKEY_CURRENT_USER, kBase + L"\\Tree", L"v", REG_DWORD, {1, 0, 0, 0});
  WriteValue(HKEY_CURRENT_USER, kBase + L"\\Tree\\Other", L"v", REG_DWORD, {1, 0, 0, 0});
  WriteValue(HKEY_CURRENT_USER, kBase, L"Value", REG_SZ, {'x', 0, 0, 0});

  Registry reg;
  EXPECT_EQ(Raised([&] { EXPECT_FALSE(reg.deleteValue(L"Value")); }), L"<no error>")
      << "no key open";
  ASSERT_TRUE(reg.openKey(L"\\" + kBase, false));
  EXPECT_EQ(Raised([&] {
              EXPECT_FALSE(reg.deleteValue(L"Missing"));
              EXPECT_TRUE(reg.deleteValue(L"Value"));
              EXPECT_FALSE(reg.deleteKey(L"\\" + kBase + L"\\Missing"));
              EXPECT_FALSE(reg.deleteKey(L"Missing\\Deeper"));
            }),
            L"<no error>");
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kBase, L"Value").rc, ERROR_FILE_NOT_FOUND);

  // Wine: RegDeleteKeyExW on a key with subkeys gives 5, so this needs the whole tree.
  EXPECT_TRUE(reg.deleteKey(L"Tree"));  // relative to the open key
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kBase + L"\\Tree"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kBase));

  // Neither the root nor the open key can be deleted by an empty path.
  EXPECT_FALSE(reg.deleteKey(L""));
  EXPECT_FALSE(reg.deleteKey(L"\\"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kBase));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software"));
}

TEST_F(RegistryOnWine, MachineHiveIsWritable) {
  // Every process is elevated under Wine (and Korvane asks for elevation on Windows).
  const std::wstring machine = L"Software\\KorvaneWineTests";
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, machine.c_str());
  {
    Registry reg;
    reg.setRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.openKey(L"\\" + machine + L"\\Machine", true));
    reg.writeInteger(L"Level", 3);
  }
  RawValue v = ReadRaw(HKEY_LOCAL_MACHINE, machine + L"\\Machine", L"Level");
  EXPECT_EQ(v.rc, ERROR_SUCCESS);
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(v.bytes, (std::vector<std::uint8_t>{3, 0, 0, 0}));
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, machine + L"\\Machine", L"Level").rc, ERROR_FILE_NOT_FOUND);
  {
    Registry reg;
    reg.setRootKey(kHkeyLocalMachine);
    EXPECT_TRUE(reg.deleteKey(L"\\" + machine));
  }
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, machine));
}

}  // namespace
}  // namespace korvane::wine
