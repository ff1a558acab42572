#pragma once

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

/// The volumes of a mount table in the text form of /proc/self/mountinfo, sorted by mount
/// point: pseudo file systems and system mounts (/proc, /sys, /dev, /run except
/// /run/media, /boot) are left out, the last mount on a mount point wins, and "/" is always
/// there. Reads nothing else.
std::vector<Volume> ParseMountInfo(std::string_view mountinfo, const BlockDevices& devices);

/// Labels from /dev/disk/by-label and removable disks from /sys/class/block. Touches no medium.
BlockDevices ReadBlockDevices();

/// The volumes mounted now (only "/" when the mount table cannot be read). Never asks a file
/// system anything, so a missing medium or a dead server cannot make it wait.
std::vector<Volume> ListVolumes();

/// The mount point of the volume holding folder: the longest mount point that is the folder
/// or one of its parents ("/media/usb" holds "/media/usb/a", not "/media/usb2"). Empty when
/// none holds it.
std::string VolumeOf(const std::vector<Volume>& volumes, std::string_view folder);

}  // namespace relabo
