// The payload store: fixed, read-only text lists the repairs write out.
#pragma once

#include <string>
#include <vector>

#include "fileassoc/FileTypeRows.h"

namespace korvane {

using Payload = std::vector<std::string>;

class TFORM_LAIN {
 public:
  TFORM_LAIN();

  // One script a file-type row.
#define KORVANE_PAYLOAD_MEMBER(member, button, label, code, description) Payload member;
  KORVANE_FILE_TYPE_ROWS(KORVANE_PAYLOAD_MEMBER)
#undef KORVANE_PAYLOAD_MEMBER
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
