// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace relabo {
namespace {

using Args = std::vector<std::string>;

TEST(ParseCommandLineTest, GnuConventions) {
  struct Case {
    const char* name;
    Args arguments;
    bool run;
    int exitCode;
    Args paths;
    const char* outputStart;  // of standard output, or of standard error when it fails
  };
  const Case cases[] = {
      {"nothing", {}, true, 0, {}, ""},
      {"a folder", {"/home/u/photos"}, true, 0, {"/home/u/photos"}, ""},
      {"files as bytes", {"a b.jpg", "\xff.jpg"}, true, 0, {"a b.jpg", "\xff.jpg"}, ""},
      {"help", {"--help"}, false, 0, {}, "Usage: relabo [OPTION]... [FOLDER | FILE...]\n"},
      {"short help after a path", {"x", "-h"}, false, 0, {}, "Usage: relabo"},
      {"version", {"--version"}, false, 0, {}, "relabo 2.2\n"},
      {"unknown long option", {"--frobnicate", "a"}, false, 2, {},
       "relabo: unrecognized option '--frobnicate'\nTry 'relabo --help' for more information.\n"},
      {"unknown short option", {"-x"}, false, 2, {}, "relabo: invalid option -- 'x'\n"},
      {"an option after a path still counts", {"a", "--bad"}, false, 2, {}, "relabo: "},
      {"double dash ends the options", {"--", "--help", "-x"}, true, 0, {"--help", "-x"}, ""},
      {"a lone dash is a path", {"-"}, true, 0, {"-"}, ""},
      {"the toolkit's options are not paths",
       {"-platform", "offscreen", "a", "-reverse", "--style=fusion", "-style", "fusion"}, true,
       0, {"a"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandLine line = ParseCommandLine(c.arguments);
    EXPECT_EQ(line.run, c.run);
    EXPECT_EQ(line.exitCode, c.exitCode);
    EXPECT_EQ(line.paths, c.paths);
    const std::string& text = c.exitCode == 0 ? line.output : line.error;
    EXPECT_EQ(text.substr(0, std::string(c.outputStart).size()), c.outputStart);
    if (c.run) {
      EXPECT_TRUE(line.output.empty());
      EXPECT_TRUE(line.error.empty());
    }
  }
}

}  // namespace
}  // namespace relabo
