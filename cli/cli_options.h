// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/transform.h"

namespace relabo {

/// What the command-line program's arguments ask for.
struct CliOptions {
  enum class Command {
    Insert,
    Remove,
    Replace,
    Overwrite,
    Case,
    Number,
    Rename,
    Copy,
    Extension,
    History,
    Undo
  };
  Command command = Command::Insert;
  /// The batch command index (kInsertString ... kCopyFiles), or -1 for Extension, History and
  /// Undo.
  int batchCommand = -1;
  /// The command's values; fields of other commands keep their defaults.
  CommandParameters params;
  /// Extension --to, as given (no dot removed or added).
  std::string extension;
  /// Undo --batch; empty for the last batch.
  std::string batchId;
  /// The files given as arguments (bytes, not decoded).
  std::vector<std::string> files;
  /// --folder, or empty; marks are its masks, none meaning every file.
  std::string folder;
  std::vector<std::string> marks;
  /// Paths come NUL-separated on standard input (-0, --stdin).
  bool stdinPaths = false;
  bool apply = false;
  bool resolveChains = false;
  bool json = false;
  bool quiet = false;
  bool reverse = false;
  /// --numeric: the name sort takes runs of digits by their value.
  bool numeric = false;
  /// --sort as the file list's column: 0 name, 1 size, 2 date, 3 time, 4 attribute.
  std::optional<int> sortBy;
};

/// The outcome of reading the arguments.
struct CliParse {
  /// Run the command; otherwise print output (standard output) or error (standard error) and
  /// end with exitCode.
  bool run = true;
  int exitCode = 0;
  std::string output;
  std::string error;
  CliOptions options;
};

/// Reads the arguments after the program's name (GNU conventions): options go before or after
/// the command, "--opt value" or "--opt=value", "--" ends them; the first other argument is the
/// command and the rest are files. --help and --version print and end with 0; any mistake
/// (unknown option or command, missing or out-of-range value, missing required option, files
/// given together with --folder or --stdin) ends with 2 and a message on standard error.
CliParse ParseCliArguments(const std::vector<std::string>& args);

}  // namespace relabo
