#include "fileassoc/Unit_FORMLAIN_Korvane.h"

#include <cstring>
#include <utility>

#include "fileassoc/PayloadTable.h"

namespace korvane {
namespace {

const char* FindFile(const char* fileName) {
  for (const PayloadFile* f = kPayloadFiles; f->name; ++f)
    if (std::strcmp(f->name, fileName) == 0) return f->text;
  return nullptr;
}

Payload Load(const char* fileName) {
  const char* text = FindFile(fileName);
  return text ? SplitPayloadText(text) : Payload{};
}

}  // namespace

Payload SplitPayloadText(const char* text) {
  Payload lines;
  std::string current;
  for (const char* p = text; *p; ++p) {
    if (*p == '\n') {
      lines.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(*p);
    }
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

TFORM_LAIN::TFORM_LAIN()
    : mFIX_BAT_W10(Load("BAT.reg")),
      mFIX_CAB_W10(Load("CAB.reg")),
      mFIX_CMD_W10(Load("CMD.reg")),
      mFIX_COM_W10(Load("COM.reg")),
      mFIX_EXE_W10(Load("EXE.reg")),
      mFIX_IMG_W10(Load("IMG.reg")),
      mFIX_INF_W10(Load("INF.reg")),
      mFIX_INI_W10(Load("INI.reg")),
      mFIX_ISO_W10(Load("ISO.reg")),
      mFIX_LNK_W10(Load("LNK.reg")),
      mFIX_MSC_W10(Load("MSC.reg")),
      mFIX_MSI_W10(Load("MSI.reg")),
      mFIX_MSP_W10(Load("MSP.reg")),
      mFIX_SCR_W10(Load("SCR.reg")),
      mFIX_MSU_W10(Load("MSU.reg")),
      mFIX_REG_W10(Load("REG.reg")),
      mFIX_THEME_W10(Load("THEME.reg")),
      mFIX_THEMEPACK_W10(Load("THEMEPACK.reg")),
      mFIX_TXT_W10(Load("TXT.reg")),
      mFIX_VBS_W10(Load("VBS.reg")),
      mFIX_VHD_W10(Load("VHD.reg")),
      mFIX_VHDX_W10(Load("VHDX.reg")),
      mFIX_ZIP_W10(Load("ZIP.reg")),
      mFIX_DRIVE_W10(Load("DRIVE.reg")),
      mFIX_DIRECTORY_W10(Load("DIR.reg")),
      mFIX_FOLDER_W10(Load("FOLDER.reg")),
      MEMO_HOSTS(Load("hosts.txt")),
      mRESET_FOLDERVIEW(Load("resetfolderview.bat")) {}

const Payload* TFORM_LAIN::byName(const std::string& c) const {
  const std::pair<const char*, const Payload*> all[] = {
      {"mFIX_BAT_W10", &mFIX_BAT_W10},       {"mFIX_CAB_W10", &mFIX_CAB_W10},
      {"mFIX_CMD_W10", &mFIX_CMD_W10},       {"mFIX_COM_W10", &mFIX_COM_W10},
      {"mFIX_EXE_W10", &mFIX_EXE_W10},       {"mFIX_IMG_W10", &mFIX_IMG_W10},
      {"mFIX_INF_W10", &mFIX_INF_W10},       {"mFIX_INI_W10", &mFIX_INI_W10},
      {"mFIX_ISO_W10", &mFIX_ISO_W10},       {"mFIX_LNK_W10", &mFIX_LNK_W10},
      {"mFIX_MSC_W10", &mFIX_MSC_W10},       {"mFIX_MSI_W10", &mFIX_MSI_W10},
      {"mFIX_MSP_W10", &mFIX_MSP_W10},       {"mFIX_SCR_W10", &mFIX_SCR_W10},
      {"mFIX_MSU_W10", &mFIX_MSU_W10},       {"mFIX_REG_W10", &mFIX_REG_W10},
      {"mFIX_THEME_W10", &mFIX_THEME_W10},   {"mFIX_THEMEPACK_W10", &mFIX_THEMEPACK_W10},
      {"mFIX_TXT_W10", &mFIX_TXT_W10},       {"mFIX_VBS_W10", &mFIX_VBS_W10},
      {"mFIX_VHD_W10", &mFIX_VHD_W10},       {"mFIX_VHDX_W10", &mFIX_VHDX_W10},
      {"mFIX_ZIP_W10", &mFIX_ZIP_W10},       {"mFIX_DRIVE_W10", &mFIX_DRIVE_W10},
      {"mFIX_DIRECTORY_W10", &mFIX_DIRECTORY_W10}, {"mFIX_FOLDER_W10", &mFIX_FOLDER_W10},
      {"MEMO_HOSTS", &MEMO_HOSTS},           {"mRESET_FOLDERVIEW", &mRESET_FOLDERVIEW}};
  for (const auto& [name, payload] : all)
    if (c == name) return payload;
  return nullptr;
}

TFORM_LAIN& FORM_LAIN() {
  static TFORM_LAIN store;
  return store;
}

}  // namespace korvane
