// SPDX-License-Identifier: GPL-3.0-or-later
// relabo-cli: the eight commands, Extension, history and undo from the shell, over the same
// plan, runner and journal as the window.
#include <signal.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "engine/trash.h"

int main(int argc, char** argv) {
  const relabo::CliParse parse = relabo::ParseCliArguments({argv + 1, argv + argc});
  if (!parse.run) {
    std::fputs(parse.output.c_str(), stdout);
    std::fputs(parse.error.c_str(), stderr);
    return parse.exitCode;
  }
  // Ctrl+C lets the batch finish its file and record what it did.
  struct sigaction action {};
  action.sa_handler = [](int) { relabo::StopRequested() = 1; };
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  try {
    return relabo::RunCli(parse.options, std::cin, std::cout, std::cerr, relabo::TrashFile);
  } catch (const std::exception& e) {
    // Nothing expected reaches here; an error that does ends the run with its words.
    std::fprintf(stderr, "relabo-cli: %s\n", e.what());
    return 3;
  }
}
