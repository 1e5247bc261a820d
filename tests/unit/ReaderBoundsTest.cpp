// The readers of text Korvane did not write do work in proportion to what they
// read, and refuse numbers that do not fit instead of wrapping them round.  Work is
// counted as bytes allocated, never timed: a reader that copies a growing line
// once per line allocates bytes squared.
#include <functional>
#include <string>
#include <vector>

#include "AllocationCount.h"
#include "CliTestSupport.h"
#include "changes/RegScript.h"
#include "changes/UndoFiles.h"
#include "common/Registry.h"

namespace korvane {
namespace {

using testing::BytesAllocatedBy;

std::wstring Repeat(const std::wstring& piece, std::size_t times) {
  std::wstring out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

const std::wstring kSection = kRegFileHeader + L"\n\n[HKEY_CURRENT_USER\\K]\n";

struct BoundCase {
  const char* what;
  // The script at scale n (the cases are sized so that n = 1 is about 1 MB).
  std::function<std::wstring(std::size_t n)> script;
  std::vector<std::wstring> errors;
  // For a readable value: its type and how many bytes it has at scale n.
  std::optional<std::uint32_t> type;
  std::function<std::size_t(std::size_t n)> size;
};

TEST(ReaderBoundsTest, HostileScriptsAreReadInWorkProportionalToTheirSize) {
  const BoundCase cases[] = {
      {"a value line continued on every line, as planted in the undo folder",
       [](std::size_t n) {
         return kSection + Repeat(L"\"v\"=hex:00,\\\r\n", 100000 * n) + L"\r\n";
       },
       {L"line 4: bad hex data"},
       std::nullopt,
       nullptr},
      {"one hex value continued over many lines, as the undo writer wraps it",
       [](std::size_t n) {
         return kSection + L"\"v\"=hex:" + Repeat(L"00,01,02,03,04,05,06,07,\\\r\n  ", 40000 * n) +
                L"ff\r\n";
       },
       {},
       kRegBinary,
       [](std::size_t n) { return 320000 * n + 1; }},
      {"blanks before every continuation",
       [](std::size_t n) {
         return kSection + L"\"v\"=hex:" +
                Repeat(L"00," + std::wstring(200, L' ') + L"\\\n", 4000 * n) + L"ff\n";
       },
       {},
       kRegBinary,
       [](std::size_t n) { return 4000 * n + 1; }},
      {"a run of hex digits with no comma",
       [](std::size_t n) {
         return kSection + L"\"v\"=hex:" + std::wstring(65536 * n, L'1') + L"\n";
       },
       {L"line 4: bad hex data"},
       std::nullopt,
       nullptr},
      {"a run of digits in a type code",
       [](std::size_t n) {
         return kSection + L"\"v\"=hex(" + std::wstring(65536 * n, L'1') + L"):00\n";
       },
       {L"line 4: bad hex type"},
       std::nullopt,
       nullptr},
      {"a quoted text that never ends",
       [](std::size_t n) {
         return kSection + L"\"v\"=\"" + std::wstring(262144 * n, L'x') + L"\n";
       },
       {L"line 4: unterminated text"},
       std::nullopt,
       nullptr},
  };
  for (const BoundCase& c : cases) {
    SCOPED_TRACE(c.what);
    RegScriptText parsed;
    std::size_t work[2] = {};
    std::size_t input[2] = {};
    for (std::size_t n : {1, 2}) {
      const std::wstring text = c.script(n);
      input[n - 1] = text.size() * sizeof(wchar_t);
      work[n - 1] = BytesAllocatedBy([&] { parsed = ParseRegScript(text); });
      EXPECT_EQ(parsed.errors, c.errors);
      if (c.type) {
        ASSERT_EQ(parsed.ops.size(), 2u);
        EXPECT_EQ(parsed.ops[1].data.type, *c.type);
        EXPECT_EQ(parsed.ops[1].data.bytes.size(), c.size(n));
      }
    }
    // Twice the input, about twice the work; and a few copies of the input at most.
    EXPECT_LE(work[1], work[0] * 5 / 2) << work[0] << " then " << work[1] << " bytes";
    EXPECT_LE(work[1], input[1] * 16) << "for " << input[1] << " bytes read";
  }
}

TEST(ReaderBoundsTest, HexRunsAndTypeCodesAreBoundedNotWrapped) {
  const struct {
    const wchar_t* data;
    std::optional<RegData> read;  // nullopt: the line is refused
    const wchar_t* error;
  } cases[] = {
      {L"hex:123456789", std::nullopt, L"line 4: bad hex data"},
      {L"hex:fff", std::nullopt, L"line 4: bad hex data"},
      {L"hex:ff,1,0a", RegData{kRegBinary, {0xff, 0x01, 0x0a}}, nullptr},
      {L"hex(100000001):00", std::nullopt, L"line 4: bad hex type"},
      {L"hex(fffffffff):00", std::nullopt, L"line 4: bad hex type"},
      {L"hex(ffffffff):00", RegData{0xFFFFFFFF, {0}}, nullptr},
      {L"hex(000000001):41,00,00,00", RegData{kRegSz, {0x41, 0, 0, 0}}, nullptr},
      {L"hex(b):01,02", RegData{kRegQword, {1, 2}}, nullptr},
      {L"dword:100000000", std::nullopt, L"line 4: bad dword"},
      {L"dword:ffffffff", RegData{kRegDword, DwordBytes(0xFFFFFFFF)}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(fake::Narrow(c.data));
    const RegScriptText parsed = ParseRegScript(kSection + L"\"v\"=" + c.data + L"\n");
    if (!c.read) {
      EXPECT_EQ(parsed.errors, std::vector<std::wstring>{c.error});
      EXPECT_EQ(parsed.ops.size(), 1u);
      continue;
    }
    ASSERT_TRUE(parsed.errors.empty()) << fake::Narrow(parsed.errors[0]);
    ASSERT_EQ(parsed.ops.size(), 2u);
    EXPECT_EQ(parsed.ops[1].data.type, c.read->type);
    EXPECT_EQ(parsed.ops[1].data.bytes, c.read->bytes);
  }
}

class UndoBoundsTest : public testing::CliTest {};

// An undo reads its file three times over (to check it, to predict what reg.exe
// will write, and reg.exe itself, here the fake's), each time a few copies of its
// text at up to four bytes a character, and reads the registry back: all of it in
// proportion to the file.
TEST_F(UndoBoundsTest, UndoingALargeValueTakesWorkInProportionToIt) {
  installRegExe();
  // A folder only administrators can change, so the unrecorded file may be undone.
  fake().addDirectory(L"C:\\Backup");
  fake().setSecurity(L"C:\\Backup", L"S-1-5-32-544", {L"S-1-5-18", L"S-1-5-32-544"});
  std::size_t work[2] = {}, fileBytes[2] = {};
  for (std::size_t n : {1, 2}) {
    std::vector<std::uint8_t> big(512 * 1024 * n);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31 + n);
    fake().setValue(HKCU, L"Software\\Big", L"blob", kRegBinary, big);
    std::wstring path;
    const Journal planned{KeyChange(ChangeKind::DeleteKey, HKCU, L"Software\\Big")};
    ASSERT_FALSE(WriteUndoFile(
        fake(), [n](int) { return L"C:\\Backup\\big" + std::to_wstring(n) + L".reg"; }, "assoc.big",
        L"Big", planned, nullptr, &path));
    fileBytes[n - 1] = fake().fileBytes(path)->size();
    fake().regDeleteTree(HKCU, L"Software\\Big");
    UndoOutcome outcome;
    work[n - 1] = BytesAllocatedBy([&] { outcome = UndoFromFile(fake(), path); });
    EXPECT_TRUE(outcome.done) << fake::Narrow(outcome.failure);
    EXPECT_EQ(fake().value(HKCU, L"Software\\Big", L"blob")->bytes, big);
  }
  EXPECT_LE(work[1], work[0] * 5 / 2) << work[0] << " then " << work[1] << " bytes";
  EXPECT_LE(work[1], fileBytes[1] * 80) << "for a file of " << fileBytes[1] << " bytes";
}

}  // namespace
}  // namespace korvane
