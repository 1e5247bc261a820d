#include "repairs/RepairCatalogue.h"

#include <string>

#include "advfix/Unit_AdvFix_Korvane.h"
#include "common/MaintenanceTasks.h"
#include "restrict/RestrictionList.h"

namespace korvane {
namespace {

std::string AsciiLower(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return out;
}

std::wstring SectionText(const wchar_t* stored) {
  std::wstring s = stored;
  for (size_t i = s.find(L"&&"); i != std::wstring::npos; i = s.find(L"&&", i + 1)) s.erase(i, 1);
  return s;
}

std::vector<Repair> Build() {
  std::vector<Repair> out;
  for (const FileTypeRow& row : FileTypeCatalogue()) {
    Repair r;
    r.id = "assoc." + AsciiLower(row.label);
    r.kind = RepairKind::FileType;
    r.page = L"File Associations Fixer";
    r.text = row.description;
    r.detail = row.label;
    r.fileType = &row;
    out.push_back(r);
  }
  for (const RestrictionEntry& entry : RestrictionCatalogue()) {
    Repair r;
    r.id = "restriction." + Slug(entry.Name);
    r.kind = RepairKind::Restriction;
    r.page = L"Restriction Fixer";
    r.text = entry.Name;
    r.detail = entry.Description;
    r.restriction = &entry;
    out.push_back(r);
  }
  for (const AdvancedRow& row : AdvancedRows()) {
    Repair r;
    r.id = std::string("advanced.") + row.id;
    r.kind = RepairKind::Advanced;
    r.page = L"Advanced";
    r.section = SectionText(row.section);
    r.text = row.label;
    r.routine = row.routine;
    r.restartNotice = row.restartNotice;
    out.push_back(r);
  }
  for (const HomeTask& t : HomeTasks()) {
    Repair r;
    r.id = std::string("task.") + t.id;
    r.kind = RepairKind::Task;
    r.page = L"Home";
    r.text = t.caption;
    r.routine = t.routine;
    out.push_back(r);
  }
  return out;
}

}  // namespace

std::string Slug(const std::wstring& text) {
  std::string out;
  bool dash = false;
  for (char c : AsciiLower(text)) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!keep) {
      dash = !out.empty();
      continue;
    }
    if (dash) out.push_back('-');
    dash = false;
    out.push_back(c);
  }
  return out;
}

const std::vector<Repair>& AllRepairs() {
  static const std::vector<Repair> repairs = Build();
  return repairs;
}

const Repair* FindRepair(std::string_view id) {
  for (const Repair& r : AllRepairs())
    if (r.id == id) return &r;
  return nullptr;
}

const Repair* RepairOfFileType(const FileTypeRow& row) {
  for (const Repair& r : AllRepairs())
    if (r.fileType == &row) return &r;
  return nullptr;
}

const Repair* RepairOfRestriction(const std::wstring& name) {
  for (const Repair& r : AllRepairs())
    if (r.restriction && SameTextNoCase(TrimBlanks(name), r.restriction->Name)) return &r;
  return nullptr;
}

const Repair* RepairOfRoutine(void (*routine)()) {
  for (const Repair& r : AllRepairs())
    if (r.routine == routine) return &r;
  return nullptr;
}

std::vector<const Repair*> ExpandRepairArgument(std::string_view argument) {
  std::vector<const Repair*> out;
  if (argument.size() > 2 && argument.substr(argument.size() - 2) == ".*") {
    const std::string_view page = argument.substr(0, argument.size() - 1);  // "assoc."
    for (const Repair& r : AllRepairs())
      if (std::string_view(r.id).substr(0, page.size()) == page) out.push_back(&r);
    return out;
  }
  if (const Repair* r = FindRepair(argument)) out.push_back(r);
  return out;
}

}  // namespace korvane
