// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string_view>
#include <vector>

namespace relabo {
namespace {

struct GFree {
  void operator()(void* p) const { g_free(p); }
};
using GOwned = std::unique_ptr<char, GFree>;

std::string TakeString(char* text) {
  const GOwned owned(text);
  return owned ? std::string(owned.get()) : std::string();
}

std::string Dirname(const std::string& path) {
  return TakeString(g_path_get_dirname(path.c_str()));
}

bool IsEntry(const struct stat& st, dev_t device, ino_t inode) {
  return st.st_dev == device && st.st_ino == inode;
}

// The name GIO gives the index-th (from 1) entry of one name in a trash: the name itself, then
// a number before the first dot ("report.2.txt", "archive.2.tar.gz", ".2.hidden"), or at the
// end when there is no dot ("notes.2").
std::string TrashName(const std::string& name, int index) {
  if (index == 1) return name;
  const std::string number = "." + std::to_string(index);
  const std::size_t dot = name.find('.');
  if (dot == std::string::npos) return name + number;
  return name.substr(0, dot) + number + name.substr(dot);
}

// The folder `path` is in, symbolic links resolved; empty when it cannot be.
std::string RealFolder(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(Dirname(path).c_str(), nullptr),
                                                   &std::free);
  return real ? std::string(real.get()) : std::string();
}

// The root folder of the volume that holds `path`, symbolic links resolved: the trash of a
// volume other than the home's lives there.
std::string VolumeTop(const std::string& path) {
  std::string dir = RealFolder(path);
  if (dir.empty()) return {};
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0) return {};
  const dev_t device = st.st_dev;
  while (dir != "/") {
    const std::string parent = Dirname(dir);
    if (::stat(parent.c_str(), &st) != 0 || st.st_dev != device) break;
    dir = parent;
  }
  return dir;
}

std::string HomeTrash() {
  return TakeString(g_canonicalize_filename(g_get_user_data_dir(), nullptr)) + "/Trash";
}

// The trash folders of a volume in the order GIO prefers them: the administrator's
// .Trash/UID (only under a sticky .Trash), then .Trash-UID.
std::vector<std::string> VolumeTrashes(const std::string& path) {
  const std::string top = VolumeTop(path);
  if (top.empty()) return {};
  const std::string base = top == "/" ? std::string() : top;
  const std::string uid = std::to_string(::geteuid());
  std::vector<std::string> trashes;
  struct stat st;
  const std::string shared = base + "/.Trash";
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
    const std::string own = shared + "/" + uid;
    if (::lstat(own.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid())
      trashes.push_back(own);
  }
  trashes.push_back(base + "/.Trash-" + uid);
  return trashes;
}

// Whether GIO takes the home trash for `path`: when the entry (for anything but a folder, the
// folder it is in, links followed) is on the home folder's volume.
bool GoesToHomeTrash(const std::string& path, const struct stat& entry) {
  struct stat home, where = entry;
  if (::stat(g_get_home_dir(), &home) != 0) return false;
  if (!S_ISDIR(entry.st_mode)) (void)::stat(Dirname(path).c_str(), &where);
  return where.st_dev == home.st_dev;
}

struct Found {
  std::string trashedPath;
  std::string infoPath;
};

// `path` with the links in its folder resolved, as a volume's trash records it.
std::string Resolved(const std::string& path) {
  const std::string folder = RealFolder(path);
  if (folder.empty()) return {};
  return (folder == "/" ? "" : folder) + "/" + TakeString(g_path_get_basename(path.c_str()));
}

// Whether the Path= line of a .trashinfo names `original` (absolute, canonical). The home
// trash records it as it is, a volume's trash relative to the volume's root.
bool InfoNames(const std::string& infoPath, const std::string& original) {
  std::ifstream in(infoPath, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Path=", 0) != 0) continue;
    const std::string named = TakeString(g_uri_unescape_string(line.c_str() + 5, nullptr));
    if (named.empty()) return false;
    if (named[0] == '/') return named == original;
    const std::string top = VolumeTop(original);
    return !top.empty() && (top == "/" ? "" : top) + "/" + named == Resolved(original);
  }
  return false;
}

// The right one of the trash entries that are the trashed file. Several are only possible
// when hard links of one file were trashed under one name: then the one whose .trashinfo
// names the original, else the newest .trashinfo (GIO writes it just before the move).
Found Pick(const std::vector<Found>& matches, const std::string& original) {
  if (matches.size() == 1) return matches.front();
  for (const Found& match : matches)
    if (InfoNames(match.infoPath, original)) return match;
  const Found* newest = nullptr;
  struct timespec newestTime = {0, 0};
  for (const Found& match : matches) {
    struct stat st;
    if (::stat(match.infoPath.c_str(), &st) != 0) continue;
    if (!newest || st.st_mtim.tv_sec > newestTime.tv_sec ||
        (st.st_mtim.tv_sec == newestTime.tv_sec && st.st_mtim.tv_nsec > newestTime.tv_nsec)) {
      newest = &match;
      newestTime = st.st_mtim;
    }
  }
  return newest ? *newest : Found{};
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Tries the names GIO gives in turn. GIO takes the first name without a .trashinfo, so the
// names to try end at the first one without: a handful of lookups, however full the trash.
std::vector<Found> FindByName(const std::string& trash, const std::string& name, dev_t device,
                              ino_t inode) {
  std::vector<Found> matches;
  for (int index = 1;; ++index) {
    const std::string trashName = TrashName(name, index);
    Found candidate{trash + "/files/" + trashName, trash + "/info/" + trashName + ".trashinfo"};
    if (!Exists(candidate.infoPath)) break;
    struct stat st;
    if (::lstat(candidate.trashedPath.c_str(), &st) == 0 && IsEntry(st, device, inode))
      matches.push_back(std::move(candidate));
  }
  return matches;
}

// Looks through a trash's files for the entry, for names GIO may give otherwise. The
// directory's inode numbers select the few entries worth a stat.
std::vector<Found> FindByIdentity(const std::string& trash, dev_t device, ino_t inode) {
  std::vector<Found> matches;
  const std::string files = trash + "/files";
  DIR* dir = ::opendir(files.c_str());
  if (!dir) return matches;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_ino != inode) continue;
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !IsEntry(st, device, inode))
      continue;
    Found candidate{files + "/" + std::string(name),
                    trash + "/info/" + std::string(name) + ".trashinfo"};
    if (Exists(candidate.infoPath)) matches.push_back(std::move(candidate));
  }
  ::closedir(dir);
  return matches;
}

// Where GIO put `path` (absolute, canonical; `entry` is its lstat from before): GIO does not
// tell, so look where its rules put it, under the names it gives.
Found FindTrashed(const std::string& path, const std::string& name, const struct stat& entry) {
  const bool home = GoesToHomeTrash(path, entry);
  std::vector<std::string> trashes;
  if (home)
    trashes.push_back(HomeTrash());
  else
    trashes = VolumeTrashes(path);
  // The first of a volume's trashes that exists is the one GIO took.
  for (const std::string& trash : trashes) {
    if (!Exists(trash)) continue;
    std::vector<Found> matches = FindByName(trash, name, entry.st_dev, entry.st_ino);
    if (!matches.empty()) return Pick(matches, path);
    break;
  }
  // Not under the expected names: look through every trash the entry could be in.
  if (home) {
    for (std::string& trash : VolumeTrashes(path)) trashes.push_back(std::move(trash));
  } else {
    trashes.push_back(HomeTrash());
  }
  for (const std::string& trash : trashes) {
    std::vector<Found> matches = FindByIdentity(trash, entry.st_dev, entry.st_ino);
    if (!matches.empty()) return Pick(matches, path);
  }
  return {};
}

}  // namespace

TrashResult TrashFile(const std::string& path) {
  TrashResult result;
  // GIO takes an empty path for the current folder itself.
  if (path.empty()) {
    result.error = std::strerror(ENOENT);
    return result;
  }
  // g_file_trash only ever renames into a trash folder (the home trash, or the volume's
  // .Trash-UID); where neither is possible it fails and leaves the file alone.
  GFile* file = g_file_new_for_path(path.c_str());
  // The path as GIO moves it: absolute, without "." and ".." and trailing slashes (so a
  // symbolic link given as "link/" is the link itself).
  const std::string canonical = TakeString(g_file_get_path(file));
  const std::string name = TakeString(g_file_get_basename(file));
  struct stat before;
  const bool known = ::lstat(canonical.c_str(), &before) == 0;
  GError* error = nullptr;
  result.trashed = g_file_trash(file, nullptr, &error);
  if (!result.trashed) result.error = error ? error->message : "Unable to trash the file";
  if (error) g_error_free(error);
  g_object_unref(file);
  if (result.trashed && known) {
    result.device = std::uint64_t(before.st_dev);
    result.inode = std::uint64_t(before.st_ino);
    Found found = FindTrashed(canonical, name, before);
    result.trashedPath = std::move(found.trashedPath);
    result.infoPath = std::move(found.infoPath);
  }
  return result;
}

}  // namespace relabo
