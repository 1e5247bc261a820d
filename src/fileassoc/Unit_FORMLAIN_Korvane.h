// The payload store: fixed, read-only text lists the repairs write out.
#pragma once

#include <string>
#include <vector>

namespace korvane {

using Payload = std::vector<std::string>;

class TFORM_LAIN {
 public:
  TFORM_LAIN();

  Payload mFIX_BAT_W10, mFIX_CAB_W10, mFIX_CMD_W10, mFIX_COM_W10, mFIX_EXE_W10, mFIX_IMG_W10,
      mFIX_INF_W10, mFIX_INI_W10, mFIX_ISO_W10, mFIX_LNK_W10, mFIX_MSC_W10, mFIX_MSI_W10,
      mFIX_MSP_W10, mFIX_SCR_W10, mFIX_MSU_W10, mFIX_REG_W10, mFIX_THEME_W10, mFIX_THEMEPACK_W10,
      mFIX_TXT_W10, mFIX_VBS_W10, mFIX_VHD_W10, mFIX_VHDX_W10, mFIX_ZIP_W10, mFIX_DRIVE_W10,
      mFIX_DIRECTORY_W10, mFIX_FOLDER_W10;
  Payload MEMO_HOSTS;
  Payload mRESET_FOLDERVIEW;

  // Component by name ("mFIX_BAT_W10", "MEMO_HOSTS", ...); nullptr when unknown.
  const Payload* byName(const std::string& component) const;
};

// Created once at start-up, after the main window and the About dialog.
TFORM_LAIN& FORM_LAIN();

// Splits an embedded file into its lines (LF separated; the final LF ends the last line).
Payload SplitPayloadText(const char* text);

}  // namespace korvane
