// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace relabo {

/// What the program's arguments ask for.
struct CommandLine {
  /// Run the window; otherwise print output (standard output) or error (standard error) and
  /// end with exitCode.
  bool run = true;
  int exitCode = 0;
  std::string output;
  std::string error;
  /// The folder or files to open, as given (bytes, not decoded).
  std::vector<std::string> paths;
};

/// Reads the arguments after the program's name (GNU conventions): --help and --version print
/// and end with 0; an unknown option prints the usage to standard error and ends with 2; "--"
/// ends the options, and "-" alone is a path. The toolkit's own options (-platform NAME,
/// -style NAME, -reverse, ...) are left to it and are not paths.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace relabo
