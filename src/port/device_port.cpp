#include "port/device_port.h"

#include "platform/memory.h"

namespace usb1284 {

namespace {
// Every port made by CreatePort moves at most this many bytes per platform operation.
constexpr DWORD kMaxChunk = 4096;
}  // namespace

void* DevicePort::operator new(size_t size) noexcept {
  return Allocate(size);
}

void DevicePort::operator delete(void* memory) noexcept {
  Release(memory);
}

DevicePort::DevicePort(const char* devicePath, DWORD maxChunk)
    : maxChunk(maxChunk), ioEvent(nullptr), file(nullptr) {
  lstrcpynA(path, devicePath ? devicePath : "", USB1284_MAX_PATH);
}

DevicePort::~DevicePort() {
  DevicePort::Close();
}

int DevicePort::Open() {
  if (!ioEvent) {
    ioEvent = CreateEventA(nullptr, 1, 0, nullptr);
    if (!ioEvent) return 0;
  }
  if (file) return 1;

  HANDLE opened = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return 0;
  file = opened;
  return 1;
}

int DevicePort::Close() {
  DWORD fileError = 0;
  if (file) {
    if (CloseHandle(file)) {
      file = nullptr;
    } else {
      fileError = GetLastError();
    }
  }
  if (ioEvent) {
    if (!CloseHandle(ioEvent)) return 0;
    ioEvent = nullptr;
  }
  if (file) {
    // The event's close went well, but need not have left the device's error alone.
    SetLastError(fileError);
    return 0;
  }
  return 1;
}

}  // namespace usb1284

extern "C" UsbPort* USB1284_CALL CreatePort(const char* devicePath) {
  UsbPort* port = new usb1284::DevicePort(devicePath, usb1284::kMaxChunk);
  // HeapAlloc does not set the last-error value when it fails.
  if (!port) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return port;
}
