#include "device_path.h"

#include <stddef.h>

namespace vdev_install {
namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The length of `part` when `text` starts with it, letters compared without case; else 0.
size_t StartsWithNoCase(const char* text, const char* part) {
  size_t i = 0;
  for (; part[i]; ++i) {
    if (Lower(text[i]) != Lower(part[i])) return 0;
  }
  return i;
}

}  // namespace

bool PathNamesDevice(const char* path, const char* name) {
  for (const char* at = path; *at; ++at) {
    const size_t driver = StartsWithNoCase(at, "#usb1284vdev#");
    if (!driver) continue;
    const size_t device = StartsWithNoCase(at + driver, name);
    if (device && at[driver + device] == '#') return true;
  }
  return false;
}

}  // namespace vdev_install
