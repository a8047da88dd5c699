#include "discovery/device_file.h"

#include "platform/memory.h"

namespace usb1284 {

DeviceFile::DeviceFile(const char* devicePath)
    : handle(CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (handle == INVALID_HANDLE_VALUE) handle = nullptr;
}

DeviceFile::~DeviceFile() {
  if (handle) CloseHandle(handle);
}

// The driver's answer to the size request, or the default capacity when it gives no usable one:
// no reply, a reply shorter than the 4-byte size, or a size no IEEE 1284 ID can reach.
DWORD DeviceFile::QueryIdSize() {
  DWORD size = 0;
  DWORD returned = 0;
  if (!DeviceIoControl(handle, IOCTL_PAR_QUERY_DEVICE_ID_SIZE, nullptr, 0, &size, sizeof size,
                       &returned, nullptr) ||
      returned < sizeof size || size > kLargestIdSize) {
    return kDefaultIdCapacity;
  }
  return size;
}

// One ID request. It wins when it succeeds with at least one byte; the text then ends right after
// the bytes returned, and a NUL first byte becomes '*' so that the fields after it stay readable.
// A count past the capacity is cut to it first, whatever the driver claims: with a capacity of 0
// nothing was returned, and the request does not win.
bool DeviceFile::RequestId(DWORD code, char* buffer, DWORD capacity) {
  DWORD returned = 0;
  if (!DeviceIoControl(handle, code, nullptr, 0, buffer, capacity, &returned, nullptr)) {
    return false;
  }
  if (returned > capacity) returned = capacity;
  if (returned == 0) return false;
  buffer[returned] = '\0';
  if (buffer[0] == '\0') buffer[0] = '*';
  return true;
}

char* DeviceFile::QueryDeviceId() {
  if (!handle) return nullptr;

  const DWORD size = QueryIdSize();
  char* reply = static_cast<char*>(Allocate(size + 1));
  if (reply) {
    if (RequestId(IOCTL_PAR_QUERY_DEVICE_ID, reply, size) ||
        RequestId(IOCTL_USBPRINT_GET_1284_ID, reply, size)) {
      return reply;
    }
    Release(reply);
  }

  char* empty = static_cast<char*>(Allocate(1));
  if (empty) empty[0] = '\0';
  return empty;
}

}  // namespace usb1284
