// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>
#include <iosfwd>

#include "cli/cli_options.h"
#include "engine/trash_result.h"

namespace relabo {

/// Set by the program's Ctrl+C handler: a running batch stops before its next file, records
/// what it did, and the program ends with 130.
volatile std::sig_atomic_t& StopRequested();

/// Carries out what the arguments ask, reading paths from in (--stdin) and writing the
/// operations to out and the summary and errors to err. Returns the exit status: 0 when every
/// operation succeeded (in a dry run: will), 1 when one failed (will fail), 2 for a usage error
/// (missing files, files of several folders), 3 when an error ended the batch, 130 when Ctrl+C
/// stopped it. A batch longer than a second shows a progress bar on standard error when that
/// is a terminal. Renames and
/// copies run in the files' folder, which becomes the current folder.
int RunCli(const CliOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
           const TrashFunction& trash);

}  // namespace relabo
