#include "TestSupport.h"
#include "common/KorvaneError.h"
#include "common/RestartExplorer.h"

namespace korvane {
namespace {

using testing::FakeTest;

// Stands in for the embedded helper; the zero bytes make sure nothing treats it as text.
const std::vector<std::uint8_t> kHelperImage{'M', 'Z', 0x90, 0x00, 0x03, 0x00, 0x00, 0x00, 0xFF};
const std::wstring kHelperPath = L"C:\\Temp\\RestartExp.exe";

class RestartExplorerTest : public FakeTest {
 protected:
  void SetUp() override {
    FakeTest::SetUp();
    fake().addDirectory(L"C:\\Temp");
    fake().resources[L"RESTARTEXPLORER"] = kHelperImage;
  }
  // The helper as the fake runs it: records the image it was started from.
  void installHelper() {
    fake::FakeProgram helper;
    helper.polls = 2;
    helper.onStart = [this](const std::wstring&) {
      ranImage = fake().fileBytes(startedPath()).value_or(std::vector<std::uint8_t>{});
    };
    fake().addProgram(L"RestartExp.exe", helper);
  }
  std::wstring startedPath() const { return tempDir + L"\\RestartExp.exe"; }

  std::wstring tempDir = L"C:\\Temp";
  std::vector<std::uint8_t> ranImage;
};

TEST_F(RestartExplorerTest, ReplacesAStaleCopyRunsItHiddenAndLeavesNothingBehind) {
  fake().addFile(kHelperPath, {'o', 'l', 'd'});
  installHelper();

  RunHandler(RestartExplorer);

  ASSERT_EQ(fake().launches().size(), 1u);
  EXPECT_EQ(fake().launches()[0].commandLine, kHelperPath);
  EXPECT_EQ(fake().launches()[0].showMode, 0);
  EXPECT_TRUE(fake().launches()[0].waited);
  EXPECT_EQ(ranImage, kHelperImage) << "the stale copy was run";
  EXPECT_FALSE(fake().fileExists(kHelperPath));
  EXPECT_TRUE(fake().messages().empty());
}

TEST_F(RestartExplorerTest, QuotesATempFolderWithABlankSoTheHelperItselfStarts) {
  tempDir = L"C:\\Users\\Ann Lee\\AppData\\Local\\Temp";
  TempPath = tempDir + L"\\";
  fake().addDirectory(L"C:\\Users");
  fake().addDirectory(L"C:\\Users\\Ann Lee");
  fake().addDirectory(L"C:\\Users\\Ann Lee\\AppData");
  fake().addDirectory(L"C:\\Users\\Ann Lee\\AppData\\Local");
  fake().addDirectory(tempDir);
  installHelper();

  RunHandler(RestartExplorer);

  ASSERT_EQ(fake().launches().size(), 1u);
  EXPECT_EQ(fake().launches()[0].commandLine, L"\"" + startedPath() + L"\"");
  EXPECT_EQ(ranImage, kHelperImage);
  EXPECT_FALSE(fake().fileExists(startedPath()));
  EXPECT_TRUE(fake().messages().empty());
}

TEST_F(RestartExplorerTest, AFailedExtractionReachesTheStandardErrorBoxAndRunsNothing) {
  struct Case {
    const char* name;
    std::function<void(fake::FakePlatform&)> arrange;
    const wchar_t* shown;
  } cases[] = {
      {"resource missing", [](fake::FakePlatform& f) { f.resources.clear(); },
       L"Resource RESTARTEXPLORER not found."},
      {"scratch folder missing", [](fake::FakePlatform&) { TempPath = L"C:\\Gone\\"; },
       L"Cannot create file \"C:\\Gone\\RestartExp.exe\""},
      {"scratch folder read-only", [](fake::FakePlatform& f) { f.addDirectory(L"C:\\Temp", true); },
       L"Cannot create file \"C:\\Temp\\RestartExp.exe\""},
      // An old copy that cannot be deleted (still running, say) must not be run.
      {"stale copy stuck",
       [](fake::FakePlatform& f) {
         f.addFile(L"C:\\Temp\\RestartExp.exe", {'o', 'l', 'd'});
         f.addDirectory(L"C:\\Temp", true);
       },
       L"Cannot create file \"C:\\Temp\\RestartExp.exe\""},
  };
  for (const auto& c : cases) {
    TempPath = L"C:\\Temp\\";
    fake::ScopedFakePlatform sys;
    sys->addDirectory(L"C:\\Temp");
    sys->resources[L"RESTARTEXPLORER"] = kHelperImage;
    sys->addProgram(L"RestartExp.exe", {});
    c.arrange(*sys);

    RunHandler(RestartExplorer);

    EXPECT_TRUE(sys->launches().empty()) << c.name;
    ASSERT_EQ(sys->messages().size(), 1u) << c.name;
    EXPECT_EQ(sys->messages()[0].text, c.shown) << c.name;
    EXPECT_EQ(sys->messages()[0].title, L"Korvane") << c.name;
    EXPECT_EQ(sys->messages()[0].flags, kMbIconError) << c.name;
  }
}

// The helper runs elevated from TEMP, where every program of the user may write.
TEST_F(RestartExplorerTest, NobodyCanReplaceTheHelperWhileItRuns) {
  fake().addFile(L"C:\\Temp\\evil.exe", {'M', 'Z', 'e', 'v', 'i', 'l'});
  std::vector<bool> racerGotIn;
  fake::FakeProgram helper;
  helper.polls = 1;
  helper.onStart = [&](const std::wstring&) {
    racerGotIn = {fake().writeFile(kHelperPath, {'M', 'Z'}), fake().deleteFile(kHelperPath),
                  fake().replaceFile(L"C:\\Temp\\evil.exe", kHelperPath)};
    ranImage = fake().fileBytes(kHelperPath).value_or(std::vector<std::uint8_t>{});
  };
  fake().addProgram(L"RestartExp.exe", helper);

  RunHandler(RestartExplorer);

  EXPECT_EQ(racerGotIn, (std::vector<bool>{false, false, false}));
  EXPECT_EQ(ranImage, kHelperImage);
  EXPECT_FALSE(fake().fileExists(kHelperPath));
  EXPECT_TRUE(fake().messages().empty());
}

TEST_F(RestartExplorerTest, AHelperChangedBeforeItStartsIsNotRun) {
  installHelper();
  fake().onLock = [&](const std::wstring& path) {
    if (path == kHelperPath) fake().addFile(path, {'M', 'Z', 'e', 'v', 'i', 'l'});
  };

  RunHandler(RestartExplorer);

  EXPECT_TRUE(fake().launches().empty());
  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text,
            L"Cannot create file \"" + kHelperPath + L"\". Another program changed it.");
  EXPECT_EQ(fake().messages()[0].flags, kMbIconError);
}

TEST_F(RestartExplorerTest, AHelperThatCannotStartIsReportedAndDeleted) {
  fake::FakeProgram refused;
  refused.refusedWith = kErrorAccessDenied;
  fake().addProgram(L"RestartExp.exe", refused);

  RunHandler(RestartExplorer);

  ASSERT_EQ(fake().messages().size(), 1u);
  EXPECT_EQ(fake().messages()[0].text, L"Cannot run \"" + kHelperPath + L"\". Access is denied.");
  EXPECT_EQ(fake().messages()[0].flags, kMbIconError);
  EXPECT_FALSE(fake().fileExists(kHelperPath));
}

TEST_F(RestartExplorerTest, ExtractionJoinsTheNameAsGivenAndCopiesEveryByte) {
  fake().resources[L"BLOB"] = {0x00, 0x01, 0x00, 0x00, 0x7F};
  fake().addFile(L"C:\\Temp\\blob.bin", std::vector<std::uint8_t>(64, 0xEE));

  ExtractResourceToFile(L"BLOB", L".bin", L"C:\\Temp\\", L"blob");

  EXPECT_EQ(fake().fileBytes(L"C:\\Temp\\blob.bin"),
            (std::vector<std::uint8_t>{0x00, 0x01, 0x00, 0x00, 0x7F}));
}

}  // namespace
}  // namespace korvane
