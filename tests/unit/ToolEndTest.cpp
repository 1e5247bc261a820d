// How a started program ended decides whether the repair it belongs to may report
// success: a program ended by an exception (an NTSTATUS error code) or whose exit
// code cannot be read did not do its work, whatever tool or helper it was.
#include <nlohmann/json.hpp>

#include "CliTestSupport.h"
#include "advfix/Unit_AdvFix_Korvane.h"
#include "common/KorvaneError.h"
#include "common/Messages.h"
#include "common/RestartExplorer.h"
#include "fileassoc/FileAssoc.h"

namespace korvane {
namespace {

using Json = nlohmann::json;
using testing::CliTest;

const std::vector<std::uint8_t> kHelperImage{'M', 'Z', 0x90, 0x00, 0xFF};
const std::wstring kHelperPath = L"C:\\Temp\\RestartExp.exe";

struct EndCase {
  const char* what;
  std::uint32_t exitCode;
  long exitCodeUnreadable;  // 0: the code reads
  // The standard error box's text, empty when the run goes on as it always did.
  std::wstring toolFailure;    // gpupdate, an Advanced repair's tool
  std::wstring helperFailure;  // the Explorer restart helper
  long waitFails = 0;          // not 0: the wait for its end fails with this error
};

const EndCase kEndCases[] = {
    {"stack overflow", 0xC00000FDu, 0,
     L"\"gpupdate\" ended abnormally with status 0xC00000FD. Recursion too deep; the stack "
     L"overflowed.",
     L"\"" + kHelperPath +
         L"\" ended abnormally with status 0xC00000FD. Recursion too deep; the stack overflowed."},
    {"a DLL the loader cannot find", 0xC0000135u, 0,
     L"\"gpupdate\" ended abnormally with status 0xC0000135. The specified module could not be "
     L"found.",
     L"\"" + kHelperPath +
         L"\" ended abnormally with status 0xC0000135. The specified module could not be found."},
    // A status the system has no words for is still named by its number.
    {"an exception without a message", 0xC0001234u, 0,
     L"\"gpupdate\" ended abnormally with status 0xC0001234.",
     L"\"" + kHelperPath + L"\" ended abnormally with status 0xC0001234."},
    {"a C++ exception nobody caught", 0xE06D7363u, 0,
     L"\"gpupdate\" ended abnormally with status 0xE06D7363.",
     L"\"" + kHelperPath + L"\" ended abnormally with status 0xE06D7363."},
    {"a delay-loaded DLL missing", 0xC06D007Eu, 0,
     L"\"gpupdate\" ended abnormally with status 0xC06D007E.",
     L"\"" + kHelperPath + L"\" ended abnormally with status 0xC06D007E."},
    {"a breakpoint left in", 0x80000003u, 0,
     L"\"gpupdate\" ended abnormally with status 0x80000003.",
     L"\"" + kHelperPath + L"\" ended abnormally with status 0x80000003."},
    // Codes a tool chooses itself keep today's behaviour, all ones included.
    {"exit code 1", 1u, 0, L"", L""},
    {"exit code 0xFFFFFFFF", 0xFFFFFFFFu, 0, L"", L""},
    {"exit code 0xC0000000 minus one", 0xBFFFFFFFu, 0, L"", L""},
    {"exit code -2", 0xFFFFFFFEu, 0, L"", L""},
    {"an HRESULT a tool returns", 0x800F081Fu, 0, L"", L""},
    {"a wait for its end that fails", 0u, 0,
     L"Cannot wait for \"gpupdate\" to end. The handle is invalid.",
     L"Cannot wait for \"" + kHelperPath + L"\" to end. The handle is invalid.",
     kErrorInvalidHandle},
    {"an exit code that cannot be read", 0u, kErrorAccessDenied,
     L"Cannot read the exit code of \"gpupdate\". Access is denied.",
     L"Cannot read the exit code of \"" + kHelperPath + L"\". Access is denied."},
};

class ToolEndTest : public CliTest {};

TEST_F(ToolEndTest, AProgramEndedByAnExceptionOrWithAnUnreadableCodeIsAFailure) {
  for (const EndCase& c : kEndCases) {
    SCOPED_TRACE(c.what);
    const bool fails = !c.toolFailure.empty();

    {  // An Advanced repair in the window.
      fake::ScopedFakePlatform sys;
      fake::FakeProgram p;
      p.exitCode = c.exitCode;
      p.exitCodeUnreadable = c.exitCodeUnreadable;
      p.waitFailsWith = c.waitFails;
      sys->addProgram(L"gpupdate.exe", p);
      RunHandler(ResetGroupPolicy);
      std::vector<std::wstring> errors, information;
      for (const auto& m : sys->messages())
        ((m.flags & 0xF0) == kMbIconError ? errors : information).push_back(m.text);
      if (fails) {
        EXPECT_EQ(errors, std::vector<std::wstring>{c.toolFailure});
        EXPECT_TRUE(information.empty()) << "a notice followed a failed tool";
      } else {
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(information, std::vector<std::wstring>{kFixedNoticeText});
      }
    }

    {  // The Explorer restart helper from the Tools menu; its copy goes either way.
      fake::ScopedFakePlatform sys;
      sys->resources[L"RESTARTEXPLORER"] = kHelperImage;
      fake::FakeProgram p;
      p.exitCode = c.exitCode;
      p.exitCodeUnreadable = c.exitCodeUnreadable;
      p.waitFailsWith = c.waitFails;
      sys->addProgram(L"RestartExp.exe", p);
      RunHandler(RestartExplorer);
      std::vector<std::wstring> shown;
      for (const auto& m : sys->messages()) shown.push_back(m.text);
      EXPECT_EQ(shown,
                fails ? std::vector<std::wstring>{c.helperFailure} : std::vector<std::wstring>{});
      EXPECT_FALSE(sys->fileExists(kHelperPath));
    }

    {  // The same repair from KorvaneCli.
      fake::ScopedFakePlatform sys;
      fake::FakeProgram p;
      p.exitCode = c.exitCode;
      p.exitCodeUnreadable = c.exitCodeUnreadable;
      p.waitFailsWith = c.waitFails;
      sys->addProgram(L"gpupdate.exe", p);
      cli::RegisterEventSource(*sys);
      cli::CliHost host{*sys, nullptr};
      const cli::CliResult result = cli::RunCli({"fix", "advanced.group-policy", "--json"}, host);
      const Json doc = Json::parse(result.out);
      ASSERT_EQ(doc["repairs"].size(), 1u);
      if (fails) {
        EXPECT_EQ(result.exitCode, 2) << result.out;
        EXPECT_EQ(doc["repairs"][0]["status"], "failed");
        EXPECT_EQ(FromUtf8(doc["repairs"][0]["failure"].get<std::string>()), c.toolFailure);
      } else {
        EXPECT_EQ(result.exitCode, 3010) << result.out;
        EXPECT_EQ(doc["repairs"][0]["status"], "done");
      }
    }
  }
}

// reg.exe is a tool like any other: one that crashed is named in the standard error
// box, where a script it rejected still gives the page's "Error!".
TEST_F(ToolEndTest, ACrashedRegExeIsNamedWhereARejectedScriptSaysError) {
  const struct {
    std::uint32_t exitCode;
    std::wstring box;
  } cases[] = {
      {0xC0000005u,
       L"\"reg.exe\" ended abnormally with status 0xC0000005. Invalid access to memory location."},
      {1u, L"Error!"},
  };
  for (const auto& c : cases) {
    fake::ScopedFakePlatform sys;
    TempPath = L"C:\\Temp\\";
    fake::FakeProgram reg;
    reg.exitCode = c.exitCode;
    sys->addProgram(L"reg.exe", reg);
    RunHandler([] { ApplyRegScript({"Windows Registry Editor Version 5.00"}, L"TXT"); });
    ASSERT_EQ(sys->messages().size(), 1u);
    EXPECT_EQ(sys->messages()[0].text, c.box);
    EXPECT_EQ(sys->messages()[0].flags & 0xF0, kMbIconError);
    EXPECT_FALSE(sys->fileExists(L"C:\\Temp\\TXT.reg"));
  }
}

}  // namespace
}  // namespace korvane
