// The one question the installer asks of a table line: is it a device the driver will accept, and
// if so, what is its name and which interface classes will it register? The driver reads the same
// line from the device's hardware key with the same parser, so a line the installer takes is one
// the driver takes.
#ifndef USB1284_TESTS_DEVICE_INSTALL_LINE_CHECK_H
#define USB1284_TESTS_DEVICE_INSTALL_LINE_CHECK_H

#include <stddef.h>
#include <stdint.h>

#include "../protocol.h"

namespace vdev_install {

struct LineFacts {
  char name[vdev::kMaxName + 1];
  uint8_t classes[2];  // 1 or 2, in the order the device registers them
  unsigned classCount;
};

// Checks one line of the table (no line end, NUL-terminated). False when the line is bad, with
// `what` (NUL-terminated, cut to `capacity`) saying what is wrong.
bool CheckLine(const char* line, LineFacts* facts, char* what, size_t capacity);

}  // namespace vdev_install

#endif  // USB1284_TESTS_DEVICE_INSTALL_LINE_CHECK_H
