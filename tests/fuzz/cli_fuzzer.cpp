// KorvaneCli's argument parsing and command dispatch on the fake: arguments are
// the input split at line feeds, turned into UTF-8 as the program's entry turns
// its wide arguments.  Beyond memory and undefined behaviour: the exit code is one
// the usage names, every output is valid UTF-8 without unescaped control
// characters, and --json output is one JSON document.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FakeMachine.h"
#include "Oracles.h"
#include "base/Text.h"
#include "cli/logic/CliApp.h"
#include "cli/logic/EventLog.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Sixteen arguments are plenty for every command; more only slow the search.
  std::vector<std::string> args{""};
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] != '\n') {
      args.back().push_back(static_cast<char>(data[i]));
    } else if (args.size() < 16) {
      args.emplace_back();
    }
  }
  bool json = false;
  for (std::string& arg : args) {
    arg = ToUtf8(FromUtf8(arg));
    json = json || arg == "--json";
  }

  fuzz::FakeMachine machine;
  fake::FakePlatform& sys = *machine;
  cli::RegisterEventSource(sys);
  sys.addDirectory(L"C:\\Backup");
  sys.addDirectory(L"C:\\Windows\\System32\\drivers\\etc");
  sys.addFile(L"C:\\Windows\\System32\\drivers\\etc\\hosts", {'#', '\r', '\n'});
  cli::CliHost host{sys, nullptr};
  const cli::CliResult result = cli::RunCli(args, host);

  static const int kExitCodes[] = {0, 1, 2, 5, 87, 3010};
  bool known = false;
  for (int code : kExitCodes) known = known || result.exitCode == code;
  if (!known) fuzz::Fail("exit code " + std::to_string(result.exitCode), result.out);
  fuzz::CheckPlain("standard error", result.err);
  // --version and the usage text answer in lines, whatever else is asked.
  const bool lines =
      !json || args == std::vector<std::string>{"--version"} || result.out.rfind("Usage:", 0) == 0;
  if (lines)
    fuzz::CheckPlain("standard output", result.out);
  else if (!result.out.empty())
    fuzz::CheckJson("standard output", result.out);
  return 0;
}
