// The installer checks a table line with the device model's own parser, the one the driver reads
// the line with from the device's hardware key.
#include "line_check.h"

#include "../model/config.h"

namespace vdev_install {

bool CheckLine(const char* line, LineFacts* facts, char* what, size_t capacity) {
  // Static: a Config is about as large as a stack frame may be without a C runtime.
  static vdev::Config config;
  vdev::ParseError error = {};
  if (!vdev::ParseLine(line, &config, &error)) {
    vdev::FormatError(error, what, capacity);
    return false;
  }
  for (unsigned i = 0; i <= vdev::kMaxName; ++i) facts->name[i] = config.name[i];
  facts->classCount = config.classCount;
  for (unsigned i = 0; i < config.classCount && i < 2; ++i) facts->classes[i] = config.classes[i];
  return true;
}

}  // namespace vdev_install
