// Shared bits of KorvaneCli's unit tests: running the program's commands on the
// fake, and a reg.exe for the fake that imports scripts the way the real one does.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "changes/RegScript.h"
#include "cli/logic/CliApp.h"
#include "cli/logic/EventLog.h"
#include "common/Text.h"

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
    cli::CliHost host{system,
                      [this](const std::wstring& path) {
                        if (!makeDirectories) return false;
                        if (!fake().directoryExists(path)) fake().addDirectory(path);
                        return true;
                      },
                      nullptr};
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

  std::wstring allHives() {
    return fake().dumpHive(kHkeyClassesRoot) + fake().dumpHive(kHkeyCurrentUser) +
           fake().dumpHive(kHkeyLocalMachine) + fake().dumpHive(kHkeyUsers);
  }

  bool makeDirectories = true;
  cli::CliResult last;
};

}  // namespace korvane::testing
