// Every repair the program offers, under a stable id that both front ends use (the
// command line's arguments, the window's undo files): assoc.<type>,
// restriction.<name>, advanced.<repair>, task.<tool>.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "fileassoc/FileAssoc.h"
#include "restrict/Unit_Fungsi2RestFix_Korvane.h"

namespace korvane {

enum class RepairKind { FileType, Restriction, Advanced, Task };

struct Repair {
  std::string id;
  RepairKind kind = RepairKind::Task;
  std::wstring page;     // the window's page
  std::wstring section;  // the Advanced page's section ("Desktop & File Explorer"), else empty
  std::wstring text;     // the row's text as the window shows it
  std::wstring detail;   // a restriction's description; a file type's label ("BAT")
  const FileTypeRow* fileType = nullptr;
  const RestrictionEntry* restriction = nullptr;
  void (*routine)() = nullptr;  // Advanced repairs and Home tasks
  bool restartNotice = false;   // ends with the Advanced page's restart notice
  // Most Advanced repairs say that the computer must be restarted to see them.
  bool needsRestart() const { return restartNotice; }
  // The file-association rows and the restrictions can be checked without changing
  // anything.
  bool scannable() const { return kind == RepairKind::FileType || kind == RepairKind::Restriction; }
  // The repair in a list of repairs: "TXT: Text Document", "Task Manager".
  std::wstring title() const { return kind == RepairKind::FileType ? detail + L": " + text : text; }
};

// In the order: file types, restrictions, Advanced repairs, Home tasks, each in
// the window's order.
const std::vector<Repair>& AllRepairs();
const Repair* FindRepair(std::string_view id);
// The entries behind the window's buttons; nullptr for one the catalogue lacks.
const Repair* RepairOfFileType(const FileTypeRow& row);
const Repair* RepairOfRestriction(const std::wstring& name);
const Repair* RepairOfRoutine(void (*routine)());  // Advanced repairs and Home tasks

// "Shutdown, Sleep, Restart, Hibernate command" -> "shutdown-sleep-restart-hibernate-command".
std::string Slug(const std::wstring& text);

// The repairs an argument names: one id, or "PAGE.*" (assoc.*, restriction.*,
// advanced.*, task.*) for all of a page.  Empty when it names none.
std::vector<const Repair*> ExpandRepairArgument(std::string_view argument);

}  // namespace korvane
