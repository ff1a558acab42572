// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace relabo {
namespace {

using Args = std::vector<std::string>;
using CliCommand = CliOptions::Command;

constexpr char kTryHelp[] = "Try 'relabo-cli --help' for more information.\n";

void ExpectSameOptions(const CliOptions& got, const CliOptions& want) {
  EXPECT_EQ(got.command, want.command);
  EXPECT_EQ(got.batchCommand, want.batchCommand);
  EXPECT_EQ(got.params, want.params);
  EXPECT_EQ(got.extension, want.extension);
  EXPECT_EQ(got.batchId, want.batchId);
  EXPECT_EQ(got.files, want.files);
  EXPECT_EQ(got.folder, want.folder);
  EXPECT_EQ(got.marks, want.marks);
  EXPECT_EQ(got.stdinPaths, want.stdinPaths);
  EXPECT_EQ(got.apply, want.apply);
  EXPECT_EQ(got.resolveChains, want.resolveChains);
  EXPECT_EQ(got.json, want.json);
  EXPECT_EQ(got.quiet, want.quiet);
  EXPECT_EQ(got.reverse, want.reverse);
  EXPECT_EQ(got.numeric, want.numeric);
  EXPECT_EQ(got.sortBy, want.sortBy);
}

struct RunCase {
  const char* name;
  Args args;
  CliCommand command;
  int batchCommand;
  std::function<void(CliOptions&)> expect;  // changes from the defaults
};

void CheckRuns(const std::vector<RunCase>& cases) {
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CliParse parse = ParseCliArguments(c.args);
    EXPECT_TRUE(parse.run);
    EXPECT_EQ(parse.exitCode, 0);
    EXPECT_EQ(parse.output, "");
    EXPECT_EQ(parse.error, "");
    CliOptions want;
    want.command = c.command;
    want.batchCommand = c.batchCommand;
    if (c.expect) c.expect(want);
    ExpectSameOptions(parse.options, want);
  }
}

TEST(ParseCliArgumentsTest, CommandsAndTheirOptions) {
  CheckRuns({
      {"insert with its default position",
       {"insert", "--string", "x", "a"},
       CliCommand::Insert,
       kInsertString,
       [](CliOptions& o) {
         o.params.InsertString = "x";
         o.files = {"a"};
       }},
      {"insert at the end",
       {"insert", "--string=-", "--from", "0", "a"},
       CliCommand::Insert,
       kInsertString,
       [](CliOptions& o) {
         o.params.InsertString = "-";
         o.params.InsertFrom = 0;
         o.files = {"a"};
       }},
      {"remove defaults",
       {"remove", "a"},
       CliCommand::Remove,
       kRemoveString,
       [](CliOptions& o) { o.files = {"a"}; }},
      {"remove from the end",
       {"remove", "--from", "end", "--number=4", "a"},
       CliCommand::Remove,
       kRemoveString,
       [](CliOptions& o) {
         o.params.RemoveFrom = 1;
         o.params.RemoveNumber = 4;
         o.files = {"a"};
       }},
      {"remove at a position",
       {"remove", "--from=position", "--position", "7", "a"},
       CliCommand::Remove,
       kRemoveString,
       [](CliOptions& o) {
         o.params.RemoveFrom = 2;
         o.params.RemovePosition = 7;
         o.files = {"a"};
       }},
      {"remove from the begin",
       {"remove", "--from=end", "--from=begin", "a"},
       CliCommand::Remove,
       kRemoveString,
       [](CliOptions& o) { o.files = {"a"}; }},
      {"replace without new",
       {"replace", "--original", "old", "a"},
       CliCommand::Replace,
       kReplaceString,
       [](CliOptions& o) {
         o.params.ReplaceOrigString = "old";
         o.files = {"a"};
       }},
      {"replace with new",
       {"replace", "--original=old", "--new", "new", "a"},
       CliCommand::Replace,
       kReplaceString,
       [](CliOptions& o) {
         o.params.ReplaceOrigString = "old";
         o.params.ReplaceNewString = "new";
         o.files = {"a"};
       }},
      {"replace with a regular expression",
       {"replace", "--regex", "--original", "(\\d+)", "a"},
       CliCommand::Replace,
       kReplaceString,
       [](CliOptions& o) {
         o.params.ReplaceOrigString = "(\\d+)";
         o.params.ReplaceRegex = true;
         o.files = {"a"};
       }},
      {"overwrite",
       {"overwrite", "--string", "AB", "a"},
       CliCommand::Overwrite,
       kChangeString,
       [](CliOptions& o) {
         o.params.ChangeString = "AB";
         o.files = {"a"};
       }},
      {"overwrite from",
       {"overwrite", "--string", "AB", "--from", "3", "a"},
       CliCommand::Overwrite,
       kChangeString,
       [](CliOptions& o) {
         o.params.ChangeString = "AB";
         o.params.ChangeFrom = 3;
         o.files = {"a"};
       }},
      {"case defaults",
       {"case", "a"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) { o.files = {"a"}; }},
      {"case first",
       {"case", "--mode", "first", "a"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) {
         o.params.ChangeCaseMode = 1;
         o.files = {"a"};
       }},
      {"case lower",
       {"case", "--mode=lower", "--separator=_", "a"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) {
         o.params.ChangeCaseMode = 2;
         o.params.ChangeCaseSeparator = "_";
         o.files = {"a"};
       }},
      {"case upper, no separator",
       {"case", "--mode", "upper", "--separator", "", "a"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) {
         o.params.ChangeCaseMode = 3;
         o.params.ChangeCaseSeparator = "";
         o.files = {"a"};
       }},
      {"case words",
       {"case", "--mode=upper", "--mode=words", "a"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) { o.files = {"a"}; }},
      {"number defaults",
       {"number", "a"},
       CliCommand::Number,
       kChangeNumber,
       [](CliOptions& o) { o.files = {"a"}; }},
      {"number minus",
       {"number", "--which", "2", "--plus", "-5", "a"},
       CliCommand::Number,
       kChangeNumber,
       [](CliOptions& o) {
         o.params.ChangeNumberWhich = 2;
         o.params.ChangeNumberPlus = -5;
         o.files = {"a"};
       }},
      {"number with a plus sign",
       {"number", "--plus=+7", "a"},
       CliCommand::Number,
       kChangeNumber,
       [](CliOptions& o) {
         o.params.ChangeNumberPlus = 7;
         o.files = {"a"};
       }},
      {"rename defaults",
       {"rename", "a"},
       CliCommand::Rename,
       kRenameFiles,
       [](CliOptions& o) { o.files = {"a"}; }},
      {"rename all options",
       {"rename", "--name", "img", "--separator=-", "--scheme", "4", "--start=0", "--step", "-2",
        "--digits", "5", "a"},
       CliCommand::Rename,
       kRenameFiles,
       [](CliOptions& o) {
         o.params.RenameName = "img";
         o.params.RenameSeparator = "-";
         o.params.RenameScheme = 4;
         o.params.RenameStart = 0;
         o.params.RenameStep = -2;
         o.params.RenameDigits = 5;
         o.files = {"a"};
       }},
      {"copy defaults",
       {"copy", "a"},
       CliCommand::Copy,
       kCopyFiles,
       [](CliOptions& o) { o.files = {"a"}; }},
      {"copy all options",
       {"copy", "--copies=3", "--separator", "_", "--scheme=5", "--start", "10", "--step=10",
        "--digits=2", "a"},
       CliCommand::Copy,
       kCopyFiles,
       [](CliOptions& o) {
         o.params.CopyNumber = 3;
         o.params.CopySeparator = "_";
         o.params.CopyScheme = 5;
         o.params.CopyStart = 10;
         o.params.CopyStep = 10;
         o.params.CopyDigits = 2;
         o.files = {"a"};
       }},
      {"extension",
       {"extension", "--to", "jpeg", "a.jpg"},
       CliCommand::Extension,
       -1,
       [](CliOptions& o) {
         o.extension = "jpeg";
         o.files = {"a.jpg"};
       }},
      {"extension empty",
       {"extension", "--to=", "a.jpg"},
       CliCommand::Extension,
       -1,
       [](CliOptions& o) { o.files = {"a.jpg"}; }},
      {"history", {"history"}, CliCommand::History, -1, nullptr},
      {"undo the last", {"undo"}, CliCommand::Undo, -1, nullptr},
      {"undo a batch",
       {"undo", "--batch", "20240101-1"},
       CliCommand::Undo,
       -1,
       [](CliOptions& o) { o.batchId = "20240101-1"; }},
      {"no files", {"remove"}, CliCommand::Remove, kRemoveString, nullptr},
  });
}

TEST(ParseCliArgumentsTest, PlacesAndForms) {
  CheckRuns({
      {"global options before the command",
       {"--apply", "--json", "--quiet", "--resolve-chains", "--reverse", "--sort", "size", "remove",
        "a"},
       CliCommand::Remove,
       kRemoveString,
       [](CliOptions& o) {
         o.apply = o.json = o.quiet = o.resolveChains = o.reverse = true;
         o.sortBy = 1;
         o.files = {"a"};
       }},
      {"global options after the files",
       {"remove", "a", "b", "--apply", "--sort=attribute"},
       CliCommand::Remove,
       kRemoveString,
       [](CliOptions& o) {
         o.apply = true;
         o.sortBy = 4;
         o.files = {"a", "b"};
       }},
      {"command options before the command",
       {"--string", "x", "--from=2", "insert", "a"},
       CliCommand::Insert,
       kInsertString,
       [](CliOptions& o) {
         o.params.InsertString = "x";
         o.params.InsertFrom = 2;
         o.files = {"a"};
       }},
      {"a value that looks like the command",
       {"--string", "insert", "insert", "a"},
       CliCommand::Insert,
       kInsertString,
       [](CliOptions& o) {
         o.params.InsertString = "insert";
         o.files = {"a"};
       }},
      {"a value that looks like an option",
       {"insert", "--string", "--apply", "a"},
       CliCommand::Insert,
       kInsertString,
       [](CliOptions& o) {
         o.params.InsertString = "--apply";
         o.files = {"a"};
       }},
      {"a value holding '='",
       {"replace", "--original=a=b", "--new", "c=d", "a"},
       CliCommand::Replace,
       kReplaceString,
       [](CliOptions& o) {
         o.params.ReplaceOrigString = "a=b";
         o.params.ReplaceNewString = "c=d";
         o.files = {"a"};
       }},
      {"double dash ends the options",
       {"remove", "--", "--apply", "-0", "--from"},
       CliCommand::Remove,
       kRemoveString,
       [](CliOptions& o) {
         o.files = {"--apply", "-0", "--from"};
       }},
      {"options before a double dash",
       {"--json", "remove", "--number", "2", "--", "-x"},
       CliCommand::Remove,
       kRemoveString,
       [](CliOptions& o) {
         o.json = true;
         o.params.RemoveNumber = 2;
         o.files = {"-x"};
       }},
      {"a lone dash is a file",
       {"remove", "-"},
       CliCommand::Remove,
       kRemoveString,
       [](CliOptions& o) { o.files = {"-"}; }},
      {"file names as bytes",
       {"remove", "a b", "\xff.jpg", "line\nbreak", ""},
       CliCommand::Remove,
       kRemoveString,
       [](CliOptions& o) {
         o.files = {"a b", "\xff.jpg", "line\nbreak", ""};
       }},
      {"a folder with marks",
       {"--folder", "/p", "case", "--mark", "*.jpg", "--mark=*.png"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) {
         o.folder = "/p";
         o.marks = {"*.jpg", "*.png"};
       }},
      {"a folder without marks",
       {"case", "--folder=/p"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) { o.folder = "/p"; }},
      {"short stdin",
       {"-0", "case"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) { o.stdinPaths = true; }},
      {"long stdin",
       {"case", "--stdin"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) { o.stdinPaths = true; }},
      {"sort by name",
       {"case", "--sort", "name", "a"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) {
         o.sortBy = 0;
         o.files = {"a"};
       }},
      {"sort by name, numbers by value",
       {"--numeric", "case", "a", "--sort", "name"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) {
         o.sortBy = 0;
         o.numeric = true;
         o.files = {"a"};
       }},
      {"sort by date",
       {"case", "--sort=date", "a"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) {
         o.sortBy = 2;
         o.files = {"a"};
       }},
      {"sort by time",
       {"case", "--sort=time", "a"},
       CliCommand::Case,
       kChangeCase,
       [](CliOptions& o) {
         o.sortBy = 3;
         o.files = {"a"};
       }},
      {"the last of a repeated option counts",
       {"insert", "--string=a", "--string=b", "x"},
       CliCommand::Insert,
       kInsertString,
       [](CliOptions& o) {
         o.params.InsertString = "b";
         o.files = {"x"};
       }},
      {"leading zeros",
       {"rename", "--digits", "007", "a"},
       CliCommand::Rename,
       kRenameFiles,
       [](CliOptions& o) {
         o.params.RenameDigits = 7;
         o.files = {"a"};
       }},
  });
}

TEST(ParseCliArgumentsTest, UsageErrors) {
  struct Case {
    const char* name;
    Args args;
    const char* message;  // the first line, without the program's name
  };
  const Case cases[] = {
      {"nothing", {}, "missing command"},
      {"only options", {"--apply", "--json"}, "missing command"},
      {"command after the double dash", {"--", "insert"}, "missing command"},
      {"a command option without a command", {"--string", "x"}, "missing command"},
      {"unknown command", {"frobnicate", "a"}, "unknown command 'frobnicate'"},
      {"unknown command after its options",
       {"--string", "x", "Insert"},
       "unknown command 'Insert'"},
      {"unknown long option",
       {"remove", "--frobnicate", "a"},
       "unrecognized option '--frobnicate'"},
      {"unknown long option with a value",
       {"remove", "--frob=1"},
       "unrecognized option '--frob=1'"},
      {"unknown short option", {"remove", "-x"}, "invalid option -- 'x'"},
      {"unknown short option in a group", {"remove", "-0q"}, "invalid option -- 'q'"},
      {"a negative number is no file", {"remove", "-5"}, "invalid option -- '5'"},
      {"abbreviated option", {"remove", "--num", "2"}, "unrecognized option '--num'"},
      {"option of another command",
       {"insert", "--string", "x", "--to", "y"},
       "option '--to' does not apply to 'insert'"},
      {"replace's flag on another command",
       {"insert", "--string", "x", "--regex"},
       "option '--regex' does not apply to 'insert'"},
      {"replace's flag with a value",
       {"replace", "--original", "x", "--regex=1"},
       "option '--regex' doesn't allow an argument"},
      {"option of another command before it",
       {"--original", "x", "insert"},
       "option '--original' does not apply to 'insert'"},
      {"history has no options",
       {"history", "--batch", "1"},
       "option '--batch' does not apply to 'history'"},
      {"flag with a value",
       {"remove", "--apply=yes"},
       "option '--apply' doesn't allow an argument"},
      {"help with a value", {"--help=x"}, "option '--help' doesn't allow an argument"},
      {"missing value", {"insert", "--string"}, "option '--string' requires an argument"},
      {"missing number", {"remove", "--number"}, "option '--number' requires an argument"},
      {"missing folder", {"remove", "--folder"}, "option '--folder' requires an argument"},
      {"missing sort", {"remove", "--sort"}, "option '--sort' requires an argument"},
      {"insert needs a string", {"insert", "a"}, "'insert' requires --string"},
      {"overwrite needs a string",
       {"overwrite", "--from", "2", "a"},
       "'overwrite' requires --string"},
      {"replace needs the original",
       {"replace", "--new", "x", "a"},
       "'replace' requires --original"},
      {"extension needs --to", {"extension", "a"}, "'extension' requires --to"},
      {"not a number", {"remove", "--number", "abc"}, "invalid number 'abc' for --number"},
      {"empty number", {"remove", "--number="}, "invalid number '' for --number"},
      {"sign alone", {"number", "--plus", "-"}, "invalid number '-' for --plus"},
      {"blank before a number", {"remove", "--number", " 2"}, "invalid number ' 2' for --number"},
      {"number with a tail", {"rename", "--digits", "3x"}, "invalid number '3x' for --digits"},
      {"fraction", {"copy", "--copies", "1.5"}, "invalid number '1.5' for --copies"},
      {"hexadecimal", {"rename", "--start", "0x10"}, "invalid number '0x10' for --start"},
      {"unknown remove origin",
       {"remove", "--from", "middle"},
       "--from must be begin, end or position"},
      {"remove origin by number",
       {"remove", "--from", "1"},
       "--from must be begin, end or position"},
      {"unknown case mode",
       {"case", "--mode", "Upper"},
       "--mode must be words, first, lower or upper"},
      {"unknown sort",
       {"case", "--sort", "type"},
       "--sort must be name, size, date, time or attribute"},
      {"files and a folder",
       {"case", "--folder", "/p", "a"},
       "files cannot be given together with --folder"},
      {"files and stdin", {"case", "-0", "a"}, "files cannot be given together with --stdin"},
      {"folder and stdin",
       {"case", "--folder", "/p", "--stdin"},
       "--folder and --stdin cannot be given together"},
      {"two folders",
       {"case", "--folder", "/p", "--folder", "/q"},
       "--folder may be given only once"},
      {"empty folder", {"case", "--folder="}, "--folder requires a folder name"},
      {"marks without a folder", {"case", "--mark", "*.jpg", "a"}, "--mark requires --folder"},
      {"numbers by value without a sort",
       {"case", "--numeric", "a"},
       "--numeric needs --sort name"},
      {"numbers by value of a folder's own order",
       {"case", "--numeric", "--folder", "/p"},
       "--numeric needs --sort name"},
      {"numbers by value with another sort",
       {"case", "--numeric", "--sort", "size", "a"},
       "--numeric needs --sort name"},
      {"numbers by value with a value",
       {"case", "--sort", "name", "--numeric=yes", "a"},
       "option '--numeric' doesn't allow an argument"},
      {"history with files", {"history", "a"}, "'history' takes no files"},
      {"undo with a folder", {"undo", "--folder", "/p"}, "'undo' takes no files"},
      {"undo with stdin", {"undo", "-0"}, "'undo' takes no files"},
      {"an error before help wins", {"--frob", "--help"}, "unrecognized option '--frob'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CliParse parse = ParseCliArguments(c.args);
    EXPECT_FALSE(parse.run);
    EXPECT_EQ(parse.exitCode, 2);
    EXPECT_EQ(parse.output, "");
    EXPECT_EQ(parse.error, "relabo-cli: " + std::string(c.message) + "\n" + kTryHelp);
  }
}

TEST(ParseCliArgumentsTest, NumberRangesAtBothEnds) {
  constexpr int64_t kMin32 = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();
  struct Case {
    const char* command;
    const char* option;
    int64_t min;
    int64_t max;
    int32_t CommandParameters::*field;
  };
  // The ranges of the window's number fields.
  const Case cases[] = {
      {"insert", "from", 0, 1000000000, &CommandParameters::InsertFrom},
      {"remove", "number", 1, 256, &CommandParameters::RemoveNumber},
      {"remove", "position", 1, 256, &CommandParameters::RemovePosition},
      {"overwrite", "from", 1, 1000000000, &CommandParameters::ChangeFrom},
      {"number", "which", 1, 1000000000, &CommandParameters::ChangeNumberWhich},
      {"number", "plus", kMin32, kMax32, &CommandParameters::ChangeNumberPlus},
      {"rename", "scheme", 0, 5, &CommandParameters::RenameScheme},
      {"rename", "start", 0, 1000000000, &CommandParameters::RenameStart},
      {"rename", "step", kMin32, kMax32, &CommandParameters::RenameStep},
      {"rename", "digits", 1, 100, &CommandParameters::RenameDigits},
      {"copy", "copies", 1, 10000000, &CommandParameters::CopyNumber},
      {"copy", "scheme", 0, 5, &CommandParameters::CopyScheme},
      {"copy", "start", 0, 1000000000, &CommandParameters::CopyStart},
      {"copy", "step", kMin32, kMax32, &CommandParameters::CopyStep},
      {"copy", "digits", 1, 100, &CommandParameters::CopyDigits},
  };
  for (const Case& c : cases) {
    const std::string option = std::string("--") + c.option;
    const auto parse = [&](int64_t value) {
      // insert and overwrite need their string; it does not touch the numbers.
      Args args = {c.command, option, std::to_string(value), "--string=s", "f"};
      if (std::string(c.command) != "insert" && std::string(c.command) != "overwrite") {
        args.erase(args.begin() + 3);
      }
      return ParseCliArguments(args);
    };
    for (const int64_t inside : {c.min, c.max}) {
      SCOPED_TRACE(option + " " + std::to_string(inside));
      const CliParse accepted = parse(inside);
      EXPECT_TRUE(accepted.run) << accepted.error;
      EXPECT_EQ(accepted.options.params.*c.field, inside);
    }
    const std::string message = "relabo-cli: " + option + " must be between " +
                                std::to_string(c.min) + " and " + std::to_string(c.max) + "\n" +
                                kTryHelp;
    for (const int64_t outside : {c.min - 1, c.max + 1}) {
      SCOPED_TRACE(option + " " + std::to_string(outside));
      const CliParse refused = parse(outside);
      EXPECT_FALSE(refused.run);
      EXPECT_EQ(refused.exitCode, 2);
      EXPECT_EQ(refused.error, message);
    }
  }
  // Far beyond 64 bits is still only out of range.
  EXPECT_EQ(ParseCliArguments({"rename", "--digits", "99999999999999999999999"}).error,
            std::string("relabo-cli: --digits must be between 1 and 100\n") + kTryHelp);
  EXPECT_EQ(
      ParseCliArguments({"number", "--plus", "-99999999999999999999999"}).error,
      std::string("relabo-cli: --plus must be between -2147483648 and 2147483647\n") + kTryHelp);
}

TEST(ParseCliArgumentsTest, HelpAndVersion) {
  struct Case {
    const char* name;
    Args args;
    const char* outputStart;
  };
  const Case cases[] = {
      {"help alone", {"--help"}, "Usage: relabo-cli [OPTION]... COMMAND"},
      {"short help", {"-h"}, "Usage: relabo-cli"},
      {"help after a command", {"insert", "--help"}, "Usage: relabo-cli"},
      {"help before a missing value", {"--help", "insert", "--string"}, "Usage: relabo-cli"},
      {"help wins over a later error", {"--help", "--frob"}, "Usage: relabo-cli"},
      {"version", {"--version"}, "relabo-cli 2.2\n"},
      {"version after a command", {"history", "--version"}, "relabo-cli 2.2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CliParse parse = ParseCliArguments(c.args);
    EXPECT_FALSE(parse.run);
    EXPECT_EQ(parse.exitCode, 0);
    EXPECT_EQ(parse.error, "");
    EXPECT_EQ(parse.output.substr(0, std::string(c.outputStart).size()), c.outputStart);
  }
  // The usage lists every command and option.
  const std::string usage = ParseCliArguments({"--help"}).output;
  for (const char* word : {"insert",
                           "remove",
                           "replace",
                           "overwrite",
                           "case",
                           "number",
                           "rename",
                           "copy",
                           "extension",
                           "history",
                           "undo",
                           "--string",
                           "--from",
                           "--number",
                           "--position",
                           "--original",
                           "--new",
                           "--mode",
                           "--separator",
                           "--which",
                           "--plus",
                           "--name",
                           "--scheme",
                           "--start",
                           "--step",
                           "--digits",
                           "--copies",
                           "--to",
                           "--batch",
                           "--folder",
                           "--mark",
                           "--stdin",
                           "-0",
                           "--sort",
                           "--reverse",
                           "--numeric",
                           "--apply",
                           "--resolve-chains",
                           "--json",
                           "--quiet",
                           "--help",
                           "--version",
                           "begin|end|position",
                           "words|first|lower|upper",
                           "name|size|date|time|attribute"}) {
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  }
  // Every usage line fits a terminal.
  size_t start = 0;
  while (start < usage.size()) {
    const size_t end = usage.find('\n', start);
    EXPECT_LE(end - start, 90u) << usage.substr(start, end - start);
    start = end + 1;
  }
}

}  // namespace
}  // namespace relabo
