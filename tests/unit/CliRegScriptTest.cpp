// Registry scripts: every value the undo files write reads back as the same type
// and bytes, the repairs' own payloads read without a fault, and the reader
// reports what reg.exe would skip.
#include <string>
#include <vector>

#include "TestSupport.h"
#include "changes/RegScript.h"
#include "common/Registry.h"
#include "fileassoc/FileAssoc.h"

namespace korvane {
namespace {

using testing::Bytes;

struct RoundTrip {
  const char* what;
  std::wstring name;
  RegData data;
};

TEST(CliRegScriptTest, EveryValueWrittenReadsBackAsTheSameTypeAndBytes) {
  std::vector<std::uint8_t> longBinary;
  for (int i = 0; i < 300; ++i) longBinary.push_back(static_cast<std::uint8_t>(i * 7));
  const RoundTrip cases[] = {
      {"plain text", L"Name", {kRegSz, WideToRegBytes(L"plain")}},
      {"text with quote and backslashes",
       L"q\"uo\\te",
       {kRegSz, WideToRegBytes(L"\"%1\" \\\\srv\\")}},
      {"default value", L"", {kRegSz, WideToRegBytes(L"batfile")}},
      {"empty text", L"e", {kRegSz, WideToRegBytes(L"")}},
      {"text without its zero", L"nz", {kRegSz, Bytes({'a', 0, 'b', 0})}},
      {"text with a line break", L"nl", {kRegSz, WideToRegBytes(L"a\r\nb")}},
      {"text with two zeros", L"zz", {kRegSz, Bytes({'a', 0, 0, 0, 0, 0})}},
      {"odd byte count", L"odd", {kRegSz, Bytes({'a', 0, 0})}},
      {"non-ASCII text", L"\u00e9t\u00e9", {kRegSz, WideToRegBytes(L"caf\u00e9 \u4e2d")}},
      {"expandable", L"x", {kRegExpandSz, WideToRegBytes(L"%SystemRoot%\\x.dll,-1")}},
      {"binary", L"b", {kRegBinary, Bytes({0x30, 0x04, 0, 0})}},
      {"empty binary", L"eb", {kRegBinary, {}}},
      {"long binary, wrapped", L"lb", {kRegBinary, longBinary}},
      {"dword", L"d", {kRegDword, DwordBytes(0xDEADBEEF)}},
      {"short dword", L"sd", {kRegDword, Bytes({1, 2, 3})}},
      {"qword", L"qw", {kRegQword, Bytes({1, 2, 3, 4, 5, 6, 7, 8})}},
      {"multi text", L"m", {kRegMultiSz, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0})}},
      {"none, empty", L"n", {kRegNone, {}}},
      {"none, with bytes", L"n2", {kRegNone, Bytes({0, 0})}},
      {"private type", L"t", {0x12345, Bytes({9})}},
  };
  for (const RoundTrip& c : cases) {
    const std::wstring text =
        kRegFileHeader + L"\n\n[HKEY_CURRENT_USER\\K]\n" + FormatRegValue(c.name, c.data);
    for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos;
         start = end + 1)
      EXPECT_LE(end - start, 80u) << c.what;  // regedit's width
    const auto script = ParseRegScript(text);
    ASSERT_TRUE(script.errors.empty()) << c.what << ": " << fake::Narrow(script.errors[0]);
    ASSERT_EQ(script.ops.size(), 2u) << c.what;
    EXPECT_EQ(script.ops[1].kind, RegOpKind::SetValue) << c.what;
    EXPECT_EQ(script.ops[1].name, c.name) << c.what;
    EXPECT_EQ(script.ops[1].data.type, c.data.type) << c.what;
    EXPECT_EQ(script.ops[1].data.bytes, c.data.bytes) << c.what;
    // Through the file form too: UTF-16LE with its mark and CR LF.
    const auto again = ParseRegScript(DecodeRegFile(EncodeRegFile(text)));
    ASSERT_EQ(again.ops.size(), 2u) << c.what;
    EXPECT_EQ(again.ops[1].data.bytes, c.data.bytes) << c.what;
  }
}

TEST(CliRegScriptTest, UndoFilesAreUtf16WithAMarkAndCrLf) {
  const auto bytes = EncodeRegFile(L"A\nB");
  EXPECT_EQ(bytes, Bytes({0xFF, 0xFE, 'A', 0, '\r', 0, '\n', 0, 'B', 0}));
  EXPECT_EQ(DecodeRegFile(bytes), L"A\r\nB");
  EXPECT_EQ(DecodeRegFile(Bytes({'A', 0xE9})), std::wstring(L"A\u00e9"));
}

TEST(CliRegScriptTest, EveryPayloadReadsWithoutAFault) {
  for (const FileTypeRow& row : FileTypeCatalogue()) {
    const auto script = ParseRegScript(*FORM_LAIN().byName(row.payload));
    EXPECT_TRUE(script.hasHeader) << row.payload;
    EXPECT_TRUE(script.errors.empty()) << row.payload << ": " << fake::Narrow(script.errors.at(0));
    EXPECT_FALSE(script.ops.empty()) << row.payload;
  }
  // The BAT script starts by removing .bat, then writes it anew.
  const auto bat = ParseRegScript(FORM_LAIN().mFIX_BAT_W10);
  ASSERT_GE(bat.ops.size(), 3u);
  EXPECT_EQ(bat.ops[0].kind, RegOpKind::DeleteKey);
  EXPECT_EQ(bat.ops[0].root, kHkeyClassesRoot);
  EXPECT_EQ(bat.ops[0].path, L".bat");
  EXPECT_EQ(bat.ops[1].kind, RegOpKind::CreateKey);
  EXPECT_EQ(bat.ops[2].kind, RegOpKind::SetValue);
  EXPECT_EQ(RegBytesToWide(bat.ops[2].data.bytes), L"batfile");
  // A key name may begin with a blank.
  bool blankKey = false;
  for (const auto& op : ParseRegScript(FORM_LAIN().mFIX_DIRECTORY_W10).ops)
    blankKey = blankKey || op.path == L"Directory\\shellex\\ContextMenuHandlers\\ FileSyncEx";
  EXPECT_TRUE(blankKey);
}

TEST(CliRegScriptTest, LinesRegExeWouldSkipAreReportedWithTheirNumbers) {
  const auto script =
      ParseRegScript(std::wstring(L"Windows Registry Editor Version 5.00\n"
                                  L"\"orphan\"=\"before any key\"\n"  // 2
                                  L"[HKEY_CURRENT_CONFIG\\X]\n"  // 3: a root the program never uses
                                  L"[HKEY_CURRENT_USER\\Good]\n"  // 4
                                  L"\"d\"=dword:123456789\n"      // 5: nine digits
                                  L"\"h\"=hex:1,2,zz\n"           // 6
                                  L"\"s\"=\"unterminated\n"       // 7
                                  L"\"v\"=-\n"                    // 8: deletion, fine
                                  L"; a comment\n"
                                  L"[-HKEY_CURRENT_USER\\Gone]\n"     // 10
                                  L"\"x\"=\"in a deleted key\"\n"));  // 11
  EXPECT_EQ(script.errors, (std::vector<std::wstring>{
                               L"line 2: value outside a key", L"line 3: unknown root",
                               L"line 5: bad dword", L"line 6: bad hex data",
                               L"line 7: unterminated text", L"line 11: value outside a key"}));
  ASSERT_EQ(script.ops.size(), 3u);
  EXPECT_EQ(script.ops[1].kind, RegOpKind::DeleteValue);
  EXPECT_EQ(script.ops[2].kind, RegOpKind::DeleteKey);
  EXPECT_FALSE(ParseRegScript(std::wstring(L"[HKEY_CURRENT_USER\\K]\n")).hasHeader);
}

TEST(CliRegScriptTest, QuotedTextsReadAsRegExeReadsThem) {
  // \\ \" \n \r are escapes; any other backslash is dropped, in names and data
  // alike; \0 and a missing closing quote spoil the line.
  const struct {
    const wchar_t* line;
    const wchar_t* name;
    const wchar_t* text;   // nullptr: the line is skipped
    const wchar_t* error;  // for a skipped line
  } cases[] = {
      {L"\"a\"=\"C:\\path\\x\"", L"a", L"C:pathx", nullptr},
      {L"\"a\"=\"tail\\ \"", L"a", L"tail ", nullptr},
      {L"\"a\"=\"\\\\srv\\\\share\"", L"a", L"\\srv\\share", nullptr},
      {L"\"a\"=\"say \\\"hi\\\"\"", L"a", L"say \"hi\"", nullptr},
      {L"\"a\"=\"one\\ntwo\\rthree\"", L"a", L"one\ntwo\rthree", nullptr},
      {L"\"a\"=\"\\N\\R\\t\"", L"a", L"NRt", nullptr},
      {L"\"n\\a\\\\me\"=\"x\"", L"na\\me", L"x", nullptr},
      {L"\"a\"=\"a\\0b\"", nullptr, nullptr, L"line 3: \\0 in a text"},
      {L"\"a\\0\"=\"x\"", nullptr, nullptr, L"line 3: \\0 in a text"},
      {L"\"a\"=\"open \\\"", nullptr, nullptr, L"line 3: unterminated text"},
      {L"\"a=\"x\"", nullptr, nullptr, L"line 3: missing '='"},
      {L"\"a\\\"=x", nullptr, nullptr, L"line 3: unterminated value name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(fake::Narrow(c.line));
    const auto parsed = ParseRegScript(kRegFileHeader + L"\n[HKEY_CURRENT_USER\\K]\n" + c.line);
    if (!c.text) {
      EXPECT_EQ(parsed.errors, std::vector<std::wstring>{c.error});
      EXPECT_EQ(parsed.ops.size(), 1u);
      continue;
    }
    ASSERT_TRUE(parsed.errors.empty()) << fake::Narrow(parsed.errors[0]);
    ASSERT_EQ(parsed.ops.size(), 2u);
    EXPECT_EQ(parsed.ops[1].name, c.name);
    EXPECT_EQ(parsed.ops[1].data.bytes, WideToRegBytes(c.text));
  }
}

TEST(CliRegScriptTest, RecognisesRegExeImportsWhateverTheirSpelling) {
  const struct {
    const wchar_t* commandLine;
    const wchar_t* script;  // nullptr: not an import
  } cases[] = {
      {L"reg.exe import C:\\Temp\\BAT.reg", L"C:\\Temp\\BAT.reg"},
      {L"REG IMPORT \"C:\\Users\\Ann Lee\\Temp\\ZIP.reg\"", L"C:\\Users\\Ann Lee\\Temp\\ZIP.reg"},
      {L"C:\\Windows\\System32\\reg.exe import x.reg", L"x.reg"},
      {L"reg.exe export HKCU x.reg", nullptr},
      {L"regedit.exe /s x.reg", nullptr},
      {L"reg.exe import", nullptr},
  };
  for (const auto& c : cases) {
    const auto target = RegImportTarget(c.commandLine);
    if (c.script) {
      ASSERT_TRUE(target.has_value()) << fake::Narrow(c.commandLine);
      EXPECT_EQ(*target, c.script);
    } else {
      EXPECT_FALSE(target.has_value()) << fake::Narrow(c.commandLine);
    }
  }
}

}  // namespace
}  // namespace korvane
