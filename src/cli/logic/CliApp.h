// KorvaneCli's commands: list, scan and fix, their arguments, and their output as
// plain lines or one JSON document.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace korvane::cli {

struct CliHost {
  Platform& system;  // the real platform; installed as Sys() while the program runs
  // The absolute form of a path given on the command line (unchanged when unset).
  std::function<std::wstring(const std::wstring&)> fullPath;
};

struct CliResult {
  int exitCode = 0;
  std::string out;  // UTF-8, lines end with "\n"
  std::string err;
};

// `args` are the arguments after the program name, as UTF-8.
CliResult RunCli(const std::vector<std::string>& args, CliHost& host);

std::string UsageText();

}  // namespace korvane::cli
