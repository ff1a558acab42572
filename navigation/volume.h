// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace relabo {

/// The kind of a volume; the value is its glyph row.
enum class VolumeKind { Removable = 0, Fixed = 1, Network = 2, Optical = 3, Ram = 4 };

/// A mounted volume a user browses; it stands for a drive of the original program.
struct Volume {
  std::string mountPoint;  // its identity, as the volume selector's Drive
  VolumeKind kind = VolumeKind::Fixed;
  std::string label;   // volume label, the remote source for a network volume; may be empty
  std::string fsType;  // as the mount table names it ("ext4", "fuse.sshfs")
  std::string device;  // the mount source ("/dev/sdb1", "//server/share", "tmpfs")

  bool operator==(const Volume&) const = default;
};

/// What the block-device layer knows about devices, keyed by device path ("/dev/sdb1").
struct BlockDevices {
  std::set<std::string> removable;            // on a disk whose sysfs `removable` is 1
  std::map<std::string, std::string> labels;  // file-system labels
};

/// Tells whether a mount point (decoded, absolute) is a folder.
using FolderTest = std::function<bool(const std::string& mountPoint)>;

/// The volumes of a mount table in the text form of /proc/self/mountinfo, sorted by mount
/// point: pseudo file systems and system mounts (/proc, /sys, /dev, /run except
/// /run/media, /boot) are left out, the last mount on a mount point wins, and "/" is always
/// there. A mount point that isFolder refuses is left out too: a bind mount of a single file,
/// as containers get /etc/hosts. isFolder is never asked about "/", a network volume or a mount
/// point whose path leads through a network or FUSE file system (a dead server would make it
/// wait): those count as folders, as every mount point does without isFolder. Reads nothing
/// else.
std::vector<Volume> ParseMountInfo(std::string_view mountinfo, const BlockDevices& devices,
                                   const FolderTest& isFolder = {});

/// True when path names a folder itself (a symbolic link is not followed), judged from the
/// attributes the kernel holds without asking a file system to refresh them; false when it
/// cannot be examined.
bool IsMountedFolder(const std::string& path);

/// Labels from /dev/disk/by-label and removable disks from /sys/class/block. Touches no medium.
BlockDevices ReadBlockDevices();

/// The volumes mounted now (only "/" when the mount table cannot be read). Never asks a file
/// system to refresh anything and never looks at a network volume or below one, so a missing
/// medium or a dead server cannot make it wait.
std::vector<Volume> ListVolumes();

/// The mount point of the volume holding folder: the longest mount point that is the folder
/// or one of its parents ("/media/usb" holds "/media/usb/a", not "/media/usb2"). Empty when
/// none holds it.
std::string VolumeOf(const std::vector<Volume>& volumes, std::string_view folder);

/// The folder to open to show a volume's top: its mount point with a trailing "/"
/// ("/media/usb/", "/"). The bare mount point can be taken for the entry of that name in the
/// parent folder; with the "/" it is the volume's own folder. Empty for an empty value.
std::string RootFolderOf(std::string_view mountPoint);

}  // namespace relabo
