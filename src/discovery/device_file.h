// A device opened for a moment, synchronously and exclusively, to ask its driver for the
// IEEE 1284 device ID. The handle lives exactly as long as the DeviceFile.
#ifndef USB1284_DISCOVERY_DEVICE_FILE_H
#define USB1284_DISCOVERY_DEVICE_FILE_H

#include "platform/win32.h"

namespace usb1284 {

// Reply capacity used when the driver does not say how long its ID is.
constexpr DWORD kDefaultIdCapacity = 4096;
// The largest ID size taken from a driver. An IEEE 1284 ID carries a 16-bit length, so no real
// ID is longer than 65535 bytes; one more leaves room for a terminator that a driver may add.
constexpr DWORD kLargestIdSize = 0x10000;

class DeviceFile {
 public:
  // Opens devicePath with no sharing; a failed open leaves the handle null.
  explicit DeviceFile(const char* devicePath);
  // Closes the handle when there is one.
  ~DeviceFile();

  // Asks the driver for the device ID. Returns null when the device is not open; otherwise a
  // NUL-terminated text from Allocate that the caller gives back with Release: the ID (maybe
  // followed by more reply bytes after its NUL), or an empty text when no request gave one.
  char* QueryDeviceId();

  bool IsOpen() const { return handle != nullptr; }

 private:
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;

  DWORD QueryIdSize();
  bool RequestId(DWORD code, char* buffer, DWORD capacity);

  HANDLE handle;
};

}  // namespace usb1284

#endif  // USB1284_DISCOVERY_DEVICE_FILE_H
