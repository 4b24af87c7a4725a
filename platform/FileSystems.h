// What a folder walk needs to know of the file systems it meets: which are
// the kernel's pseudo file systems (proc, sysfs, devtmpfs, devpts, cgroup,
// debugfs, tracefs, securityfs, pstore, bpf, configfs, fusectl, mqueue,
// hugetlbfs), which hold no files and whose entries can block or report
// absurd sizes, and on which file systems a folder may be an automount point
// that opening it would mount.
//
// The table is read once per walk from /proc/self/mountinfo (devtmpfs is
// told from tmpfs only there); the kind of a folder comes from fstatfs of
// its open descriptor. A walk asks only when it crosses into another device.
// Any thread; a table is a plain value.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <vector>

namespace trawlix {

enum class TFsKind : uint8_t {
  Plain,         // a disk or memory file system without automount points
  MayAutomount,  // network, FUSE, autofs and unknown ones: look before opening
  Pseudo,        // a kernel pseudo file system
};

class TMountTable {
 public:
  // Reads the mount table of this process. When it cannot be read, no
  // device counts as devtmpfs and automount points are assumed anywhere.
  static TMountTable Current();

  // The kind of the file system the open folder fd lies on; dev is its
  // device (st_dev).
  TFsKind KindOf(int fd, dev_t dev) const;

  // True when an automounter may have put a trigger on any folder (an
  // autofs mount exists, or the table could not be read): then every
  // subfolder is looked at with AT_NO_AUTOMOUNT before it is opened.
  bool AutomountAnywhere() const { return automountAnywhere_; }

 private:
  std::vector<dev_t> pseudoDevices_;  // devices of pseudo file systems by name
  bool automountAnywhere_ = true;
};

}  // namespace trawlix
