// Where SetupAPI says a virtual device's interfaces are: what the installer waits for, and what
// the device group compares the library's paths with.
#ifndef USB1284_TESTS_DEVICE_INSTALL_INTERFACES_H
#define USB1284_TESTS_DEVICE_INSTALL_INTERFACES_H

#include "device_path.h"
#include "setup.h"

namespace vdev_install {

// The path of the present interface of class `interfaceClass` (1 or 2) of the device called
// `name`, as SetupAPI reports it (\\?\root#usb1284vdev#NAME#{class}), into `path`. False when
// SetupAPI lists no such interface as present now.
bool FindInterface(unsigned interfaceClass, const char* name, char* path, size_t capacity);

}  // namespace vdev_install

#endif  // USB1284_TESTS_DEVICE_INSTALL_INTERFACES_H
