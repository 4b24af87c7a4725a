// Takes away root's right to pass over file permissions for one thread, so
// tests meet the permission checks everyone else meets. No Qt.
#pragma once

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace trawlix::test {

// Takes the right to pass over file permissions (CAP_DAC_OVERRIDE,
// CAP_DAC_READ_SEARCH) away from the calling thread while it lives, so that
// a folder without permissions refuses root as it refuses everyone else.
// Capabilities belong to the thread: the caller's thread alone is affected.
class WithoutPermissionOverride {
 public:
  WithoutPermissionOverride() {
    header_.version = _LINUX_CAPABILITY_VERSION_3;
    header_.pid = 0;
    if (syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    active_ = syscall(SYS_capset, &header_, reduced) == 0;
  }
  ~WithoutPermissionOverride() {
    if (active_) syscall(SYS_capset, &header_, saved_);
  }
  WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
  WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

 private:
  __user_cap_header_struct header_{};
  __user_cap_data_struct saved_[2]{};
  bool active_ = false;
};

// True when the calling thread is refused the folder (a folder of mode 0
// with WithoutPermissionOverride in force): where it is not, a test of
// what refusal does has nothing to test.
inline bool FolderIsRefused(const char* folder) {
  const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  ::close(fd);
  return false;
}

}  // namespace trawlix::test
