// Which virtual device an interface path belongs to. Freestanding: built into the installer and
// the device group, and into the native tests.
#ifndef USB1284_TESTS_DEVICE_INSTALL_DEVICE_PATH_H
#define USB1284_TESTS_DEVICE_INSTALL_DEVICE_PATH_H

namespace vdev_install {

// Whether `path` is an interface path of the device called `name`: it holds "#usb1284vdev#NAME#",
// letters compared without case, as SetupAPI may report the instance ID in either case.
bool PathNamesDevice(const char* path, const char* name);

}  // namespace vdev_install

#endif  // USB1284_TESTS_DEVICE_INSTALL_DEVICE_PATH_H
