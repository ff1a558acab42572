// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/start_paths.h"

#include <sys/stat.h>

#include <string_view>

#include "fileutil/path.h"

namespace relabo {

namespace {

enum class Kind { None, File, Folder };

Kind KindOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? Kind::Folder : Kind::File;
  // A link that leads nowhere is still an entry of its folder.
  return ::lstat(path.c_str(), &st) == 0 ? Kind::File : Kind::None;
}

// The folder part and the name of a walked path ("/" has no name).
std::pair<std::string, std::string> Split(const std::string& walked) {
  const size_t slash = walked.rfind('/');
  if (slash == std::string::npos) return {std::string("/"), walked};
  return {slash == 0 ? std::string("/") : walked.substr(0, slash), walked.substr(slash + 1)};
}

}  // namespace

StartPaths ResolveStartPaths(const std::vector<std::string>& paths, const std::string& base) {
  StartPaths start;
  struct Given {
    const std::string* text;
    std::string walked;
    Kind kind;
  };
  std::vector<Given> existing;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    std::string walked = LogicalPath(path, base);
    const Kind kind = KindOf(walked);
    if (kind == Kind::None) {
      start.missing.push_back(path);
    } else {
      existing.push_back({&path, std::move(walked), kind});
    }
  }
  if (existing.empty()) return start;
  if (existing.size() == 1 && existing[0].kind == Kind::Folder) {
    start.folder = existing[0].walked;
    return start;
  }
  // The root as an entry has no folder to be marked in: it opens as a folder.
  if (existing[0].walked == "/") {
    start.folder.assign(1, '/');
  } else {
    start.folder = Split(existing[0].walked).first;
  }
  for (const Given& given : existing) {
    const auto [folder, name] = Split(given.walked);
    if (given.walked != "/" && folder == start.folder) {
      bool seen = false;
      for (const std::string& marked : start.marked) seen = seen || marked == name;
      if (!seen) start.marked.push_back(name);
    } else if (given.walked != start.folder) {
      start.leftOut.push_back(*given.text);
    }
  }
  return start;
}

}  // namespace relabo
