// The rows of the File Associations Fixer, in page order (row n is the n-th entry):
//   X(member, button, label, code, description)
// member: the payload store's component (TFORM_LAIN::member) holding the script;
// button: the row's FIX button; its click handler is button##Click;
// label: the type as the row shows it, and the command line's id (assoc.<label>);
// code: the script's file name (code.reg) when it is embedded and written out;
// description: the row's second line.
// Everything that lists the rows (catalogue, payload store, window, command line,
// tests) expands this one table.
#pragma once

#define KORVANE_FILE_TYPE_ROWS(X)                                                                 \
  X(mFIX_BAT_W10, btnFIXBATFILE, "BAT", "BAT", "Windows Batch File")                              \
  X(mFIX_CAB_W10, btnFIXCABFILE, "CAB", "CAB", "Cabinet File")                                    \
  X(mFIX_CMD_W10, btnFIXCMDFILE, "CMD", "CMD", "Windows Command Script")                          \
  X(mFIX_COM_W10, btnFIXCOMFILE, "COM", "COM", "MS-DOS Application")                              \
  X(mFIX_EXE_W10, btnFIXEXEFILE, "EXE", "EXE", "Application")                                     \
  X(mFIX_IMG_W10, btnFIXIMGFILE, "IMG", "IMG", "Disc Image File")                                 \
  X(mFIX_INF_W10, btnFIXINFFILE, "INF", "INF", "Setup Information")                               \
  X(mFIX_INI_W10, btnFIXINIFILE, "INI", "INI", "Configuration Settings")                          \
  X(mFIX_ISO_W10, btnFIXISOFILE, "ISO", "ISO", "Disc Image File")                                 \
  X(mFIX_LNK_W10, btnFIXLNKFILE, "LNK", "LNK", "Shortcut")                                        \
  X(mFIX_MSC_W10, btnFIXMSCFILE, "MSC", "MSC", "Microsoft Common Console Document")               \
  X(mFIX_MSI_W10, btnFIXMSIFILE, "MSI", "MSI", "Windows Installer Package")                       \
  X(mFIX_MSP_W10, btnFIXMSPFILE, "MSP", "MSP", "Windows Installer Patch")                         \
  X(mFIX_SCR_W10, btnFIXSCRFILE, "SCR", "SCR", "Screen Saver")                                    \
  X(mFIX_MSU_W10, btnFIXMSUFILE, "MSU", "MSU", "Microsoft Update Standalone Package")             \
  X(mFIX_REG_W10, btnFIXREGFILE, "REG", "REG", "Registration Entries")                            \
  X(mFIX_THEME_W10, btnFIXTHEMEFILE, "THEME", "THEME", "Windows Theme File")                      \
  X(mFIX_THEMEPACK_W10, btnFIXTHEMEPACKFILE, "THEMEPACK", "THEMEPACK", "Windows Theme Pack File") \
  X(mFIX_TXT_W10, btnFIXTXTFILE, "TXT", "TXT", "Text Document")                                   \
  X(mFIX_VBS_W10, btnFIXVBSFILE, "VBS", "VBS", "VBScript Script File")                            \
  X(mFIX_VHD_W10, btnFIXVHDFILE, "VHD", "VHD", "Hard Disk Image File")                            \
  X(mFIX_VHDX_W10, btnFIXVHDXFILE, "VHDX", "VHDX", "Hard Disk Image File")                        \
  X(mFIX_ZIP_W10, btnFIXZIPFILE, "ZIP", "ZIP", "Compressed (zipped) Folder")                      \
  X(mFIX_DRIVE_W10, btnFIXDRIVE, "DRIVE", "DRIVE", "Drive")                                       \
  X(mFIX_DIRECTORY_W10, btnFIXDIR, "DIRECTORY", "DIR", "Directory")                               \
  X(mFIX_FOLDER_W10, btnFIXFOLDER, "FOLDER", "FOLDER", "Folder")

// A narrow string literal of the table as a wide one.
#define KORVANE_WIDE_(text) L##text
#define KORVANE_WIDE(text) KORVANE_WIDE_(text)
