// KorvaneCli's output of registry names and data it did not write: values and
// keys with any names and data planted where scan reports them, printed as lines
// and as JSON.  Every output must be valid UTF-8 without an
// unescaped control character, and the JSON must be JSON.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FakeMachine.h"
#include "Oracles.h"
#include "cli/logic/CliApp.h"
#include "cli/logic/EventLog.h"
#include "support/RoundTrip.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FakeMachine machine;
  fake::FakePlatform& sys = *machine;
  cli::RegisterEventSource(sys);
  testing::Draw draw(data, size);
  // .txt is deleted whole and written anew by its script, so whatever lies in or
  // below it is reported by name, with its data.
  const testing::Tree tree = testing::DrawTree(draw, 300);
  testing::PlantTree(sys, kHkeyLocalMachine, L"Software\\Classes\\.txt", tree);

  cli::CliHost host{sys, nullptr};
  // scan reports every name and its data; a preview lists only the keys a
  // repair itself touches, so it is the command line target's to try.
  const std::vector<std::vector<std::string>> commands = {{"scan", "assoc.txt"}};
  for (std::vector<std::string> args : commands) {
    const cli::CliResult lines = cli::RunCli(args, host);
    fuzz::CheckPlain(args[0] + " output", lines.out);
    fuzz::CheckPlain(args[0] + " errors", lines.err);
    args.push_back("--json");
    const cli::CliResult json = cli::RunCli(args, host);
    fuzz::CheckJson(args[0] + " --json output", json.out);
    fuzz::CheckPlain(args[0] + " --json errors", json.err);
  }
  return 0;
}
