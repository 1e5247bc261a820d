// HKEY_CLASSES_ROOT in the fake is Windows' merged view of the per-user and the
// machine's class keys.  The read-back and the undo files rely on these rules, so
// they are pinned down here through the platform calls the program makes.
#include <string>
#include <vector>

#include "TestSupport.h"

namespace korvane {
namespace {

using testing::FakeTest;

const std::wstring kClasses = L"Software\\Classes\\";

class ClassesRootTest : public FakeTest {
 protected:
  // A user's own .txt association over the machine's.
  void SetUp() override {
    FakeTest::SetUp();
    fake().setString(HKLM, kClasses + L".txt", L"", L"txtfile");
    fake().setString(HKLM, kClasses + L".txt", L"Content Type", L"text/plain");
    fake().createKey(HKLM, kClasses + L".txt\\ShellNew");
    fake().setString(HKCU, kClasses + L".txt", L"", L"MyEditor.txt");
    fake().createKey(HKCU, kClasses + L".txt\\OpenWithProgids");
  }

  std::optional<std::wstring> read(const std::wstring& path, const std::wstring& name) {
    Handle h = 0;
    if (fake().regOpenKey(HKCR, path, kKeyRead, &h) != kErrorSuccess) return std::nullopt;
    RegData data;
    const long rc = fake().regQueryValue(h, name, &data);
    fake().regCloseKey(h);
    if (rc != kErrorSuccess) return std::nullopt;
    std::wstring text;
    for (size_t i = 0; i + 1 < data.bytes.size(); i += 2)
      if (wchar_t c = static_cast<wchar_t>(data.bytes[i] | (data.bytes[i + 1] << 8))) text += c;
    return text;
  }

  long write(const std::wstring& path, const std::wstring& name, const std::wstring& text) {
    Handle h = 0;
    long rc = fake().regCreateKey(HKCR, path, kKeyAllAccess, &h);
    if (rc != kErrorSuccess) return rc;
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : text) {
      bytes.push_back(static_cast<std::uint8_t>(c));
      bytes.push_back(0);
    }
    bytes.insert(bytes.end(), {0, 0});
    rc = fake().regSetValue(h, name, kRegSz, bytes);
    fake().regCloseKey(h);
    return rc;
  }

  std::vector<std::wstring> enumerate(const std::wstring& path, bool keys) {
    Handle h = 0;
    std::vector<std::wstring> out;
    if (fake().regOpenKey(HKCR, path, kKeyRead, &h) != kErrorSuccess) return out;
    std::wstring name;
    for (std::uint32_t i = 0; (keys ? fake().regEnumKey(h, i, &name)
                                    : fake().regEnumValue(h, i, &name)) == kErrorSuccess;
         ++i)
      out.push_back(name);
    fake().regCloseKey(h);
    return out;
  }
};

TEST_F(ClassesRootTest, ReadsSeeThePerUserCopyFirstAndTheUnionOfBoth) {
  EXPECT_EQ(read(L".txt", L""), L"MyEditor.txt");
  EXPECT_EQ(read(L".txt", L"Content Type"), L"text/plain");  // only the machine has it
  EXPECT_EQ(enumerate(L".txt", true), (std::vector<std::wstring>{L"OpenWithProgids", L"ShellNew"}));
  EXPECT_EQ(enumerate(L".txt", false), (std::vector<std::wstring>{L"", L"Content Type"}));
  EXPECT_TRUE(fake().keyExists(HKCR, L".txt\\OpenWithProgids"));
  EXPECT_FALSE(read(L".nothing", L"").has_value());
}

TEST_F(ClassesRootTest, AWriteGoesToThePerUserCopyWhenThereIsOneAndNewKeysToTheMachine) {
  ASSERT_EQ(write(L".txt", L"PerceivedType", L"text"), kErrorSuccess);
  EXPECT_TRUE(fake().value(HKCU, kClasses + L".txt", L"PerceivedType").has_value());
  EXPECT_FALSE(fake().value(HKLM, kClasses + L".txt", L"PerceivedType").has_value());

  ASSERT_EQ(write(L".txt\\ShellNew", L"NullFile", L""), kErrorSuccess);  // machine only
  EXPECT_TRUE(fake().value(HKLM, kClasses + L".txt\\ShellNew", L"NullFile").has_value());
  EXPECT_FALSE(fake().keyExists(HKCU, kClasses + L".txt\\ShellNew"));

  ASSERT_EQ(write(L".new\\Sub", L"", L"x"), kErrorSuccess);
  EXPECT_TRUE(fake().keyExists(HKLM, kClasses + L".new\\Sub"));
  EXPECT_FALSE(fake().keyExists(HKCU, kClasses + L".new"));
  EXPECT_EQ(read(L".new\\Sub", L""), L"x");
}

TEST_F(ClassesRootTest, DeletingRemovesThePerUserCopyAndTheMachinesShowsThrough) {
  ASSERT_EQ(fake().regDeleteTree(HKCR, L".txt"), kErrorSuccess);
  EXPECT_FALSE(fake().keyExists(HKCU, kClasses + L".txt"));
  EXPECT_EQ(read(L".txt", L""), L"txtfile");
  EXPECT_EQ(enumerate(L".txt", true), std::vector<std::wstring>{L"ShellNew"});

  ASSERT_EQ(fake().regDeleteTree(HKCR, L".txt"), kErrorSuccess);
  EXPECT_FALSE(fake().keyExists(HKCR, L".txt"));
  EXPECT_EQ(fake().regDeleteTree(HKCR, L".txt"), kErrorFileNotFound);
}

TEST_F(ClassesRootTest, ADeletedValueIsTheOneTheViewShowed) {
  Handle h = 0;
  ASSERT_EQ(fake().regOpenKey(HKCR, L".txt", kKeyAllAccess, &h), kErrorSuccess);
  EXPECT_EQ(fake().regDeleteValue(h, L"Content Type"), kErrorSuccess);  // the machine's
  EXPECT_EQ(fake().regDeleteValue(h, L""), kErrorSuccess);              // the user's
  fake().regCloseKey(h);
  EXPECT_FALSE(fake().value(HKLM, kClasses + L".txt", L"Content Type").has_value());
  EXPECT_EQ(read(L".txt", L""), L"txtfile");
}

}  // namespace
}  // namespace korvane
