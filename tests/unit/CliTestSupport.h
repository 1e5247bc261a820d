// Shared bits of KorvaneCli's unit tests: running the program's commands on the
// fake, and a reg.exe for the fake that imports scripts the way the real one does.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "base/Text.h"
#include "changes/RegScript.h"
#include "cli/logic/CliApp.h"
#include "cli/logic/EventLog.h"

namespace korvane::testing {

class CliTest : public FakeTest {
 protected:
  // The event source is registered as after an earlier run, so that a real fix
  // changes nothing but what its repairs change.
  void SetUp() override {
    FakeTest::SetUp();
    cli::RegisterEventSource(fake());
  }

  // KorvaneCli with these arguments, on the fake as the real platform (or on a layer
  // over it that plays some other behaviour).
  cli::CliResult run(const std::vector<std::string>& args) { return run(args, fake()); }
  cli::CliResult run(const std::vector<std::string>& args, Platform& system) {
    cli::CliHost host{system, nullptr};
    return cli::RunCli(args, host);
  }

  nlohmann::json runJson(std::vector<std::string> args) {
    args.push_back("--json");
    last = run(args);
    return nlohmann::json::parse(last.out);
  }

  // reg.exe import, applied to the fake's registry with the same reader the
  // program uses; `distort` may change each operation first (to play a reg.exe
  // that does not write what the script says).
  void installRegExe(std::function<void(RegOp&)> distort = nullptr) {
    fake().addProgram(L"reg.exe", fake::FakeProgram{0, 1,
                                                    [this, distort](const std::wstring& cmd) {
                                                      importFile(*RegImportTarget(cmd), distort);
                                                    },
                                                    nullptr});
  }

  // Imports a .reg file of the fake into its registry; returns the reader's errors.
  std::vector<std::wstring> importFile(const std::wstring& path,
                                       const std::function<void(RegOp&)>& distort = nullptr) {
    auto bytes = fake().fileBytes(path);
    if (!bytes) return {L"no file " + path};
    RegScriptText script = ParseRegScript(DecodeRegFile(*bytes));
    if (!script.hasHeader) script.errors.push_back(L"no header");
    if (distort)
      for (auto& op : script.ops) distort(op);
    ApplyRegOps(fake(), script.ops);
    return script.errors;
  }

  // The machine's registry, without the window's record of its undo files (which
  // is not part of what a repair changes or an undo puts back).
  std::wstring allHives() {
    const std::wstring all = fake().dumpHive(kHkeyClassesRoot) + fake().dumpHive(kHkeyCurrentUser) +
                             fake().dumpHive(kHkeyLocalMachine) + fake().dumpHive(kHkeyUsers);
    const std::wstring record = L"[HKEY_LOCAL_MACHINE\\Software\\Korvane";
    std::wstring out;
    bool skipping = false;
    for (size_t start = 0; start < all.size();) {
      size_t end = all.find(L'\n', start);
      end = end == std::wstring::npos ? all.size() : end + 1;
      const std::wstring line = all.substr(start, end - start);
      if (line.rfind(L"[", 0) == 0) skipping = line.rfind(record, 0) == 0;
      if (!skipping) out += line;
      start = end;
    }
    return out;
  }

  cli::CliResult last;
};

}  // namespace korvane::testing
