// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string_view>

#include "engine/batch.h"

#ifndef RELABO_VERSION
#error "RELABO_VERSION is set by the build"
#endif

namespace relabo {
namespace {

using CliCommand = CliOptions::Command;

constexpr char kUsage[] =
    "Usage: relabo-cli [OPTION]... COMMAND [COMMAND OPTION]... [--] [FILE...]\n"
    "Rename and copy many files of one folder at once. Without --apply, only shows the plan.\n"
    "\n"
    "Commands:\n"
    "  insert --string S [--from P]      insert S before character P (0: at the end; 1)\n"
    "  remove [--from begin|end|position] [--number N] [--position P]\n"
    "                                    remove N characters (begin, 1, 1)\n"
    "  replace --original O [--new W] [--regex]\n"
    "                                    replace every O by W (empty); with --regex, O is a\n"
    "                                    regular expression and W may hold $0-$9, ${name}\n"
    "  overwrite --string S [--from P]   write S over the name from character P (1)\n"
    "  case [--mode words|first|lower|upper] [--separator S]\n"
    "                                    change the case; S separates words (words, \" \")\n"
    "  number [--which N] [--plus D]     add D to the N-th number of the name (1, 1)\n"
    "  rename [--name S] [--separator S] [--scheme 0-5] [--start N] [--step N] [--digits N]\n"
    "                                    give the files S and a counter (empty, empty, 0,\n"
    "                                    1, 1, 3)\n"
    "  copy [--copies N] [--separator S] [--scheme 0-5] [--start N] [--step N] [--digits N]\n"
    "                                    make N numbered copies of each file (1, empty, 0,\n"
    "                                    1, 1, 3)\n"
    "  extension --to EXT                give the files the extension EXT\n"
    "  history                           list the batches that can be undone\n"
    "  undo [--batch ID]                 undo a batch (the last one)\n"
    "\n"
    "Schemes: 0 name, separator, counter; 1 name, counter, separator; 2 separator, name,\n"
    "counter; 3 separator, counter, name; 4 counter, name, separator; 5 counter, separator,\n"
    "name.\n"
    "\n"
    "Files:\n"
    "      FILE...             the files to work on\n"
    "      --folder DIR        the files of DIR ...\n"
    "      --mark MASK         ... that match MASK (may be repeated; none: every file)\n"
    "  -0, --stdin             read NUL-separated paths from standard input\n"
    "      --sort name|size|date|time|attribute\n"
    "                          the order the files are worked on\n"
    "      --reverse           the reverse order\n"
    "      --numeric           with --sort name: numbers by value (file2 before file10)\n"
    "\n"
    "Options:\n"
    "      --apply             carry the plan out\n"
    "      --resolve-chains    let a file take a name another file of the batch gives up\n"
    "      --json              write the result as JSON\n"
    "      --quiet             write nothing but errors\n"
    "  -h, --help              display this help and exit\n"
    "      --version           output version information and exit\n"
    "\n"
    "Options may come before or after COMMAND, as --option VALUE or --option=VALUE;\n"
    "\"--\" ends them. Wrong arguments end with exit status 2.\n";

constexpr char kVersion[] =
    "relabo-cli " RELABO_VERSION
    "\n"
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

constexpr char kTryHelp[] = "Try 'relabo-cli --help' for more information.\n";

// The ranges of the window's number fields; a field without bounds takes any 32-bit value.
constexpr int64_t kMaxPosition = 1000000000;
constexpr int64_t kMaxRemove = 256;
constexpr int64_t kMaxDigits = 100;
constexpr int64_t kAnyMin = std::numeric_limits<int32_t>::min();
constexpr int64_t kAnyMax = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxScheme = 5;

struct CommandSpec {
  std::string_view word;
  CliCommand command;
  int batchCommand;
  /// The option the command cannot do without, or empty.
  std::string_view required;
};

constexpr std::array<CommandSpec, 11> kCommands = {{
    {"insert", CliCommand::Insert, kInsertString, "string"},
    {"remove", CliCommand::Remove, kRemoveString, ""},
    {"replace", CliCommand::Replace, kReplaceString, "original"},
    {"overwrite", CliCommand::Overwrite, kChangeString, "string"},
    {"case", CliCommand::Case, kChangeCase, ""},
    {"number", CliCommand::Number, kChangeNumber, ""},
    {"rename", CliCommand::Rename, kRenameFiles, ""},
    {"copy", CliCommand::Copy, kCopyFiles, ""},
    {"extension", CliCommand::Extension, -1, "to"},
    {"history", CliCommand::History, -1, ""},
    {"undo", CliCommand::Undo, -1, ""},
}};

struct NumberField {
  CliCommand command;
  std::string_view option;
  int32_t CommandParameters::*field;
  int64_t min;
  int64_t max;
};

const NumberField kNumberFields[] = {
    {CliCommand::Insert, "from", &CommandParameters::InsertFrom, 0, kMaxPosition},
    {CliCommand::Remove, "number", &CommandParameters::RemoveNumber, 1, kMaxRemove},
    {CliCommand::Remove, "position", &CommandParameters::RemovePosition, 1, kMaxRemove},
    {CliCommand::Overwrite, "from", &CommandParameters::ChangeFrom, 1, kMaxPosition},
    {CliCommand::Number, "which", &CommandParameters::ChangeNumberWhich, 1, kMaxPosition},
    {CliCommand::Number, "plus", &CommandParameters::ChangeNumberPlus, kAnyMin, kAnyMax},
    {CliCommand::Rename, "scheme", &CommandParameters::RenameScheme, 0, kMaxScheme},
    {CliCommand::Rename, "start", &CommandParameters::RenameStart, 0, kMaxPosition},
    {CliCommand::Rename, "step", &CommandParameters::RenameStep, kAnyMin, kAnyMax},
    {CliCommand::Rename, "digits", &CommandParameters::RenameDigits, 1, kMaxDigits},
    {CliCommand::Copy, "copies", &CommandParameters::CopyNumber, 1, kMaxCopyNumber},
    {CliCommand::Copy, "scheme", &CommandParameters::CopyScheme, 0, kMaxScheme},
    {CliCommand::Copy, "start", &CommandParameters::CopyStart, 0, kMaxPosition},
    {CliCommand::Copy, "step", &CommandParameters::CopyStep, kAnyMin, kAnyMax},
    {CliCommand::Copy, "digits", &CommandParameters::CopyDigits, 1, kMaxDigits},
};

struct TextField {
  CliCommand command;
  std::string_view option;
  std::string CommandParameters::*field;
};

const TextField kTextFields[] = {
    {CliCommand::Insert, "string", &CommandParameters::InsertString},
    {CliCommand::Replace, "original", &CommandParameters::ReplaceOrigString},
    {CliCommand::Replace, "new", &CommandParameters::ReplaceNewString},
    {CliCommand::Overwrite, "string", &CommandParameters::ChangeString},
    {CliCommand::Case, "separator", &CommandParameters::ChangeCaseSeparator},
    {CliCommand::Rename, "name", &CommandParameters::RenameName},
    {CliCommand::Rename, "separator", &CommandParameters::RenameSeparator},
    {CliCommand::Copy, "separator", &CommandParameters::CopySeparator},
};

// Values kept outside CommandParameters.
struct OwnTextField {
  CliCommand command;
  std::string_view option;
  std::string CliOptions::*field;
};

const OwnTextField kOwnTextFields[] = {
    {CliCommand::Extension, "to", &CliOptions::extension},
    {CliCommand::Undo, "batch", &CliOptions::batchId},
};

/// A value given by name; the value stored is the name's index.
struct ChoiceField {
  std::string_view option;
  std::array<std::string_view, 5> names;
};

const ChoiceField kRemoveFrom = {"from", {"begin", "end", "position"}};
const ChoiceField kCaseMode = {"mode", {"words", "first", "lower", "upper"}};
const ChoiceField kSort = {"sort", {"name", "size", "date", "time", "attribute"}};

constexpr std::array<std::string_view, 3> kGlobalValues = {"sort", "folder", "mark"};
constexpr std::array<std::string_view, 9> kGlobalFlags = {
    "apply", "resolve-chains", "json", "quiet", "reverse", "numeric", "stdin", "help", "version"};

template <typename Container>
bool Contains(const Container& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool IsOption(const std::string& argument) { return argument.size() >= 2 && argument[0] == '-'; }

/// True when some command's option of this name takes a value.
bool IsCommandOption(std::string_view name) {
  for (const NumberField& f : kNumberFields) {
    if (f.option == name) return true;
  }
  for (const TextField& f : kTextFields) {
    if (f.option == name) return true;
  }
  for (const OwnTextField& f : kOwnTextFields) {
    if (f.option == name) return true;
  }
  return name == kRemoveFrom.option || name == kCaseMode.option;
}

bool TakesValue(std::string_view name) {
  return Contains(kGlobalValues, name) || IsCommandOption(name);
}

/// Whether the command has an option of this name.
bool HasOption(CliCommand command, std::string_view name) {
  if (command == CliCommand::Remove && name == kRemoveFrom.option) return true;
  if (command == CliCommand::Case && name == kCaseMode.option) return true;
  for (const NumberField& f : kNumberFields) {
    if (f.command == command && f.option == name) return true;
  }
  for (const TextField& f : kTextFields) {
    if (f.command == command && f.option == name) return true;
  }
  for (const OwnTextField& f : kOwnTextFields) {
    if (f.command == command && f.option == name) return true;
  }
  return false;
}

// The argument that names the command: the first one that is neither an option nor an
// option's value, before any "--". Values are skipped by name alone, since which command's
// options are meant is not known yet; a name that is wrong there is an error later anyway.
size_t FindCommand(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& argument = args[i];
    if (argument == "--") break;
    if (!IsOption(argument)) return i;
    if (argument[1] == '-' && argument.find('=') == std::string::npos &&
        TakesValue(std::string_view(argument).substr(2))) {
      ++i;
    }
  }
  return std::string::npos;
}

const CommandSpec* FindSpec(std::string_view word) {
  for (const CommandSpec& spec : kCommands) {
    if (spec.word == word) return &spec;
  }
  return nullptr;
}

std::string ChoiceList(const ChoiceField& choice) {
  std::string list;
  size_t count = 0;
  while (count < choice.names.size() && !choice.names[count].empty()) ++count;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) list += i + 1 == count ? " or " : ", ";
    list += choice.names[i];
  }
  return list;
}

/// The index of the value among the choice's names; an error message when it is none.
std::optional<int> ParseChoice(const ChoiceField& choice, std::string_view value,
                               std::string& error) {
  for (size_t i = 0; i < choice.names.size(); ++i) {
    if (!choice.names[i].empty() && choice.names[i] == value) return int(i);
  }
  error = "--" + std::string(choice.option) + " must be " + ChoiceList(choice);
  return std::nullopt;
}

/// Stores the value of a command option the command has; returns an error message or empty.
std::string SetCommandOption(CliCommand command, std::string_view name, const std::string& value,
                             CliOptions& options) {
  std::string error;
  if (command == CliCommand::Remove && name == kRemoveFrom.option) {
    if (const auto index = ParseChoice(kRemoveFrom, value, error)) {
      options.params.RemoveFrom = *index;
    }
    return error;
  }
  if (command == CliCommand::Case && name == kCaseMode.option) {
    if (const auto index = ParseChoice(kCaseMode, value, error)) {
      options.params.ChangeCaseMode = *index;
    }
    return error;
  }
  for (const NumberField& f : kNumberFields) {
    if (f.command != command || f.option != name) continue;
    const std::optional<int64_t> number = ParseSaturatedInteger(value);
    if (!number) return "invalid number '" + value + "' for --" + std::string(name);
    if (*number < f.min || *number > f.max) {
      return "--" + std::string(name) + " must be between " + std::to_string(f.min) + " and " +
             std::to_string(f.max);
    }
    options.params.*f.field = int32_t(*number);
    return {};
  }
  for (const TextField& f : kTextFields) {
    if (f.command == command && f.option == name) {
      options.params.*f.field = value;
      return {};
    }
  }
  for (const OwnTextField& f : kOwnTextFields) {
    if (f.command == command && f.option == name) {
      options.*f.field = value;
      return {};
    }
  }
  return "option '--" + std::string(name) + "' does not apply to this command";
}

CliParse UsageError(const std::string& message) {
  CliParse parse;
  parse.run = false;
  parse.exitCode = 2;
  parse.error = "relabo-cli: " + message + "\n" + kTryHelp;
  return parse;
}

CliParse Print(const char* text) {
  CliParse parse;
  parse.run = false;
  parse.output = text;
  return parse;
}

}  // namespace

CliParse ParseCliArguments(const std::vector<std::string>& args) {
  CliParse parse;
  CliOptions& options = parse.options;
  const size_t commandIndex = FindCommand(args);
  const CommandSpec* spec = commandIndex < args.size() ? FindSpec(args[commandIndex]) : nullptr;
  const auto noCommand = [&] {
    return commandIndex < args.size() ? UsageError("unknown command '" + args[commandIndex] + "'")
                                      : UsageError("missing command");
  };
  bool folderGiven = false;
  bool requiredGiven = false;
  bool endOfOptions = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& argument = args[i];
    if (endOfOptions || !IsOption(argument)) {
      if (i == commandIndex) {
        if (!spec) return noCommand();
      } else {
        options.files.push_back(argument);
      }
      continue;
    }
    if (argument == "--") {
      endOfOptions = true;
      continue;
    }
    if (argument[1] != '-') {
      // Short options, which may be grouped: -0 and -h.
      for (size_t k = 1; k < argument.size(); ++k) {
        if (argument[k] == 'h') return Print(kUsage);
        if (argument[k] != '0') {
          return UsageError(std::string("invalid option -- '") + argument[k] + "'");
        }
        options.stdinPaths = true;
      }
      continue;
    }
    const size_t equals = argument.find('=');
    const std::string name =
        argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const std::string option = "--" + name;
    if (Contains(kGlobalFlags, name)) {
      if (equals != std::string::npos) {
        return UsageError("option '" + option + "' doesn't allow an argument");
      }
      if (name == "help") return Print(kUsage);
      if (name == "version") return Print(kVersion);
      if (name == "apply") options.apply = true;
      if (name == "resolve-chains") options.resolveChains = true;
      if (name == "json") options.json = true;
      if (name == "quiet") options.quiet = true;
      if (name == "reverse") options.reverse = true;
      if (name == "numeric") options.numeric = true;
      if (name == "stdin") options.stdinPaths = true;
      continue;
    }
    if (name == "regex") {
      // The one command flag: replace's original string is a regular expression.
      if (!spec) return noCommand();
      if (spec->command != CliCommand::Replace) {
        return UsageError("option '--regex' does not apply to '" + std::string(spec->word) + "'");
      }
      if (equals != std::string::npos) {
        return UsageError("option '--regex' doesn't allow an argument");
      }
      options.params.ReplaceRegex = true;
      continue;
    }
    if (!TakesValue(name)) return UsageError("unrecognized option '" + argument + "'");
    if (IsCommandOption(name) && !Contains(kGlobalValues, name)) {
      if (!spec) return noCommand();
      if (!HasOption(spec->command, name)) {
        return UsageError("option '" + option + "' does not apply to '" + std::string(spec->word) +
                          "'");
      }
    }
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return UsageError("option '" + option + "' requires an argument");
    }
    if (name == "sort") {
      std::string error;
      const std::optional<int> index = ParseChoice(kSort, value, error);
      if (!index) return UsageError(error);
      options.sortBy = *index;
    } else if (name == "folder") {
      if (folderGiven) return UsageError("--folder may be given only once");
      if (value.empty()) return UsageError("--folder requires a folder name");
      folderGiven = true;
      options.folder = value;
    } else if (name == "mark") {
      options.marks.push_back(value);
    } else {
      const std::string error = SetCommandOption(spec->command, name, value, options);
      if (!error.empty()) return UsageError(error);
      if (name == spec->required) requiredGiven = true;
    }
  }
  if (!spec) return noCommand();
  if (!spec->required.empty() && !requiredGiven) {
    return UsageError("'" + std::string(spec->word) + "' requires --" +
                      std::string(spec->required));
  }
  const bool anyFiles =
      !options.files.empty() || folderGiven || options.stdinPaths || !options.marks.empty();
  if ((spec->command == CliCommand::History || spec->command == CliCommand::Undo) && anyFiles) {
    return UsageError("'" + std::string(spec->word) + "' takes no files");
  }
  if (!options.files.empty() && folderGiven) {
    return UsageError("files cannot be given together with --folder");
  }
  if (!options.files.empty() && options.stdinPaths) {
    return UsageError("files cannot be given together with --stdin");
  }
  if (folderGiven && options.stdinPaths) {
    return UsageError("--folder and --stdin cannot be given together");
  }
  if (!options.marks.empty() && !folderGiven) return UsageError("--mark requires --folder");
  if (options.numeric && options.sortBy != 0) return UsageError("--numeric needs --sort name");
  options.command = spec->command;
  options.batchCommand = spec->batchCommand;
  return parse;
}

}  // namespace relabo
