// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using Kind = VolumeKind;

// A desktop with a system disk, a USB stick, a DVD, network shares and the usual pseudo
// file systems.
constexpr const char* kDesktopTable =
    "21 26 0:20 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
    "22 26 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:13 - proc proc rw\n"
    "23 26 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,size=8000000k\n"
    "24 23 0:22 / /dev/pts rw,nosuid,noexec,relatime shared:3 - devpts devpts rw,mode=620\n"
    "25 26 0:23 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw\n"
    "26 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro\n"
    "27 21 0:6 / /sys/kernel/security rw shared:8 - securityfs securityfs rw\n"
    "28 23 0:25 / /dev/shm rw,nosuid,nodev shared:4 - tmpfs tmpfs rw\n"
    "30 21 0:27 / /sys/fs/cgroup rw shared:9 - cgroup2 cgroup2 rw\n"
    "40 26 8:1 / /boot/efi rw,relatime shared:30 - vfat /dev/sda1 rw\n"
    "41 26 8:3 / /home rw,relatime shared:31 - ext4 /dev/sda3 rw\n"
    "42 26 0:35 / /tmp rw shared:32 - tmpfs tmpfs rw\n"
    "50 25 0:40 / /run/user/1000 rw shared:40 - tmpfs tmpfs rw,size=1600000k\n"
    "51 50 0:41 / /run/user/1000/gvfs rw shared:41 - fuse.gvfsd-fuse gvfsd-fuse rw\n"
    "60 26 8:17 / /media/ann/USB\\040STICK rw shared:50 - vfat /dev/sdb1 rw\n"
    "61 26 11:0 / /media/ann/DVD ro shared:51 - iso9660 /dev/sr0 ro\n"
    "62 26 0:50 / /mnt/nas rw shared:52 - nfs4 nas.local:/export/data rw\n"
    "63 26 0:51 / /mnt/share rw shared:53 - cifs //server/share rw\n"
    "70 26 7:1 / /snap/core/123 ro shared:60 - squashfs /dev/loop1 ro\n"
    "71 26 0:60 / /mnt/ssh rw - fuse.sshfs ann@host:/home/ann rw\n"
    "72 25 8:33 / /run/media/ann/Backup rw - ext4 /dev/sdc1 rw\n";

TEST(VolumeTest, DesktopMountTable) {
  BlockDevices devices;
  devices.labels = {
      {"/dev/sda2", "System"}, {"/dev/sdb1", "USB STICK"}, {"/dev/sr0", "Holiday 2024"}};
  devices.removable = {"/dev/sdb1"};
  const std::vector<Volume> expected = {
      {"/", Kind::Fixed, "System", "ext4", "/dev/sda2"},
      {"/home", Kind::Fixed, "", "ext4", "/dev/sda3"},
      {"/media/ann/DVD", Kind::Optical, "Holiday 2024", "iso9660", "/dev/sr0"},
      {"/media/ann/USB STICK", Kind::Removable, "USB STICK", "vfat", "/dev/sdb1"},
      {"/mnt/nas", Kind::Network, "nas.local:/export/data", "nfs4", "nas.local:/export/data"},
      {"/mnt/share", Kind::Network, "//server/share", "cifs", "//server/share"},
      {"/mnt/ssh", Kind::Network, "ann@host:/home/ann", "fuse.sshfs", "ann@host:/home/ann"},
      {"/run/media/ann/Backup", Kind::Removable, "", "ext4", "/dev/sdc1"},
      {"/tmp", Kind::Ram, "", "tmpfs", "tmpfs"},
  };
  EXPECT_EQ(ParseMountInfo(kDesktopTable, devices), expected);
}

std::string Line(const char* mountPoint, const char* type, const char* source) {
  return std::string("90 26 8:5 / ") + mountPoint + " rw shared:9 - " + type + " " + source +
         " rw\n";
}

TEST(VolumeTest, KindsAndHiddenMounts) {
  struct Case {
    const char* name;
    const char* mountPoint;
    const char* type;
    const char* source;
    std::optional<Kind> kind;  // nullopt: not listed
  };
  const Case cases[] = {
      {"fixed disk", "/data", "ext4", "/dev/sda5", Kind::Fixed},
      {"removable by sysfs, anywhere", "/mnt/stick", "ext4", "/dev/sdd1", Kind::Removable},
      {"fixed type under /media", "/media/ann/disk", "ext4", "/dev/sde1", Kind::Removable},
      {"/media itself is not under it", "/media", "ext4", "/dev/sde1", Kind::Fixed},
      {"under /run/media", "/run/media/ann/x", "btrfs", "/dev/sde1", Kind::Removable},
      {"/run/media itself is a system folder", "/run/media", "tmpfs", "tmpfs", std::nullopt},
      {"/run/mediax is not /run/media", "/run/mediax/y", "ext4", "/dev/sde1", std::nullopt},
      {"network by type", "/mnt/n", "nfs", "10.0.0.1:/x", Kind::Network},
      {"network by //host source", "/mnt/n", "fuse.smbnetfs", "//host/share", Kind::Network},
      {"network by host: source", "/mnt/n", "fuse.rclone", "gdrive:", Kind::Network},
      {"network by IPv6 host source", "/mnt/n", "nfs4", "[fe80::1]:/x", Kind::Network},
      {"9p by type", "/mnt/p", "9p", "hostshare", Kind::Network},
      {"colon in a device path is no host", "/data", "ext4", "/dev/disk/by-path/pci-0:1f.2",
       Kind::Fixed},
      {"network wins over removable", "/media/ann/n", "cifs", "//h/s", Kind::Network},
      {"udf is optical", "/media/ann/bd", "udf", "/dev/sr0", Kind::Optical},
      {"ramfs", "/mnt/r", "ramfs", "ramfs", Kind::Ram},
      {"tmpfs under /media is RAM", "/media/ram", "tmpfs", "tmpfs", Kind::Ram},
      {"overlay away from the root", "/var/lib/docker/overlay2/x/merged", "overlay", "overlay",
       std::nullopt},
      {"autofs trap", "/net", "autofs", "-hosts", std::nullopt},
      {"squashfs snap", "/snap/firefox/1", "squashfs", "/dev/loop3", std::nullopt},
      {"boot partition", "/boot", "ext2", "/dev/sda1", std::nullopt},
      {"EFI partition", "/efi", "vfat", "/dev/sda1", std::nullopt},
      {"/bootstrap is not /boot", "/bootstrap", "ext4", "/dev/sda6", Kind::Fixed},
      {"binfmt_misc below /proc", "/proc/sys/fs/binfmt_misc", "binfmt_misc", "binfmt_misc",
       std::nullopt},
      {"a disk mounted below /dev", "/dev/x", "ext4", "/dev/sda7", std::nullopt},
      {"user runtime folder", "/run/user/1000/doc", "fuse.portal", "portal", std::nullopt},
  };
  BlockDevices devices;
  devices.removable = {"/dev/sdd1"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Volume> volumes = ParseMountInfo(
        Line("/", "ext4", "/dev/sda2") + Line(c.mountPoint, c.type, c.source), devices);
    ASSERT_FALSE(volumes.empty());
    EXPECT_EQ(volumes[0].mountPoint, "/");
    const auto found = std::find_if(volumes.begin(), volumes.end(),
                                    [&c](const Volume& v) { return v.mountPoint == c.mountPoint; });
    if (!c.kind) {
      EXPECT_EQ(found, volumes.end());
    } else if (found == volumes.end()) {
      ADD_FAILURE() << "not listed";
    } else {
      EXPECT_EQ(found->kind, *c.kind);
    }
  }
}

TEST(VolumeTest, RootIsAlwaysListed) {
  struct Case {
    const char* name;
    std::string table;
    Kind kind;
  };
  const Case cases[] = {
      {"empty table", "", Kind::Fixed},
      {"no root line (chroot)", Line("/data", "ext4", "/dev/sda5"), Kind::Fixed},
      {"container overlay root", Line("/", "overlay", "overlay"), Kind::Fixed},
      {"live system tmpfs root", Line("/", "tmpfs", "tmpfs"), Kind::Ram},
      {"NFS root", Line("/", "nfs", "server:/roots/a"), Kind::Network},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Volume> volumes = ParseMountInfo(c.table, {});
    ASSERT_FALSE(volumes.empty());
    EXPECT_EQ(volumes[0].mountPoint, "/");
    EXPECT_EQ(volumes[0].kind, c.kind);
  }
}

TEST(VolumeTest, LastMountOnAMountPointWins) {
  const std::string table = Line("/", "ext4", "/dev/sda2") + Line("/mnt/x", "ext4", "/dev/sdb1") +
                            Line("/mnt/x", "tmpfs", "tmpfs") + Line("/mnt/y", "ext4", "/dev/sdc1") +
                            Line("/mnt/y", "autofs", "systemd-1");
  const std::vector<Volume> volumes = ParseMountInfo(table, {});
  ASSERT_EQ(volumes.size(), 2u);
  EXPECT_EQ(volumes[1].mountPoint, "/mnt/x");
  EXPECT_EQ(volumes[1].kind, Kind::Ram);
}

TEST(VolumeTest, DecodesEscapesAndSkipsBrokenLines) {
  const std::string table =
      "garbage\n"
      "\n"
      "1 2 8:1 / /no/dash rw shared:1 ext4 /dev/sda1 rw\n"
      "1 2 8:1 / /dash/at/end rw -\n" +
      Line("/", "ext4", "/dev/sda2") +
      Line("/mnt/a\\040b\\011c\\134d\\012e", "ext4", "/dev/with\\040space") +
      Line("/mnt/not\\9escape\\04", "ext4", "/dev/sdc1") +
      // No optional fields, and no newline at the end.
      "5 1 8:9 / /mnt/last rw - ext4 /dev/sdd1 rw";
  BlockDevices devices;
  devices.labels = {{"/dev/with space", "L"}};
  const std::vector<Volume> volumes = ParseMountInfo(table, devices);
  std::vector<std::string> mountPoints;
  for (const Volume& v : volumes) mountPoints.push_back(v.mountPoint);
  const std::vector<std::string> expected = {"/", "/mnt/a b\tc\\d\ne", "/mnt/last",
                                             "/mnt/not\\9escape\\04"};
  EXPECT_EQ(mountPoints, expected);
  ASSERT_EQ(volumes.size(), 4u);
  EXPECT_EQ(volumes[1].device, "/dev/with space");
  EXPECT_EQ(volumes[1].label, "L");
}

TEST(VolumeTest, VolumeOfFolder) {
  const std::vector<Volume> volumes = {
      {"/", Kind::Fixed, "", "", ""},
      {"/home", Kind::Fixed, "", "", ""},
      {"/media/usb", Kind::Removable, "", "", ""},
      {"/media/usb/inner", Kind::Removable, "", "", ""},
  };
  struct Case {
    const char* folder;
    const char* volume;
  };
  const Case cases[] = {
      {"/", "/"},
      {"/etc", "/"},
      {"/home", "/home"},
      {"/homework", "/"},
      {"/media/usb", "/media/usb"},
      {"/media/usb/", "/media/usb"},
      {"/media/usb2/a", "/"},
      {"/media/usb/inner/a/b", "/media/usb/inner"},
      {"/media/usb/innerx", "/media/usb"},
      {"relative/path", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(VolumeOf(volumes, c.folder), c.volume);
  }
  EXPECT_EQ(VolumeOf({{"/media/usb", Kind::Removable, "", "", ""}}, "/etc"), "");
}

// A container: the root is an overlay, the runtime binds single files over /etc, and a
// project folder and a data disk are bound in.
constexpr const char* kContainerTable =
    "600 500 0:50 / / rw,relatime - overlay overlay rw,lowerdir=/l,upperdir=/u,workdir=/w\n"
    "601 600 0:51 / /proc rw - proc proc rw\n"
    "602 600 254:1 /docker/containers/ab/resolv.conf /etc/resolv.conf rw - ext4 /dev/vda rw\n"
    "603 600 254:1 /docker/containers/ab/hostname /etc/hostname rw - ext4 /dev/vda rw\n"
    "604 600 254:1 /docker/containers/ab/hosts /etc/hosts rw - ext4 /dev/vda rw\n"
    "605 600 254:1 /home/ann/project /work rw - ext4 /dev/vda rw\n"
    "606 600 254:16 / /data\\040set rw - ext4 /dev/vdb rw\n"
    "607 600 254:1 /home/ann/my\\040notes.txt /etc/my\\040notes rw - ext4 /dev/vda rw\n"
    "608 600 0:60 / /mnt/nas rw - nfs4 nas:/export rw\n"
    "609 600 0:61 / /tmp rw - tmpfs tmpfs rw\n";

TEST(VolumeTest, FileBindMountsAreLeftOut) {
  const std::set<std::string> folders = {"/work", "/data set", "/tmp"};
  std::vector<std::string> asked;
  const std::vector<Volume> volumes =
      ParseMountInfo(kContainerTable, {}, [&](const std::string& mountPoint) {
        asked.push_back(mountPoint);
        return folders.contains(mountPoint);
      });
  std::vector<std::string> mountPoints;
  for (const Volume& v : volumes) mountPoints.push_back(v.mountPoint);
  // The root and the network share are taken as folders without being looked at.
  EXPECT_EQ(mountPoints, (std::vector<std::string>{"/", "/data set", "/mnt/nas", "/tmp", "/work"}));
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(asked,
            (std::vector<std::string>{"/data set", "/etc/hostname", "/etc/hosts", "/etc/my notes",
                                      "/etc/resolv.conf", "/tmp", "/work"}));

  // Without a test every mount point counts as a folder.
  EXPECT_EQ(ParseMountInfo(kContainerTable, {}).size(), 9u);
}

TEST(VolumeTest, WhatIsLookedAtWhileListing) {
  struct Case {
    const char* name;
    std::string table;  // after a local root
    const char* mountPoint;
    bool asked;
  };
  const Case cases[] = {
      {"local disk", Line("/data", "ext4", "/dev/sdb1"), "/data", true},
      {"FUSE volume itself", Line("/mnt/enc", "fuse.encfs", "encfs"), "/mnt/enc", true},
      {"network by type", Line("/mnt/n", "nfs", "server:/x"), "/mnt/n", false},
      {"network by source", Line("/mnt/r", "fuse.rclone", "gdrive:"), "/mnt/r", false},
      {"below a network volume",
       Line("/mnt/n", "nfs", "server:/x") + Line("/mnt/n/disk", "ext4", "/dev/sdb1"), "/mnt/n/disk",
       false},
      {"below a FUSE volume",
       Line("/mnt/enc", "fuse.encfs", "encfs") + Line("/mnt/enc/disk", "ext4", "/dev/sdb1"),
       "/mnt/enc/disk", false},
      {"below fuseblk",
       Line("/mnt/w", "fuseblk", "/dev/sdc1") + Line("/mnt/w/x", "ext4", "/dev/sdb1"), "/mnt/w/x",
       false},
      {"beside a network volume, not below",
       Line("/mnt/n", "nfs", "server:/x") + Line("/mnt/n2", "ext4", "/dev/sdb1"), "/mnt/n2", true},
      {"below a network volume listed after it",
       Line("/mnt/n/disk", "ext4", "/dev/sdb1") + Line("/mnt/n", "cifs", "//h/s"), "/mnt/n/disk",
       false},
      {"below an automounted share",
       Line("/net", "autofs", "-hosts") + Line("/net/srv", "nfs", "srv:/") +
           Line("/net/srv/disk", "ext4", "/dev/sdb1"),
       "/net/srv/disk", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> asked;
    const std::vector<Volume> volumes = ParseMountInfo(Line("/", "ext4", "/dev/sda2") + c.table, {},
                                                       [&asked](const std::string& mountPoint) {
                                                         asked.push_back(mountPoint);
                                                         return false;
                                                       });
    EXPECT_EQ(std::count(asked.begin(), asked.end(), c.mountPoint), c.asked ? 1 : 0);
    EXPECT_TRUE(std::find(asked.begin(), asked.end(), "/") == asked.end());
    const bool listed = std::any_of(volumes.begin(), volumes.end(),
                                    [&c](const Volume& v) { return v.mountPoint == c.mountPoint; });
    // Refused when asked; what is not asked about is taken as a folder.
    EXPECT_EQ(listed, !c.asked);
  }
}

TEST(VolumeTest, VolumeHoldingAPath) {
  const std::vector<Volume> mounted = {
      {"/", Kind::Fixed, "", "", ""},
      {"/mnt", Kind::Fixed, "", "", ""},
      {"/mnt/usb", Kind::Removable, "", "", ""},
      {"/mnt/usb/iso", Kind::Optical, "", "", ""},
      {"/run/media/ann/My Disk", Kind::Removable, "", "", ""},
  };
  struct Case {
    const char* name;
    const char* gone;  // a volume unmounted first, or nullptr
    const char* path;
    const char* volume;
  };
  const Case cases[] = {
      {"the root itself", nullptr, "/", "/"},
      {"a file at the root", nullptr, "/vmlinuz", "/"},
      {"three mounts deep", nullptr, "/mnt/usb/iso/boot/x", "/mnt/usb/iso"},
      {"middle of three", nullptr, "/mnt/usb/docs", "/mnt/usb"},
      {"a mount point is its own volume", nullptr, "/mnt/usb/iso", "/mnt/usb/iso"},
      {"a name that merely begins alike", nullptr, "/mnt/usbkey", "/mnt"},
      {"a blank in the mount point", nullptr, "/run/media/ann/My Disk/a", "/run/media/ann/My Disk"},
      {"blank prefix only", nullptr, "/run/media/ann/My", "/"},
      {"inner volume gone: the next one out", "/mnt/usb/iso", "/mnt/usb/iso/boot", "/mnt/usb"},
      {"middle volume gone: inner still holds", "/mnt/usb", "/mnt/usb/iso/a", "/mnt/usb/iso"},
      {"middle volume gone: beside the inner", "/mnt/usb", "/mnt/usb/docs", "/mnt"},
      {"removable gone: the root", "/run/media/ann/My Disk", "/run/media/ann/My Disk/a", "/"},
      {"the root gone: nothing", "/", "/etc", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Volume> volumes = mounted;
    if (c.gone) {
      std::erase_if(volumes, [&c](const Volume& v) { return v.mountPoint == c.gone; });
      ASSERT_EQ(volumes.size(), mounted.size() - 1);
    }
    EXPECT_EQ(VolumeOf(volumes, c.path), c.volume);
  }
}

TEST(VolumeTest, RootFolderOfAMountPoint) {
  struct Case {
    const char* mountPoint;
    const char* folder;
  };
  const Case cases[] = {
      {"/", "/"},
      {"/home", "/home/"},
      {"/run/media/ann/My Disk", "/run/media/ann/My Disk/"},
      {"/media/usb/", "/media/usb/"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mountPoint);
    EXPECT_EQ(RootFolderOf(c.mountPoint), c.folder);
  }
}

TEST(VolumeTest, IsMountedFolderOnDisk) {
  test::TestDir dir;
  dir.CreateFolder("folder");
  dir.CreateFolder("with\nnewline");
  dir.CreateFile("file.txt", "x");
  dir.CreateSymlink("link-to-folder", dir.Path("folder"));
  struct Case {
    const char* name;
    std::string path;
    bool folder;
  };
  const Case cases[] = {
      {"the root", "/", true},
      {"a folder", dir.Path("folder"), true},
      {"a newline in the name", dir.Path("with\nnewline"), true},
      {"a file", dir.Path("file.txt"), false},
      {"a link to a folder is not followed", dir.Path("link-to-folder"), false},
      {"missing", dir.Path("missing"), false},
      {"below a file", dir.Path("file.txt/x"), false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsMountedFolder(c.path), c.folder);
  }
}

TEST(VolumeTest, ThisMachineListsItsRoot) {
  const std::vector<Volume> volumes = ListVolumes();
  ASSERT_FALSE(volumes.empty());
  EXPECT_EQ(volumes[0].mountPoint, "/");
  EXPECT_TRUE(std::is_sorted(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) {
    return a.mountPoint < b.mountPoint;
  }));
  for (const Volume& v : volumes) {
    EXPECT_FALSE(v.mountPoint.starts_with("/proc")) << v.mountPoint;
    EXPECT_FALSE(v.mountPoint.starts_with("/sys")) << v.mountPoint;
    // No single-file bind mount (a container's /etc/hosts) is offered as a volume.
    if (v.kind != Kind::Network) {
      EXPECT_TRUE(IsMountedFolder(v.mountPoint)) << v.mountPoint;
    }
  }
}

}  // namespace
}  // namespace relabo
