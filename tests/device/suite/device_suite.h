// The device group: the DLL as it ships, driven through the virtual devices of devices.txt under
// Wine, with the driver's control device to read what the driver saw and to unplug a device.
#ifndef USB1284_TESTS_DEVICE_SUITE_DEVICE_SUITE_H
#define USB1284_TESTS_DEVICE_SUITE_DEVICE_SUITE_H

#include <stdarg.h>

#include "../protocol.h"
#include "interfaces.h"
#include "setup.h"
#include "support.h"

namespace vdev_suite {

using suite::Check;
using suite::Library;

// Every device of devices.txt, for the checks that look at all of them.
extern const char* const kAllDevices[];
extern const unsigned kAllDeviceCount;

// Prints one line of detail under a failed check, formatted as Check formats its message.
void Note(const char* format, ...);

// The driver's control device (protocol.h), opened on first use and kept for the program's life.
bool GetState(const char* name, vdev::DeviceState* state);
// The device's log records from `first` on, at most `capacity`: their count, or -1 on failure.
int ReadLog(const char* name, uint32_t first, vdev::LogRecord* out, unsigned capacity);
// The records since `first` with the given major code (IRP_MJ_*), into `out`; their count.
int ReadLogOf(const char* name, uint32_t first, uint8_t major, vdev::LogRecord* out,
              unsigned capacity);
bool Unplug(const char* name);
bool Replug(const char* name);

inline constexpr uint8_t kMajorRead = 0x03;
inline constexpr uint8_t kMajorWrite = 0x04;

// The path SetupAPI reports for the device's interface of class 1 or 2 ("" when none is present).
const char* PathOf(const char* name, unsigned interfaceClass = 1);

// A high-resolution clock, in milliseconds from an arbitrary start.
double Milliseconds();

// The handle value the platform hands out next: it gives out the lowest free slot, so a handle
// leaked by a loop shows as a different value after it.
HANDLE NextHandle();

// The groups, each one CTest test.
void TestDiscovery(const Library& library);
void TestTransfers(const Library& library);
void TestUnplug(const Library& library);
void TestEndurance(const Library& library);

}  // namespace vdev_suite

#endif  // USB1284_TESTS_DEVICE_SUITE_DEVICE_SUITE_H
