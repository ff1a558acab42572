#pragma once

#include <iosfwd>

#include "cli/cli_options.h"
#include "engine/trash_result.h"

namespace relabo {

/// Carries out what the arguments ask, reading paths from in (--stdin) and writing the
/// operations to out and the summary and errors to err. Returns the exit status: 0 when every
/// operation succeeded (in a dry run: will), 1 when one failed (will fail), 2 for a usage error
/// (missing files, files of several folders), 3 when an error ended the batch. Renames and
/// copies run in the files' folder, which becomes the current folder.
int RunCli(const CliOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
           const TrashFunction& trash);

}  // namespace relabo
