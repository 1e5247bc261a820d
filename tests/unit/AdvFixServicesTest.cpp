// The "Updates & Apps" repairs on the fake: services stopped and started through
// the Service Control Manager with a bounded wait, caches deleted, folders renamed
// aside, and the undo that renames them back.
#include <functional>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "advfix/Unit_AdvFix_Korvane.h"
#include "changes/Describe.h"
#include "changes/RegistryCheck.h"
#include "changes/UndoFiles.h"
#include "common/KorvaneError.h"
#include "common/Messages.h"
#include "common/RestartExplorer.h"
#include "common/Services.h"
#include "platform/ForwardingPlatform.h"
#include "repairs/VerifiedPress.h"

namespace korvane {
namespace {

using testing::CliTest;

const std::wstring kDownloader = L"C:\\ProgramData\\Microsoft\\Network\\Downloader";
const std::wstring kDistribution = L"C:\\Windows\\SoftwareDistribution";
const std::wstring kCatroot = L"C:\\Windows\\System32\\catroot2";
const std::wstring kSpool = L"C:\\Windows\\System32\\spool\\PRINTERS";
const std::wstring kSearchData = L"C:\\ProgramData\\Microsoft\\Search\\Data\\Applications\\Windows";

class AdvFixServicesTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    installRegExe();
    Furnish(fake());
  }

  // A machine whose Windows Update has its queue files, folders and services.
  static void Furnish(fake::FakePlatform& f) {
    for (const wchar_t* dir : {L"C:\\Windows", L"C:\\Windows\\System32", L"C:\\ProgramData",
                               kDownloader.c_str(), kDistribution.c_str(), kCatroot.c_str()})
      f.addDirectory(dir);
    f.addFile(kDownloader + L"\\qmgr0.dat", {1});
    f.addFile(kDownloader + L"\\QMGR1.DAT", {2});
    f.addFile(kDownloader + L"\\other.dat", {3});
    f.addDirectory(kDistribution + L"\\DataStore");
    f.addFile(kDistribution + L"\\DataStore\\DataStore.edb", {4});
    f.addFile(kCatroot + L"\\edb.log", {5});
    for (const std::wstring& name : WindowsUpdateServices())
      f.addService(name, {kServiceRunning, 2, 2});
  }

  // The window's press: preview, undo file, the repair, the read-back.
  VerifiedRun press(const std::string& id) {
    VerifiedRun run;
    RunHandler([&] { run = PressVerified(fake(), *FindRepair(id)); });
    return run;
  }

  static std::vector<std::wstring> serviceAndFolderSteps(const fake::FakePlatform& f) {
    std::vector<std::wstring> out;
    for (const std::wstring& e : f.events)
      if (e.rfind(L"stop service ", 0) == 0 || e.rfind(L"start service ", 0) == 0 ||
          e.rfind(L"rename ", 0) == 0)
        out.push_back(e);
    return out;
  }
  std::vector<std::wstring> serviceAndFolderSteps() { return serviceAndFolderSteps(fake()); }

  std::uint32_t state(const std::wstring& name) { return fake().service(name)->state; }

  std::uint32_t sleptMs() {
    std::uint32_t total = 0;
    for (const std::wstring& e : fake().events)
      if (e.rfind(L"sleep ", 0) == 0) total += std::stoul(e.substr(6));
    return total;
  }

  const fake::MessageRecord& lastBox() { return fake().messages().back(); }
};

TEST_F(AdvFixServicesTest, WindowsUpdateResetStopsDeletesRenamesAndStartsInOrder) {
  const VerifiedRun run = press("advanced.windows-update");

  EXPECT_EQ(serviceAndFolderSteps(),
            (std::vector<std::wstring>{
                L"stop service UsoSvc", L"stop service BITS", L"stop service wuauserv",
                L"stop service AppIDSvc", L"stop service CryptSvc",
                L"rename " + kDistribution + L" -> " + kDistribution + L".bak",
                L"rename " + kCatroot + L" -> " + kCatroot + L".bak", L"start service CryptSvc",
                L"start service AppIDSvc", L"start service wuauserv", L"start service BITS",
                L"start service UsoSvc"}));
  EXPECT_FALSE(fake().fileExists(kDownloader + L"\\qmgr0.dat"));
  EXPECT_FALSE(fake().fileExists(kDownloader + L"\\QMGR1.DAT"));
  EXPECT_TRUE(fake().fileExists(kDownloader + L"\\other.dat"));
  EXPECT_FALSE(fake().directoryExists(kDistribution));
  EXPECT_TRUE(fake().fileExists(kDistribution + L".bak\\DataStore\\DataStore.edb"));
  EXPECT_TRUE(fake().fileExists(kCatroot + L".bak\\edb.log"));
  for (const std::wstring& name : WindowsUpdateServices()) EXPECT_EQ(state(name), kServiceRunning);
  EXPECT_TRUE(run.unverified.empty());
  EXPECT_EQ(lastBox().text, kDoneText);
  EXPECT_EQ(lastBox().flags, kMbIconInformation);

  // The undo file names the renames, which an undo reverses, and the deleted caches,
  // which nothing brings back.
  ASSERT_EQ(run.undoFiles.size(), 1u);
  const std::optional<UndoEntry> entry = ReadUndoFile(fake(), run.undoFiles[0]);
  ASSERT_TRUE(entry);
  ASSERT_EQ(entry->renamed.size(), 2u);
  EXPECT_EQ(entry->renamed[0].original, kDistribution);
  EXPECT_EQ(entry->renamed[0].now, kDistribution + L".bak");
  EXPECT_EQ(ChangesText(*entry), L"2 folders renamed, 2 deleted for good");
}

TEST_F(AdvFixServicesTest, ServicesNotThereOrNotRunningAreLeftAsTheyWere) {
  // Windows 8 has no UsoSvc; AppIDSvc was not running and stays stopped.
  fake().removeService(L"UsoSvc");
  fake().service(L"AppIDSvc")->state = kServiceStopped;
  const VerifiedRun run = press("advanced.windows-update");
  EXPECT_EQ(serviceAndFolderSteps(),
            (std::vector<std::wstring>{
                L"stop service BITS", L"stop service wuauserv", L"stop service CryptSvc",
                L"rename " + kDistribution + L" -> " + kDistribution + L".bak",
                L"rename " + kCatroot + L" -> " + kCatroot + L".bak", L"start service CryptSvc",
                L"start service wuauserv", L"start service BITS"}));
  EXPECT_EQ(state(L"AppIDSvc"), kServiceStopped);
  EXPECT_TRUE(run.unverified.empty());
  EXPECT_EQ(lastBox().text, kDoneText);
}

// The preview stops, renames and starts nothing, and lists all of it in order.
TEST_F(AdvFixServicesTest, ThePreviewListsTheStepsAndChangesNothing) {
  const auto files = fake().allFiles();
  const nlohmann::json doc = runJson({"fix", "advanced.windows-update", "--dry-run"});
  std::vector<std::string> steps;
  for (const auto& c : doc["repairs"][0]["changes"])
    steps.push_back(c["action"].get<std::string>() + " " +
                    c.value("service", c.value("path", std::string())));
  const std::string distribution = ToUtf8(kDistribution), catroot = ToUtf8(kCatroot);
  EXPECT_EQ(steps, (std::vector<std::string>{
                       "stop-service UsoSvc", "stop-service BITS", "stop-service wuauserv",
                       "stop-service AppIDSvc", "stop-service CryptSvc",
                       "delete-file " + ToUtf8(kDownloader) + "\\qmgr0.dat",
                       "delete-file " + ToUtf8(kDownloader) + "\\QMGR1.DAT",
                       "rename-folder " + distribution, "rename-folder " + catroot,
                       "start-service CryptSvc", "start-service AppIDSvc", "start-service wuauserv",
                       "start-service BITS", "start-service UsoSvc"}));
  EXPECT_EQ(doc["repairs"][0]["changes"][7]["to"], distribution + ".bak");
  EXPECT_EQ(fake().allFiles(), files);
  EXPECT_TRUE(serviceAndFolderSteps().empty());
  for (const std::wstring& name : WindowsUpdateServices()) EXPECT_EQ(state(name), kServiceRunning);
}

TEST_F(AdvFixServicesTest, AFailedStepEndsTheRepairWithServicesRunningAgainAndNoDone) {
  const struct {
    const char* what;
    std::function<void(fake::FakePlatform&)> setUp;
    std::wstring error;
    bool renamed;  // SoftwareDistribution was renamed before the failure
  } cases[] = {
      {"a service does not stop in time",
       [](fake::FakePlatform& f) { f.service(L"wuauserv")->hangsOnStop = true; },
       L"The service \"wuauserv\" did not stop within 30 seconds. Done so far: stopped UsoSvc; "
       L"stopped BITS; started BITS again; started UsoSvc again.",
       false},
      {"a service refuses the stop",
       [](fake::FakePlatform& f) {
         f.service(L"BITS")->refuseStop = kErrorServiceCannotAcceptCtrl;
       },
       L"The service \"BITS\" cannot be stopped. The service cannot accept control messages at "
       L"this time. Done so far: stopped UsoSvc; started UsoSvc again.",
       false},
      {"a file in the folder is in use",
       [](fake::FakePlatform& f) {
         f.filesInUse.insert(kDistribution + L"\\DataStore\\DataStore.edb");
       },
       L"Cannot rename folder \"" + kDistribution + L"\" to \"" + kDistribution +
           L".bak\". The process cannot access the file because it is being used by another "
           L"process. Done so far: stopped UsoSvc; stopped BITS; stopped wuauserv; stopped "
           L"AppIDSvc; stopped CryptSvc; deleted \"" +
           kDownloader + L"\\qmgr0.dat\"; deleted \"" + kDownloader +
           L"\\QMGR1.DAT\"; started CryptSvc again; started AppIDSvc again; started "
           L"wuauserv again; started BITS again; started UsoSvc again.",
       false},
      {"a service does not start again",
       [](fake::FakePlatform& f) { f.service(L"CryptSvc")->hangsOnStart = true; },
       L"The service \"CryptSvc\" did not start within 30 seconds. Done so far: stopped UsoSvc; "
       L"stopped BITS; stopped wuauserv; stopped AppIDSvc; stopped CryptSvc; deleted \"" +
           kDownloader + L"\\qmgr0.dat\"; deleted \"" + kDownloader + L"\\QMGR1.DAT\"; renamed \"" +
           kDistribution + L"\" to \"" + kDistribution + L".bak\"; renamed \"" + kCatroot +
           L"\" to \"" + kCatroot +
           L".bak\"; started AppIDSvc again; started wuauserv again; "
           L"started BITS again; started UsoSvc again.",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakePlatform f;
    SysScope scope(f);
    Furnish(f);
    c.setUp(f);
    RunHandler(ResetWindowsUpdate);

    ASSERT_FALSE(f.messages().empty());
    EXPECT_EQ(f.messages().back().text, c.error);
    EXPECT_EQ(f.messages().back().title, kAppTitle);
    EXPECT_EQ(f.messages().back().flags, kMbIconError);
    for (const auto& m : f.messages()) EXPECT_NE(m.text, kDoneText);
    EXPECT_EQ(f.directoryExists(kDistribution), !c.renamed);
    // What the repair stopped before the failure runs again.
    for (const wchar_t* name : {L"UsoSvc", L"BITS"})
      EXPECT_EQ(f.service(name)->state, kServiceRunning) << fake::Narrow(name);
  }
}

TEST_F(AdvFixServicesTest, TheWaitIsBoundedAndGoesThroughThePlatform) {
  fake().service(L"UsoSvc")->hangsOnStop = true;
  RunHandler([&] { ResetWindowsUpdate(); });
  EXPECT_EQ(sleptMs(), kServiceWaitMs);
  // The window handled its messages between the looks.
  EXPECT_EQ(std::count(fake().events.begin(), fake().events.end(), L"messages"),
            static_cast<long>(kServiceWaitMs / kServicePollMs));
}

TEST_F(AdvFixServicesTest, TakenBakNamesAreSkipped) {
  const struct {
    std::vector<std::wstring> taken;
    std::wstring expected;
  } cases[] = {
      {{}, kDistribution + L".bak"},
      {{L".bak"}, kDistribution + L".bak2"},
      {{L".bak", L".bak2"}, kDistribution + L".bak3"},
      {{L".bak2"}, kDistribution + L".bak"},
  };
  for (const auto& c : cases) {
    fake::FakePlatform f;
    SysScope scope(f);
    f.addDirectory(L"C:\\Windows");
    for (const std::wstring& t : c.taken) f.addDirectory(kDistribution + t);
    EXPECT_EQ(SetAsideName(kDistribution), c.expected);
  }
  // A file of the name takes it too.
  fake().addDirectory(kDistribution + L".bak");
  fake().addFile(kDistribution + L".bak2");
  fake().addDirectory(kCatroot + L".bak");
  press("advanced.windows-update");
  EXPECT_TRUE(fake().fileExists(kDistribution + L".bak3\\DataStore\\DataStore.edb"));
  EXPECT_TRUE(fake().fileExists(kCatroot + L".bak2\\edb.log"));
  EXPECT_EQ(lastBox().text, kDoneText);
}

TEST_F(AdvFixServicesTest, TheUndoRenamesBackOrRefusesWhenTheNameIsTakenAgain) {
  const VerifiedRun run = press("advanced.windows-update");
  ASSERT_EQ(run.undoFiles.size(), 1u);

  // Windows Update made a new folder of the original name: nothing is renamed, and
  // nothing else is done either.
  fake().addDirectory(kDistribution);
  fake().events.clear();
  const size_t launches = fake().launches().size();
  UndoOutcome undo = UndoFromFile(fake(), run.undoFiles[0]);
  EXPECT_FALSE(undo.done);
  EXPECT_EQ(undo.failure, L"\"" + kDistribution + L"\" is there again, so \"" + kDistribution +
                              L".bak\" is not renamed back.");
  EXPECT_TRUE(serviceAndFolderSteps().empty());
  EXPECT_EQ(fake().launches().size(), launches);
  EXPECT_TRUE(fake().directoryExists(kCatroot + L".bak"));
  EXPECT_FALSE(fake().directoryExists(kCatroot));

  // Once it is gone, the undo puts both back and reads them back.
  std::wstring item;
  ASSERT_EQ(fake().deleteFolderTree(kDistribution, &item), 0);
  undo = UndoFromFile(fake(), run.undoFiles[0]);
  EXPECT_TRUE(undo.done) << fake::Narrow(undo.failure);
  EXPECT_TRUE(fake().fileExists(kDistribution + L"\\DataStore\\DataStore.edb"));
  EXPECT_TRUE(fake().fileExists(kCatroot + L"\\edb.log"));
  EXPECT_FALSE(fake().directoryExists(kDistribution + L".bak"));
  EXPECT_FALSE(fake().directoryExists(kCatroot + L".bak"));
  // The queue files are gone for good.
  EXPECT_FALSE(fake().fileExists(kDownloader + L"\\qmgr0.dat"));
}

TEST_F(AdvFixServicesTest, TheReadBackChecksServicesAndRenamedFolders) {
  ExpectedRegistry expected;
  expected.apply(OtherChange(ChangeKind::StopService, L"BITS"));
  expected.apply(OtherChange(ChangeKind::StartService, L"BITS"));
  expected.apply(OtherChange(ChangeKind::StopService, L"CryptSvc"));  // not started: no check
  expected.apply(OtherChange(ChangeKind::RenameFolder, kDistribution, kDistribution + L".bak"));
  EXPECT_FALSE(expected.empty());

  fake().service(L"BITS")->state = kServiceStopped;
  fake().service(L"CryptSvc")->state = kServiceStopped;
  std::vector<std::wstring> found;
  for (const Difference& d : expected.compare(fake())) found.push_back(DescribeDifference(d));
  EXPECT_EQ(found, (std::vector<std::wstring>{L"not running      service BITS",
                                              L"missing folder   " + kDistribution + L".bak"}));

  fake().service(L"BITS")->state = kServiceRunning;
  fake().renameFolder(kDistribution, kDistribution + L".bak");
  EXPECT_TRUE(expected.compare(fake()).empty());
}

TEST_F(AdvFixServicesTest, PrintQueueAndSearchIndexStopDeleteAndStartTheirService) {
  const struct {
    std::string id;
    std::wstring service;
    std::wstring folder;
    std::vector<std::wstring> deleted;
    std::vector<std::wstring> kept;
  } cases[] = {
      {"advanced.print-queue", L"Spooler", kSpool, {L"00012.SHD", L"00012.SPL"}, {}},
      {"advanced.search-index", L"WSearch", kSearchData, {L"Windows.edb"}, {L"MSS.log"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    fake().addDirectory(c.folder);
    for (const auto& n : c.deleted) fake().addFile(c.folder + L"\\" + n, {1});
    for (const auto& n : c.kept) fake().addFile(c.folder + L"\\" + n, {1});
    fake().addService(c.service, {kServiceRunning, 1, 1});
    fake().events.clear();

    const VerifiedRun run = press(c.id);
    EXPECT_EQ(serviceAndFolderSteps(), (std::vector<std::wstring>{L"stop service " + c.service,
                                                                  L"start service " + c.service}));
    for (const auto& n : c.deleted) EXPECT_FALSE(fake().fileExists(c.folder + L"\\" + n)) << n;
    for (const auto& n : c.kept) EXPECT_TRUE(fake().fileExists(c.folder + L"\\" + n)) << n;
    EXPECT_EQ(state(c.service), kServiceRunning);
    EXPECT_EQ(lastBox().text, kDoneText);
    ASSERT_EQ(run.undoFiles.size(), 1u);
    EXPECT_EQ(ReadUndoFile(fake(), run.undoFiles[0])->deletedForGood, c.deleted.size());

    // A file that cannot be deleted (another program has it open) ends it with the
    // service running again.
    fake().addFile(c.folder + L"\\" + c.deleted[0], {1});
    Handle inUse = 0;
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(fake().lockFile(c.folder + L"\\" + c.deleted[0], &inUse, &bytes));
    press(c.id);
    EXPECT_EQ(lastBox().text, L"Cannot delete file \"" + c.folder + L"\\" + c.deleted[0] +
                                  L"\". The process cannot access the file because it is being "
                                  L"used by another process. Done so far: stopped " +
                                  c.service + L"; started " + c.service + L" again.");
    EXPECT_EQ(state(c.service), kServiceRunning);
    fake().closeHandle(inUse);
  }
}

TEST_F(AdvFixServicesTest, StoreCacheRunsWsResetFromTheSystemDirectory) {
  const struct {
    const char* what;
    bool installed;
    std::uint32_t exitCode;
    std::wstring box;
  } cases[] = {
      {"it ends well", true, 0, kDoneText},
      {"it fails", true, 5, L"WSReset.exe ended with exit code 5."},
      {"it is not there", false, 0,
       L"Cannot run \"C:\\Windows\\System32\\WSReset.exe\". The system cannot find the file "
       L"specified."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakePlatform f;
    SysScope scope(f);
    if (c.installed) {
      f.addFile(L"C:\\Windows\\System32\\WSReset.exe");
      f.addProgram(L"WSReset.exe", {c.exitCode, 1});
    }
    RunHandler(ClearStoreCache);
    ASSERT_FALSE(f.messages().empty());
    EXPECT_EQ(f.messages().back().text, c.box);
    if (c.installed) {
      EXPECT_EQ(f.launches().at(0).application, L"C:\\Windows\\System32\\WSReset.exe");
    }
  }
}

TEST_F(AdvFixServicesTest, WmiSalvagesOnlyAnInconsistentRepositoryAndOnlyWhenAsked) {
  const std::wstring winmgmt = L"C:\\Windows\\System32\\wbem\\winmgmt.exe";
  const struct {
    const char* what;
    std::uint32_t verify;
    int answer;
    std::uint32_t salvage;
    std::vector<std::wstring> boxes;
    int runs;
  } cases[] = {
      {"consistent", 0, 0, 0, {kWmiConsistentText}, 1},
      {"inconsistent, salvaged", 1, kIdYes, 0, {WmiInconsistentQuestion(1), kDoneText}, 2},
      {"inconsistent, not salvaged", 1, kIdNo, 0, {WmiInconsistentQuestion(1)}, 1},
      {"salvage fails",
       0x80041002u,
       kIdYes,
       0x80041002u,
       {WmiInconsistentQuestion(0x80041002u),
        L"winmgmt /salvagerepository ended with exit code 0x80041002."},
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakePlatform f;
    SysScope scope(f);
    f.addDirectory(L"C:\\Windows\\System32\\wbem");
    f.addFile(winmgmt);
    // The next run, if any, is the salvage, with its own exit code.
    f.addProgram(L"winmgmt.exe", {c.verify, 0, [&f, &c](const std::wstring&) {
                                    f.addProgram(L"winmgmt.exe", {c.salvage, 0});
                                  }});
    f.answerMessageBoxes({c.answer});
    RunHandler(CheckWmiRepository);
    std::vector<std::wstring> boxes;
    for (const auto& m : f.messages()) boxes.push_back(m.text);
    EXPECT_EQ(boxes, c.boxes);
    ASSERT_EQ(f.launches().size(), static_cast<size_t>(c.runs));
    EXPECT_EQ(f.launches()[0].application, winmgmt);
    EXPECT_EQ(f.launches()[0].commandLine, winmgmt + L" /verifyrepository");
    if (c.runs == 2) EXPECT_EQ(f.launches()[1].commandLine, winmgmt + L" /salvagerepository");
  }
}

TEST_F(AdvFixServicesTest, IconCacheIsDeletedWhileFileExplorerIsEnded) {
  const std::wstring local = L"C:\\Users\\Ann\\AppData\\Local";
  const std::wstring explorer = local + L"\\Microsoft\\Windows\\Explorer";
  const std::wstring system = L"C:\\Windows\\System32";
  const struct {
    const char* what;
    bool planted;  // the user made the Explorer folder a junction to System32
  } cases[] = {{"the user's own folder", false}, {"a junction planted on the way", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakePlatform f;
    SysScope scope(f);
    for (const std::wstring& d : std::vector<std::wstring>{
             L"C:\\Temp", L"C:\\Users", L"C:\\Users\\Ann", L"C:\\Users\\Ann\\AppData", local,
             local + L"\\Microsoft", local + L"\\Microsoft\\Windows", L"C:\\Windows", system})
      f.addDirectory(d);
    f.resources[kRestartHelperResource] = {'M', 'Z', 0};
    if (c.planted) {
      f.addLink(explorer, system);
      f.addFile(system + L"\\iconcache_32.db", {9});
    } else {
      f.addDirectory(explorer);
      for (const wchar_t* n :
           {L"IconCache.db", L"iconcache_32.db", L"iconcache_idx.db", L"thumbcache_32.db"})
        f.addFile(explorer + L"\\" + n, {1});
    }
    f.addFile(local + L"\\IconCache.db", {1});
    // What the helper finds when it starts: the caches there or not.
    std::vector<std::wstring> helperRuns;
    f.addProgram(L"RestartExp.exe",
                 {0, 1, [&](const std::wstring& command) {
                    helperRuns.push_back(command + (f.fileExists(local + L"\\IconCache.db")
                                                        ? L" (cache there)"
                                                        : L" (cache gone)"));
                  }});

    RunHandler(RebuildIconCache);

    EXPECT_EQ(helperRuns, (std::vector<std::wstring>{
                              L"C:\\Temp\\RestartExp.exe /end (cache there)",
                              L"C:\\Temp\\RestartExp.exe /start" +
                                  std::wstring(c.planted ? L" (cache there)" : L" (cache gone)")}));
    if (c.planted) {
      EXPECT_TRUE(f.fileExists(system + L"\\iconcache_32.db"));
      EXPECT_EQ(f.messages().back().text,
                L"Cannot delete file \"" + explorer +
                    L"\\iconcache_32.db\". It lies behind a link, which is not followed. Done "
                    L"so far: ended File Explorer; started File Explorer again.");
      EXPECT_EQ(f.messages().back().flags, kMbIconError);
    } else {
      for (const wchar_t* n : {L"IconCache.db", L"iconcache_32.db", L"iconcache_idx.db"})
        EXPECT_FALSE(f.fileExists(explorer + L"\\" + n)) << fake::Narrow(n);
      EXPECT_TRUE(f.fileExists(explorer + L"\\thumbcache_32.db"));
      EXPECT_FALSE(f.fileExists(local + L"\\IconCache.db"));
      EXPECT_EQ(f.messages().back().text, kDoneText);
    }
  }
}

}  // namespace
}  // namespace korvane
