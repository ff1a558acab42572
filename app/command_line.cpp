// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace relabo {
namespace {

constexpr char kUsage[] =
    "Usage: relabo [OPTION]... [FOLDER | FILE...]\n"
    "Rename and copy many files of one folder at once.\n"
    "\n"
    "With a FOLDER, opens that folder; with FILEs, opens the folder of the first one with\n"
    "exactly the given files of that folder marked. Without arguments, opens the folder of\n"
    "the last session.\n"
    "\n"
    "  -h, --help     display this help and exit\n"
    "      --version  output version information and exit\n";

constexpr char kVersion[] =
    "relabo 2.2\n"
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

constexpr char kTryHelp[] = "Try 'relabo --help' for more information.\n";

// The toolkit's options, with one or two dashes: those that take the next argument as their
// value, and those that stand alone.
constexpr std::array<std::string_view, 14> kToolkitWithValue = {
    "platform",   "platformpluginpath", "platformtheme",  "plugin",
    "display",    "geometry",           "qwindowgeometry", "qwindowtitle",
    "qwindowicon", "style",             "stylesheet",     "session",
    "name",       "title"};
constexpr std::array<std::string_view, 5> kToolkitFlags = {"reverse", "sync", "widgetcount",
                                                           "nograb", "dograb"};

template <size_t N>
bool Contains(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

CommandLine UsageError(std::string message) {
  CommandLine line;
  line.run = false;
  line.exitCode = 2;
  line.error = "relabo: " + message + "\n" + kTryHelp;
  return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool options = true;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!options || argument.size() < 2 || argument[0] != '-') {
      line.paths.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options = false;
      continue;
    }
    const std::string_view name =
        std::string_view(argument).substr(argument[1] == '-' ? 2 : 1);
    const std::string_view bare = name.substr(0, name.find('='));
    if (argument == "-h" || argument == "--help") {
      line = {};
      line.run = false;
      line.output = kUsage;
      return line;
    }
    if (argument == "--version") {
      line = {};
      line.run = false;
      line.output = kVersion;
      return line;
    }
    if (Contains(kToolkitWithValue, bare)) {
      // "-style=fusion" holds its value; "-style fusion" takes the next argument.
      if (bare.size() == name.size()) ++i;
      continue;
    }
    if (Contains(kToolkitFlags, name)) continue;
    if (argument[1] == '-') return UsageError("unrecognized option '" + argument + "'");
    return UsageError(std::string("invalid option -- '") + argument[1] + "'");
  }
  return line;
}

}  // namespace relabo
