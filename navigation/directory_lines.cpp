// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/directory_lines.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <numeric>

#include "filelist/file_sort.h"
#include "filelist/name_filter.h"
#include "fileutil/path.h"

namespace relabo {

namespace {

#ifndef EXFAT_SUPER_MAGIC
constexpr unsigned long EXFAT_SUPER_MAGIC = 0x2011BAB0;
#endif
#ifndef FS_CASEFOLD_FL
constexpr int FS_CASEFOLD_FL = 0x40000000;
#endif

bool IsHiddenOrDots(std::string_view name) { return name.empty() || name.front() == '.'; }

// Drops, in place and keeping the first found, every name that equals an earlier one apart from
// case. Only names the collation calls equal after folding can be such twins, so only neighbours
// of a sort by that collation are compared.
void DropCaseTwins(std::vector<std::string>& names, const NameCollator& collator) {
  std::vector<size_t> order(names.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return collator.CompareIgnoreCase(names[a], names[b]) < 0;
  });
  std::vector<bool> dropped(names.size(), false);
  for (size_t runStart = 0; runStart < order.size();) {
    size_t runEnd = runStart + 1;
    while (runEnd < order.size() &&
           collator.CompareIgnoreCase(names[order[runStart]], names[order[runEnd]]) == 0) {
      ++runEnd;
    }
    // The stable sort leaves a run in the order found.
    for (size_t j = runStart + 1; j < runEnd; ++j) {
      for (size_t k = runStart; k < j; ++k) {
        if (!dropped[order[k]] && SameNameIgnoringCase(names[order[k]], names[order[j]])) {
          dropped[order[j]] = true;
          break;
        }
      }
    }
    runStart = runEnd;
  }
  size_t kept = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    if (dropped[i]) continue;
    if (kept != i) names[kept] = std::move(names[i]);
    ++kept;
  }
  names.resize(kept);
}

}  // namespace

std::vector<DirectoryLine> ComputeDirectoryLines(std::string_view folder,
                                                 std::vector<std::string> subfolders,
                                                 bool volumeIgnoresCase,
                                                 const NameCollator& collator) {
  std::vector<DirectoryLine> lines;
  if (folder.empty()) return lines;
  lines.push_back({"/", DirectoryLineKind::Ancestor, 0});
  for (size_t pos = 0; pos < folder.size();) {
    const size_t end = std::min(folder.find('/', pos), folder.size());
    if (end > pos) {
      lines.push_back({std::string(folder.substr(pos, end - pos)), DirectoryLineKind::Ancestor,
                       static_cast<int>(lines.size())});
    }
    pos = end + 1;
  }
  lines.back().kind = DirectoryLineKind::Current;

  std::erase_if(subfolders, [](const std::string& name) { return IsHiddenOrDots(name); });
  if (volumeIgnoresCase) DropCaseTwins(subfolders, collator);
  // Case, and then the bytes, decide only between names equal ignoring case, so the order
  // never depends on the order the file system gave.
  std::sort(subfolders.begin(), subfolders.end(), [&](const std::string& a, const std::string& b) {
    const int order = collator.CompareIgnoreCase(a, b);
    return order != 0 ? order < 0 : collator.Compare(a, b) < 0;
  });
  const int level = static_cast<int>(lines.size());
  lines.reserve(lines.size() + subfolders.size());
  for (std::string& name : subfolders) {
    lines.push_back({std::move(name), DirectoryLineKind::Subfolder, level});
  }
  return lines;
}

int CurrentLineIndex(const std::vector<DirectoryLine>& lines) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == DirectoryLineKind::Current) return static_cast<int>(i);
  }
  return -1;
}

std::string DirectoryLinePath(std::string_view folder, const std::vector<DirectoryLine>& lines,
                              int index) {
  if (index < 0 || index >= static_cast<int>(lines.size())) return std::string();
  const DirectoryLine& line = lines[size_t(index)];
  if (line.kind == DirectoryLineKind::Subfolder) return JoinPath(folder, line.name);
  if (line.kind == DirectoryLineKind::Current) return std::string(folder);
  std::string path = "/";
  for (int k = 1; k <= index; ++k) path = JoinPath(path, lines[size_t(k)].name);
  return path;
}

std::vector<std::string> ReadSubfolderNames(const std::string& folder) {
  std::vector<std::string> names;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return names;
  struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
  };
  const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
  if (!dir) {
    ::close(fd);
    return names;
  }
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat st;
      isFolder = ::fstatat(::dirfd(dir.get()), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    if (isFolder) names.emplace_back(name);
  }
  return names;
}

VolumeCaseInfo ReadVolumeCaseInfo(const std::string& folder) {
  VolumeCaseInfo info;
  struct statfs fs;
  if (::statfs(folder.c_str(), &fs) != 0) return info;
  info.readable = true;
  const auto type = static_cast<unsigned long>(fs.f_type);
  if (type == MSDOS_SUPER_MAGIC || type == EXFAT_SUPER_MAGIC) {
    info.ignoresCase = true;
    return info;
  }
  // ext4, f2fs and tmpfs can fold case per folder.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) info.ignoresCase = (flags & FS_CASEFOLD_FL) != 0;
    ::close(fd);
  }
  return info;
}

}  // namespace relabo
