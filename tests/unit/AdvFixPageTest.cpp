// The rows the window builds the Advanced page from: each button must reach its
// own repair, in its own section.
#include <set>

#include "AdvFixTestSupport.h"

namespace korvane {
namespace {

using testing::AdvFixTest;

TEST(AdvFixPage, EveryButtonCallsItsOwnRepairInItsSection) {
  const wchar_t* const desktop = L"Desktop && File Explorer";
  const wchar_t* const internet = L"Internet && Connections";
  const wchar_t* const system = L"System";
  const wchar_t* const apps = L"Updates && Apps";
  const struct {
    const char* button;
    const wchar_t* section;
    const wchar_t* caption;
    void (*routine)();
  } expected[] = {
      {"btnFIXEXPLOREREXE", desktop, L"FIX", &FixExplorerShell},
      {"btnFIXDESKTOPICON", desktop, L"FIX", &FixDesktopIconSettings},
      {"btnFIXRECYCLEBINICON", desktop, L"FIX", &FixRecycleBinOnDesktop},
      {"btnFIXICONRECYCLEBIN", desktop, L"FIX", &FixRecycleBinIcon},
      {"btnFIXRECYLEBINCORRUPT", desktop, L"FIX", &FixCorruptedRecycleBin},
      {"btnFIXTHUMBNAILSFOLDER", desktop, L"FIX", &FixThumbnails},
      {"btnFIXFILEFOLDERPROPERTIES", desktop, L"FIX", &FixFileFolderProperties},
      {"btnFIXDRIVEICON", desktop, L"FIX", &FixDriveIcons},
      {"btnFIXFOLDERVIEWSETTINGS", desktop, L"Reset", &ResetFolderViewSettings},
      {"btnFIXDNSCACHE", internet, L"FIX", &FlushDnsCache},
      {"btnRenewIP", internet, L"FIX", &RenewIPAddress},
      {"btnRESETFIREWALL", internet, L"Reset", &ResetFirewall},
      {"btnFIXFILEHOST", internet, L"Reset", &ResetHostsFile},
      {"btnFIXTCPIP", internet, L"Reset", &ResetTcpIp},
      {"btnFIXWINSOCK", internet, L"Reset", &ResetWinsock},
      {"btnRESETIESETTINGS", internet, L"Reset", &ResetIESettings},
      {"btnResetProxy", internet, L"Reset", &ResetProxy},
      {"btnFIXWINSEARCH", system, L"FIX", &FixWindowsSearch},
      {"btnFIXHIBERNATE", system, L"FIX", &FixHibernateOption},
      {"btnFIXPLUGPLAY", system, L"FIX", &FixPlugAndPlay},
      {"btnFIXWINSCRIPTHOST", system, L"FIX", &FixWindowsScriptHost},
      {"btnFIXSYSRESTORE", system, L"FIX", &FixSystemRestore},
      {"btnResetGPedit", system, L"Reset", &ResetGroupPolicy},
      {"btnRESETWINUPDATE", apps, L"Reset", &ResetWindowsUpdate},
      {"btnCLEARSTORECACHE", apps, L"FIX", &ClearStoreCache},
      {"btnREBUILDICONCACHE", apps, L"FIX", &RebuildIconCache},
      {"btnCLEARPRINTQUEUE", apps, L"FIX", &ClearPrintQueue},
      {"btnREBUILDSEARCHINDEX", apps, L"FIX", &RebuildSearchIndex},
      {"btnCHECKWMIREPOSITORY", apps, L"FIX", &CheckWmiRepository},
  };
  const auto& rows = AdvancedRows();
  ASSERT_EQ(rows.size(), std::size(expected));
  std::set<void (*)()> routines;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(expected[i].button);
    EXPECT_STREQ(rows[i].button, expected[i].button);
    EXPECT_STREQ(rows[i].section, expected[i].section);
    EXPECT_STREQ(rows[i].caption, expected[i].caption);
    EXPECT_EQ(rows[i].routine, expected[i].routine);
    EXPECT_NE(std::wstring(rows[i].label), L"");
    // The three older sections end with the restart notice; the new one says "Done!".
    EXPECT_EQ(rows[i].restartNotice, expected[i].section != apps);
    routines.insert(rows[i].routine);
  }
  EXPECT_EQ(routines.size(), rows.size()) << "two buttons share a repair";
}

// Pressing a button twice repeats the whole repair, notice included.
TEST_F(AdvFixTest, PressingTwiceRepeatsTheRepair) {
  for (const auto& row : AdvancedRows())
    if (std::string(row.button) == "btnFIXTHUMBNAILSFOLDER") {
      row.routine();
      fake().setDword(kHkeyCurrentUser,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                      L"IconsOnly", 1);
      row.routine();
    }
  EXPECT_EQ(fake().dwordValue(kHkeyCurrentUser,
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                              L"IconsOnly"),
            0u);
  EXPECT_EQ(notices(), 2);
}

}  // namespace
}  // namespace korvane
