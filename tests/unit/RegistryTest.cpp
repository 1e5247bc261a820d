#include "TestSupport.h"
#include "common/KorvaneError.h"
#include "common/Registry.h"

namespace korvane {
namespace {

using testing::FakeTest;

class RegistryTest : public FakeTest {};

std::wstring ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const KorvaneError& e) {
    return e.message();
  }
  return L"(no error)";
}

TEST_F(RegistryTest, OpenWithoutCreateFailsOnMissingKeyAndCreatesWithFlag) {
  Registry reg;
  reg.setRootKey(kHkeyLocalMachine);
  EXPECT_FALSE(reg.openKey(L"Software\\Korvane\\Deep", false));
  EXPECT_FALSE(fake().keyExists(kHkeyLocalMachine, L"Software\\Korvane"));
  EXPECT_TRUE(reg.openKey(L"Software\\Korvane\\Deep", true));
  EXPECT_TRUE(fake().keyExists(kHkeyLocalMachine, L"Software\\Korvane\\Deep"));
}

TEST_F(RegistryTest, RelativePathsStartAtTheOpenKeyAndBackslashAtTheRoot) {
  Registry reg;
  reg.setRootKey(kHkeyCurrentUser);
  ASSERT_TRUE(reg.openKey(L"A", true));
  ASSERT_TRUE(reg.openKey(L"B", true));  // relative to A
  EXPECT_TRUE(fake().keyExists(kHkeyCurrentUser, L"A\\B"));
  ASSERT_TRUE(reg.openKey(L"\\C", true));  // from the root again
  EXPECT_TRUE(fake().keyExists(kHkeyCurrentUser, L"C"));
  EXPECT_FALSE(fake().keyExists(kHkeyCurrentUser, L"A\\B\\C"));
  reg.closeKey();
  ASSERT_TRUE(reg.openKey(L"D", true));  // nothing open: from the root
  EXPECT_TRUE(fake().keyExists(kHkeyCurrentUser, L"D"));
}

TEST_F(RegistryTest, OpeningClosesThePreviousKey) {
  {
    Registry reg;
    reg.setRootKey(kHkeyCurrentUser);
    reg.openKey(L"\\A", true);
    reg.openKey(L"\\B", true);
    reg.openKey(L"\\Missing", false);  // a failed open keeps the open key
    EXPECT_EQ(fake().openKeyHandles(), 1u);
  }
  EXPECT_EQ(fake().openKeyHandles(), 0u);
}

TEST_F(RegistryTest, TypedWritesStoreTheirTypesAndData) {
  Registry reg;
  reg.setRootKey(kHkeyCurrentUser);
  ASSERT_TRUE(reg.openKey(L"K", true));
  reg.writeString(L"s", L"ab");
  reg.writeString(L"empty", L"");
  reg.writeExpandString(L"e", L"%x%");
  reg.writeInteger(L"i", -2);
  reg.writeBinaryData(L"b", {0x38, 0x07, 0, 0});
  EXPECT_EQ(fake().value(kHkeyCurrentUser, L"K", L"s")->bytes,
            (std::vector<std::uint8_t>{'a', 0, 'b', 0, 0, 0}));
  EXPECT_EQ(fake().value(kHkeyCurrentUser, L"K", L"empty")->bytes,
            (std::vector<std::uint8_t>{0, 0}));
  EXPECT_EQ(fake().value(kHkeyCurrentUser, L"K", L"e")->type, kRegExpandSz);
  EXPECT_EQ(fake().dwordValue(kHkeyCurrentUser, L"K", L"i"), 0xFFFFFFFEu);
  EXPECT_EQ(fake().value(kHkeyCurrentUser, L"K", L"b")->type, kRegBinary);
  EXPECT_EQ(reg.readString(L"e"), L"%x%");
  EXPECT_EQ(reg.readInteger(L"i"), -2);
}

TEST_F(RegistryTest, ErrorTextsNameTheValue) {
  fake().setValue(kHkeyCurrentUser, L"K", L"bin", kRegBinary, {1, 2, 3, 4});
  fake().setString(kHkeyCurrentUser, L"K", L"text", L"1");
  fake().denyWrites(kHkeyCurrentUser, L"Locked");
  Registry reg;
  reg.setRootKey(kHkeyCurrentUser);

  // Nothing open yet: a write has nowhere to go.
  EXPECT_EQ(ErrorOf([&] { reg.writeString(L"Shell", L"x"); }), L"Failed to set data for 'Shell'");
  ASSERT_TRUE(reg.openKey(L"K", false));
  EXPECT_EQ(reg.readString(L"missing"), L"");
  EXPECT_EQ(ErrorOf([&] { reg.readString(L"bin"); }), L"Invalid data type for 'bin'");
  EXPECT_EQ(ErrorOf([&] { reg.readInteger(L"missing"); }), L"Failed to get data for 'missing'");
  EXPECT_EQ(ErrorOf([&] { reg.readInteger(L"text"); }), L"Invalid data type for 'text'");
  ASSERT_TRUE(reg.openKey(L"\\Locked", false));
  EXPECT_EQ(ErrorOf([&] { reg.writeInteger(L"", 1); }), L"Failed to set data for ''");
}

TEST_F(RegistryTest, DeletionsAndExistenceTestsNeverRaise) {
  fake().setString(kHkeyLocalMachine, L"Tree\\Sub\\Leaf", L"v", L"x");
  Registry reg;
  reg.setRootKey(kHkeyLocalMachine);
  EXPECT_FALSE(reg.deleteValue(L"v"));  // nothing open
  EXPECT_TRUE(reg.keyExists(L"Tree\\Sub"));
  EXPECT_FALSE(reg.keyExists(L"Tree\\Nope"));
  EXPECT_TRUE(reg.deleteKey(L"Tree"));  // with its subkeys
  EXPECT_FALSE(fake().keyExists(kHkeyLocalMachine, L"Tree"));
  EXPECT_FALSE(reg.deleteKey(L"Tree"));
  ASSERT_TRUE(reg.openKey(L"X", true));
  EXPECT_FALSE(reg.valueExists(L"v"));
  reg.writeString(L"v", L"1");
  EXPECT_TRUE(reg.valueExists(L"v"));
  EXPECT_TRUE(reg.deleteValue(L"v"));
  EXPECT_FALSE(reg.deleteValue(L"v"));
}

TEST(StandardErrorTextTest, AddsAFullStopOnlyAfterCharactersAboveTheDot) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"Failed to set data for 'Shell'", L"Failed to set data for 'Shell'"},  // '\'' is 0x27
      {L"Access denied", L"Access denied."},
      {L"Done.", L"Done."},
      {L"Stop!", L"Stop!"},        // '!' sorts before '.'
      {L"(code 5)", L"(code 5)"},  // ')' is 0x29, below '.'
      {L"Error 0", L"Error 0."},   // digits sort above '.'
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(StandardErrorText(c.in), c.out) << fake::Narrow(c.in);
}

}  // namespace
}  // namespace korvane
