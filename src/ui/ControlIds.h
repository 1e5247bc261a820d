// Control and menu identifiers of the main window and the About dialog, as one
// list: the program defines the ids from it, and the end-to-end driver its table
// of names, so a scenario's "click btnSCANRESTRICT" follows every change here.
// Every id is unique, each range (a ...Base and the rows above it) included: a
// click is dispatched by id, and two controls of one id would share a handler.
#pragma once

#define KORVANE_CONTROL_IDS(X)                                                               \
  /* Main window */                                                                          \
  X(PageControl1, 100)                                                                       \
  X(TabSheet1, 101)                                                                          \
  X(tsFILEASSOC, 102)                                                                        \
  X(tsRESTRICTFIX, 103)                                                                      \
  X(tsADVANCEDFIX, 104)                                                                      \
  /* Home */                                                                                 \
  X(lblWinName, 201)                                                                         \
  X(lblMBoard, 202)                                                                          \
  X(lblCPUName, 203)                                                                         \
  X(lblTOTALRAM, 204)                                                                        \
  X(btnRSPoint, 211)                                                                         \
  X(btnSCANSFC, 212)                                                                         \
  X(btnSCANDISM, 213)                                                                        \
  /* File Associations Fixer: FIX button of row n (1..26) is FixButtonBase + n. */           \
  X(FixButtonBase, 300)                                                                      \
  X(ScrollBox2, 340)                                                                         \
  X(ScrollBox2Content, 342)                                                                  \
  X(lblINFO_FIX_EXE, 341)                                                                    \
  /* Restriction Fixer */                                                                    \
  X(lvRESTRICT, 401)                                                                         \
  X(lbRESTRICT, 402)                                                                         \
  X(cbCHECKALLRESTRICT, 403)                                                                 \
  X(btnSCANRESTRICT, 404)                                                                    \
  X(btnFIXRESTRICT, 405)                                                                     \
  /* Advanced: button of row n (0..28, display order) is AdvancedButtonBase + n. */          \
  X(AdvancedButtonBase, 500)                                                                 \
  X(ScrollBox1, 540)                                                                         \
  X(ScrollBox1Content, 541)                                                                  \
  /* Menu entries */                                                                         \
  X(mnuEXIT, 1001)                                                                           \
  /* Launcher entry n of the Tools menu's table (in table order) is ToolLauncherBase + n. */ \
  X(ToolLauncherBase, 1010)                                                                  \
  X(mnuCreateRestorePoint, 1033)                                                             \
  X(mnuRESTARTEXPLORER, 1035)                                                                \
  X(mnuUndoRepair, 1036)                                                                     \
  X(mnuHomepage, 1040)                                                                       \
  X(mnuEmail, 1041)                                                                          \
  X(mnuABOUT, 1042)                                                                          \
  /* Undo a Repair dialog */                                                                 \
  X(lvUNDO, 701)                                                                             \
  X(btnUNDO, 702)                                                                            \
  X(btnOPENUNDOFOLDER, 703)                                                                  \
  X(btnCLOSEUNDO, 704)                                                                       \
  X(lblUNDO, 705)                                                                            \
  /* About dialog */                                                                         \
  X(BTN_OK, 1) /* IDOK, so Enter closes it */                                                \
  X(LABEL_VERSI, 601)                                                                        \
  X(LABEL_HOMEPAGE, 602)                                                                     \
  X(LABEL_EMAIL, 603)                                                                        \
  X(lblAppName, 604)

namespace korvane::ids {

#define KORVANE_DEFINE_ID(name, value) constexpr int name = value;
KORVANE_CONTROL_IDS(KORVANE_DEFINE_ID)
#undef KORVANE_DEFINE_ID

}  // namespace korvane::ids
