// Control and menu identifiers of the main window and the About dialog.  The
// end-to-end driver includes this file to find controls, so ids stay stable.
#pragma once

namespace korvane::ids {

// Main window
constexpr int PageControl1 = 100;
constexpr int TabSheet1 = 101;
constexpr int tsFILEASSOC = 102;
constexpr int tsRESTRICTFIX = 103;
constexpr int tsADVANCEDFIX = 104;

// Home
constexpr int lblWinName = 201;
constexpr int lblMBoard = 202;
constexpr int lblCPUName = 203;
constexpr int lblTOTALRAM = 204;
constexpr int btnRSPoint = 211;
constexpr int btnSCANSFC = 212;
constexpr int btnSCANDISM = 213;

// File Associations Fixer: FIX button of row n (1..26) is FixButtonBase + n.
constexpr int FixButtonBase = 300;
constexpr int ScrollBox2 = 340;
constexpr int lblINFO_FIX_EXE = 341;

// Restriction Fixer
constexpr int lvRESTRICT = 401;
constexpr int lbRESTRICT = 402;
constexpr int cbCHECKALLRESTRICT = 403;
constexpr int btnSCANRESTRICT = 404;
constexpr int btnFIXRESTRICT = 405;

// Advanced: button of row n (0..22, display order) is AdvancedButtonBase + n.
constexpr int AdvancedButtonBase = 500;
constexpr int ScrollBox1 = 540;

// Menu entries
constexpr int mnuEXIT = 1001;
// Launcher entry n of the Tools menu's table (in table order) is ToolLauncherBase + n.
constexpr int ToolLauncherBase = 1010;
constexpr int mnuCreateRestorePoint = 1033;
constexpr int mnuRESTARTEXPLORER = 1035;
constexpr int mnuUndoRepair = 1036;
constexpr int mnuHomepage = 1040;
constexpr int mnuEmail = 1041;
constexpr int mnuABOUT = 1042;

// Undo a Repair dialog
constexpr int lvUNDO = 701;
constexpr int btnUNDO = 702;
constexpr int btnOPENUNDOFOLDER = 703;
constexpr int btnCLOSEUNDO = 704;
constexpr int lblUNDO = 705;

// About dialog
constexpr int BTN_OK = 1;  // IDOK, so Enter closes it
constexpr int LABEL_VERSI = 601;
constexpr int LABEL_HOMEPAGE = 602;
constexpr int LABEL_EMAIL = 603;
constexpr int lblAppName = 604;

}  // namespace korvane::ids
