// usb1284vdev-install.exe: puts the virtual devices of a device table on the machine and takes
// them off again.
//
//   usb1284vdev-install.exe install TABLE INF
//   usb1284vdev-install.exe remove
//
// Exit status: 0 done; 1 a call failed (and whatever had been installed is removed again); 2 a
// usage error or a bad table, before anything is touched. Errors are one line on stderr.
#ifndef USB1284_TESTS_DEVICE_INSTALL_INSTALLER_H
#define USB1284_TESTS_DEVICE_INSTALL_INSTALLER_H

#include "setup.h"
#include "table.h"

namespace vdev_install {

// Prints one line on stderr, formatted as suite::Check formats its message.
void Error(const char* format, ...);
// Prints one line on stdout.
void Say(const char* format, ...);

// Installs every device of the table, then the driver from the INF (a full path), and waits for
// every interface of every device. On failure says why, removes what was made and returns false.
bool Install(const Table& table, const char* infPath);

// Removes every device with the driver's hardware ID, its service, the OEM copy of its INF and
// the driver's image. Each step that finds nothing to remove succeeds. False when a step failed.
bool Remove();

// Counts the devices present with the driver's hardware ID (installed, started or not); -1 when
// SetupAPI could not be asked.
int CountInstalled();

}  // namespace vdev_install

#endif  // USB1284_TESTS_DEVICE_INSTALL_INSTALLER_H
