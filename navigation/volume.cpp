// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/volume.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>

namespace relabo {

namespace {

// File systems that hold no user files, or whose contents are another mount's business.
constexpr std::string_view kPseudoTypes[] = {
    "autofs",          "binfmt_misc", "bpf",         "cgroup",        "cgroup2",
    "configfs",        "debugfs",     "devpts",      "devtmpfs",      "efivarfs",
    "fusectl",         "hugetlbfs",   "mqueue",      "nfsd",          "nsfs",
    "overlay",         "proc",        "pstore",      "rootfs",        "rpc_pipefs",
    "securityfs",      "selinuxfs",   "squashfs",    "sysfs",         "tracefs",
    "fuse.gvfsd-fuse", "fuse.lxcfs",  "fuse.portal", "fuse.snapfuse",
};

constexpr std::string_view kNetworkTypes[] = {
    "nfs",   "nfs4",       "cifs", "smb3",      "smbfs",     "sshfs",          "fuse.sshfs", "9p",
    "davfs", "fuse.davfs", "ceph", "fuse.ceph", "glusterfs", "fuse.glusterfs", "afs",
};

// Mount points of the system itself; everything below them is hidden as well.
constexpr std::string_view kSystemFolders[] = {"/proc", "/sys", "/dev", "/run", "/boot", "/efi"};

template <size_t N>
bool Contains(const std::string_view (&set)[N], std::string_view value) {
  return std::find(std::begin(set), std::end(set), value) != std::end(set);
}

// True when path is folder or lies below it.
bool IsAtOrBelow(std::string_view path, std::string_view folder) {
  if (folder == "/") return !path.empty() && path[0] == '/';
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

bool IsStrictlyBelow(std::string_view path, std::string_view folder) {
  return path.size() > folder.size() + 1 && IsAtOrBelow(path, folder);
}

// The mount table writes space, tab, newline and backslash as "\" and three octal digits.
std::string DecodeOctalEscapes(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && field.size() - i >= 4) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out += char((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// udev writes unsafe bytes of a label's link name as "\x" and two hex digits.
std::string DecodeHexEscapes(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && name.size() - i >= 4 && name[i + 1] == 'x') {
      const int high = HexValue(name[i + 2]), low = HexValue(name[i + 3]);
      if (high >= 0 && low >= 0) {
        out += char(high * 16 + low);
        i += 3;
        continue;
      }
    }
    out += name[i];
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (start <= line.size()) {
    const size_t end = std::min(line.find(' ', start), line.size());
    if (end > start) fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return fields;
}

struct MountLine {
  std::string mountPoint;
  std::string fsType;
  std::string source;
};

// One line of mountinfo: "36 35 98:0 /root /mnt opts [optional...] - type source superopts".
std::optional<MountLine> ParseLine(std::string_view line) {
  const std::vector<std::string_view> fields = SplitFields(line);
  if (fields.size() < 7) return std::nullopt;
  size_t dash = 6;
  while (dash < fields.size() && fields[dash] != "-") ++dash;
  if (dash + 2 >= fields.size()) return std::nullopt;
  return MountLine{DecodeOctalEscapes(fields[4]), DecodeOctalEscapes(fields[dash + 1]),
                   DecodeOctalEscapes(fields[dash + 2])};
}

// "//host/share", or "host:/path" and "user@host:" as NFS, sshfs and rclone write them.
bool IsRemoteSource(std::string_view source) {
  if (source.starts_with("//")) return true;
  if (source.empty() || source[0] == '/') return false;
  const size_t colon = source.find(':');
  return colon != std::string_view::npos && colon > 0 &&
         source.substr(0, colon).find('/') == std::string_view::npos;
}

bool IsHidden(const MountLine& m) {
  if (m.mountPoint == "/") return false;
  if (Contains(kPseudoTypes, m.fsType)) return true;
  if (IsStrictlyBelow(m.mountPoint, "/run/media")) return false;
  for (std::string_view folder : kSystemFolders) {
    if (IsAtOrBelow(m.mountPoint, folder)) return true;
  }
  return false;
}

VolumeKind Classify(const MountLine& m, const BlockDevices& devices) {
  if (Contains(kNetworkTypes, m.fsType) || IsRemoteSource(m.source)) return VolumeKind::Network;
  if (m.fsType == "iso9660" || m.fsType == "udf") return VolumeKind::Optical;
  if (m.fsType == "tmpfs" || m.fsType == "ramfs") return VolumeKind::Ram;
  if (devices.removable.contains(m.source) || IsStrictlyBelow(m.mountPoint, "/media") ||
      IsStrictlyBelow(m.mountPoint, "/run/media")) {
    return VolumeKind::Removable;
  }
  return VolumeKind::Fixed;
}

bool IsFuse(std::string_view fsType) {
  return fsType == "fuse" || fsType == "fuseblk" || fsType.starts_with("fuse.");
}

// Whether a mount point may be looked at while listing: not when the volume is on the network,
// nor when its path leads through a network or FUSE file system, whose server or daemon would
// be asked about each folder on the way and might never answer.
bool MayExamine(const MountLine& m, VolumeKind kind, const std::map<std::string, MountLine>& top,
                const BlockDevices& devices) {
  if (kind == VolumeKind::Network) return false;
  for (const auto& [mountPoint, outer] : top) {
    if (!IsStrictlyBelow(m.mountPoint, mountPoint)) continue;
    if (IsFuse(outer.fsType) || Classify(outer, devices) == VolumeKind::Network) return false;
  }
  return true;
}

// The whole of a small file, or nullopt when it cannot be read.
std::optional<std::string> ReadSmallFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      if (n < 0) return std::nullopt;
      return text;
    }
    text.append(buffer, size_t(n));
  }
}

std::optional<std::string> RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  struct CloseDir {
    void operator()(DIR* d) const { ::closedir(d); }
  };
  std::unique_ptr<DIR, CloseDir> dir(::opendir(folder.c_str()));
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  return names;
}

}  // namespace

std::vector<Volume> ParseMountInfo(std::string_view mountinfo, const BlockDevices& devices,
                                   const FolderTest& isFolder) {
  // Later lines mount over earlier ones on the same mount point.
  std::map<std::string, MountLine> top;
  size_t start = 0;
  while (start < mountinfo.size()) {
    const size_t end = std::min(mountinfo.find('\n', start), mountinfo.size());
    if (std::optional<MountLine> m = ParseLine(mountinfo.substr(start, end - start))) {
      top[m->mountPoint] = std::move(*m);
    }
    start = end + 1;
  }

  std::vector<Volume> volumes;
  if (!top.contains("/")) volumes.push_back(Volume{"/", VolumeKind::Fixed, "", "", ""});
  for (const auto& [mountPoint, m] : top) {
    if (mountPoint.empty() || mountPoint[0] != '/' || IsHidden(m)) continue;
    Volume v{mountPoint, Classify(m, devices), "", m.fsType, m.source};
    if (isFolder && mountPoint != "/" && MayExamine(m, v.kind, top, devices) &&
        !isFolder(mountPoint)) {
      continue;
    }
    if (v.kind == VolumeKind::Network) {
      v.label = m.source;
    } else if (const auto label = devices.labels.find(m.source); label != devices.labels.end()) {
      v.label = label->second;
    }
    volumes.push_back(std::move(v));
  }
  std::sort(volumes.begin(), volumes.end(),
            [](const Volume& a, const Volume& b) { return a.mountPoint < b.mountPoint; });
  return volumes;
}

BlockDevices ReadBlockDevices() {
  BlockDevices devices;
  const std::string byLabel = "/dev/disk/by-label/";
  for (const std::string& name : FolderEntries(byLabel)) {
    if (std::optional<std::string> device = RealPath(byLabel + name)) {
      devices.labels[*device] = DecodeHexEscapes(name);
    }
  }
  const std::string classBlock = "/sys/class/block/";
  for (const std::string& name : FolderEntries(classBlock)) {
    // A partition has no `removable` of its own; its disk is the folder above it.
    std::optional<std::string> flag = ReadSmallFile(classBlock + name + "/removable");
    if (!flag) flag = ReadSmallFile(classBlock + name + "/../removable");
    if (flag && flag->starts_with('1')) devices.removable.insert("/dev/" + name);
  }
  // Device-mapper volumes are mounted by their /dev/mapper names.
  const std::string mapper = "/dev/mapper/";
  for (const std::string& name : FolderEntries(mapper)) {
    const std::optional<std::string> device = RealPath(mapper + name);
    if (!device || *device == mapper + name) continue;
    if (const auto label = devices.labels.find(*device); label != devices.labels.end()) {
      devices.labels[mapper + name] = label->second;
    }
    if (devices.removable.contains(*device)) devices.removable.insert(mapper + name);
  }
  return devices;
}

bool IsMountedFolder(const std::string& path) {
  // Cached attributes only: a FUSE daemon that no longer answers is never asked.
  constexpr int kFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
  struct statx attributes;
  if (::statx(AT_FDCWD, path.c_str(), kFlags | AT_STATX_DONT_SYNC, STATX_TYPE, &attributes) == 0) {
    return S_ISDIR(attributes.stx_mode);
  }
  if (errno != ENOSYS) return false;
  struct stat st;
  return ::fstatat(AT_FDCWD, path.c_str(), &st, kFlags) == 0 && S_ISDIR(st.st_mode);
}

std::vector<Volume> ListVolumes() {
  const std::optional<std::string> table = ReadSmallFile("/proc/self/mountinfo");
  return ParseMountInfo(table.value_or(std::string()), ReadBlockDevices(), &IsMountedFolder);
}

std::string VolumeOf(const std::vector<Volume>& volumes, std::string_view folder) {
  const Volume* best = nullptr;
  for (const Volume& v : volumes) {
    if (v.mountPoint.empty() || !IsAtOrBelow(folder, v.mountPoint)) continue;
    if (!best || v.mountPoint.size() > best->mountPoint.size()) best = &v;
  }
  return best ? best->mountPoint : std::string();
}

std::string RootFolderOf(std::string_view mountPoint) {
  std::string folder(mountPoint);
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace relabo
