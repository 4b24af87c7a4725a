#include "platform/FileSystems.h"

#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace trawlix {

namespace {

constexpr const char* kPseudoNames[] = {"proc",   "sysfs",    "devtmpfs", "devpts",  "cgroup",
                                        "cgroup2", "debugfs", "tracefs",  "securityfs", "pstore",
                                        "bpf",     "configfs", "fusectl", "mqueue",  "hugetlbfs"};

// f_type values of fstatfs.
constexpr uint32_t kPseudoMagic[] = {
    0x9fa0,      // proc
    0x62656572,  // sysfs
    0x1cd1,      // devpts
    0x27e0eb,    // cgroup
    0x63677270,  // cgroup2
    0x64626720,  // debugfs
    0x74726163,  // tracefs
    0x73636673,  // securityfs
    0x6165676c,  // pstore
    0xcafe4a11,  // bpf
    0x62656570,  // configfs
    0x65735543,  // fusectl
    0x19800202,  // mqueue
    0x958458f6,  // hugetlbfs
};

// File systems on which no folder is an automount point.
constexpr uint32_t kPlainMagic[] = {
    0xef53,      // ext2, ext3, ext4
    0x58465342,  // xfs
    0x9123683e,  // btrfs
    0x01021994,  // tmpfs (devtmpfs too, told apart by the mount table)
    0x858458f6,  // ramfs
    0xf2f52010,  // f2fs
    0x4d44,      // vfat
    0x2011bab0,  // exfat
    0x5346544e,  // ntfs, ntfs3
    0x794c7630,  // overlay
    0x2fc12fc1,  // zfs
    0x52654973,  // reiserfs
    0x3153464a,  // jfs
    0x482b,      // hfsplus
    0x9660,      // iso9660
    0x15013346,  // udf
    0x73717368,  // squashfs
    0x3434,      // nilfs2
    0xca451a4e,  // bcachefs
};

template <size_t N>
bool In(const uint32_t (&list)[N], uint32_t v) {
  return std::find(std::begin(list), std::end(list), v) != std::end(list);
}

}  // namespace

TMountTable TMountTable::Current() {
  TMountTable table;
  std::FILE* f = std::fopen("/proc/self/mountinfo", "re");
  if (!f) return table;
  table.automountAnywhere_ = false;
  char* line = nullptr;
  size_t cap = 0;
  // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the
  // third field is the device, the first after " - " the type.
  while (getline(&line, &cap, f) > 0) {
    unsigned major = 0, minor = 0;
    if (std::sscanf(line, "%*u %*u %u:%u", &major, &minor) != 2) continue;
    const char* sep = std::strstr(line, " - ");
    if (!sep) continue;
    const char* type = sep + 3;
    const std::string_view fstype(type, std::strcspn(type, " \n"));
    if (fstype == "autofs") table.automountAnywhere_ = true;
    for (const char* name : kPseudoNames)
      if (fstype == name) table.pseudoDevices_.push_back(makedev(major, minor));
  }
  std::free(line);
  std::fclose(f);
  return table;
}

TFsKind TMountTable::KindOf(int fd, dev_t dev) const {
  if (std::find(pseudoDevices_.begin(), pseudoDevices_.end(), dev) != pseudoDevices_.end())
    return TFsKind::Pseudo;
  struct statfs sf;
  if (::fstatfs(fd, &sf) != 0) return TFsKind::MayAutomount;
  const auto magic = static_cast<uint32_t>(sf.f_type);
  if (In(kPseudoMagic, magic)) return TFsKind::Pseudo;
  if (In(kPlainMagic, magic)) return TFsKind::Plain;
  return TFsKind::MayAutomount;
}

}  // namespace trawlix
