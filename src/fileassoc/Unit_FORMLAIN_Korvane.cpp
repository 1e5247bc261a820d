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
    :
#define KORVANE_LOAD_SCRIPT(member, button, label, code, description) member(Load(code ".reg")),
      KORVANE_FILE_TYPE_ROWS(KORVANE_LOAD_SCRIPT)
#undef KORVANE_LOAD_SCRIPT
          MEMO_HOSTS(Load("hosts.txt")),
      mRESET_FOLDERVIEW(Load("resetfolderview.bat")) {
}

const Payload* TFORM_LAIN::byName(const std::string& c) const {
  const std::pair<const char*, const Payload*> all[] = {
#define KORVANE_NAMED_SCRIPT(member, button, label, code, description) {#member, &member},
      KORVANE_FILE_TYPE_ROWS(KORVANE_NAMED_SCRIPT)
#undef KORVANE_NAMED_SCRIPT
          {"MEMO_HOSTS", &MEMO_HOSTS},
      {"mRESET_FOLDERVIEW", &mRESET_FOLDERVIEW}};
  for (const auto& [name, payload] : all)
    if (c == name) return payload;
  return nullptr;
}

TFORM_LAIN& FORM_LAIN() {
  static TFORM_LAIN store;
  return store;
}

}  // namespace korvane
